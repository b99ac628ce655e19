#include "ui/settings/PropertyPage.h"

#include <vector>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "core/util/MessageService.h"
#include "core/settings/ComboRules.h"
#include "core/settings/FieldRules.h"
#include "ui/settings/ByteLimitValidator.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

PropertyPage::PropertyPage(const QString& caption, QWidget* parent) : QWidget(parent), m_caption(caption) {}

void PropertyPage::Activate() {
    if (!m_opened) {
        m_opened = true;
        OnLoad();
        ShowFields();
        OnOpen();
        OnActivate();
        return;
    }
    OnActivate();
    ShowFields();
}

bool PropertyPage::Leave() {
    return ReadFields();
}

bool PropertyPage::Apply() {
    return OnApply();
}

void PropertyPage::Close() {
    if (m_opened && !m_closed) {
        m_closed = true;
        OnClose();
    }
}

void PropertyPage::SetModified() {
    if (!m_modified) {
        m_modified = true;
        Q_EMIT ModifiedChanged();
    }
}

void PropertyPage::ClearModified() {
    if (m_modified) {
        m_modified = false;
        Q_EMIT ModifiedChanged();
    }
}

bool PropertyPage::ReadInt(QLineEdit* box, int lowest, int highest, int& field) {
    const FieldCheck check = CheckIntField(ToBytes(box->text()), lowest, highest, field);
    if (!check.ok) {
        Fail(check.message, box, box);
    }
    return check.ok;
}

bool PropertyPage::ReadText(QLineEdit* box, std::size_t limit, std::string& field) {
    std::string text = ToBytes(box->text());
    const FieldCheck check = CheckTextField(text, limit);
    if (!check.ok) {
        Fail(check.message, box, box);
        return false;
    }
    field = std::move(text);
    return true;
}

bool PropertyPage::ReadChecked(QLineEdit* box, FieldCheck (*check)(std::string_view text, std::string& field),
                               std::string& field) {
    const FieldCheck result = check(ToBytes(box->text()), field);
    if (!result.ok) {
        Fail(result.message, box, box);
    }
    return result.ok;
}

bool PropertyPage::ReadText(QComboBox* box, std::size_t limit, std::string& field) {
    std::string text = ToBytes(box->currentText());
    const FieldCheck check = CheckTextField(text, limit);
    if (!check.ok) {
        Fail(check.message, box, box->lineEdit());
        return false;
    }
    field = std::move(text);
    return true;
}

void PropertyPage::LimitBytes(QLineEdit* box, std::size_t limit) {
    box->setValidator(new ByteLimitValidator(limit, box));
}

void PropertyPage::LimitBytes(QComboBox* box, std::size_t limit) {
    box->setValidator(new ByteLimitValidator(limit, box->lineEdit()));
}

void PropertyPage::ShowDropDown(QComboBox* box, const std::string& text) {
    std::vector<std::string> entries;
    entries.reserve(static_cast<std::size_t>(box->count()));
    for (int i = 0; i < box->count(); ++i) {
        entries.push_back(ToBytes(box->itemText(i)));
    }
    // Compared as the box shows them, so that a Shift-JIS value finds its entry.
    const QString shownText = FromBytes(text);
    const int shown = FindShownEntry(entries, ToBytes(shownText));
    box->setCurrentIndex(shown);
    if (shown < 0) {
        box->setEditText(shownText);
    }
}

void PropertyPage::Fail(const std::string& message, QWidget* control, QLineEdit* textBox) {
    ShowOk(MessageBoxService::Instance(), message);
    m_failedControl = control;
    m_failedBox = textBox;
    FocusFailedField();
}

void PropertyPage::FocusFailedField() {
    if (m_failedControl.isNull()) {
        return;
    }
    m_failedControl->setFocus(Qt::OtherFocusReason);
    if (!m_failedBox.isNull()) {
        m_failedBox->selectAll();
    }
}

} // namespace zandel::ui
