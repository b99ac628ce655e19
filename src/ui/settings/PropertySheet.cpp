#include "ui/settings/PropertySheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/settings/PropertyPage.h"
#include "ui/settings/ScrollingPage.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/WorkArea.h"

namespace zandel::ui {

PropertySheet::PropertySheet(const QString& caption, QWidget* parent)
    : QDialog(parent), m_tabs(new QTabWidget(this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this)) {
    setWindowTitle(caption);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    // Every tab in sight: the sheet widens to its whole tab bar rather than hide the last tabs behind arrows.
    m_tabs->setUsesScrollButtons(false);
    m_buttons->setObjectName(QStringLiteral("buttons"));
    // The box would hand the focus to OK wherever it stands in the tab order; the buttons take it themselves.
    m_buttons->setFocusProxy(nullptr);
    m_okButton = m_buttons->button(QDialogButtonBox::Ok);
    m_okButton->setText(QStringLiteral("OK"));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    m_applyButton = m_buttons->button(QDialogButtonBox::Apply);
    m_applyButton->setText(QStringLiteral("適用(&A)"));
    m_applyButton->setObjectName(QStringLiteral("applyButton"));
    m_applyButton->setEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(m_buttons);

    connect(m_tabs, &QTabWidget::currentChanged, this, &PropertySheet::OnTabChanged);
    connect(m_okButton, &QPushButton::clicked, this, &PropertySheet::PressOk);
    connect(m_applyButton, &QPushButton::clicked, this, &PropertySheet::PressApply);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &PropertySheet::reject);
}

PropertySheet::~PropertySheet() {
    ClosePages();
}

void PropertySheet::AddPage(PropertyPage* page) {
    m_pages.push_back(page);
    m_scrollers.push_back(new ScrollingPage(page, m_tabs));
    m_tabs->addTab(m_scrollers.back(), page->Caption());
    connect(page, &PropertyPage::ModifiedChanged, this, &PropertySheet::UpdateApplyButton);
    PutButtonsAfter(page);
}

void PropertySheet::PutButtonsAfter(PropertyPage* page) {
    // The pages are made after the buttons, so the buttons would come first when the user tabs through the
    // sheet; they move behind the page's last control.
    QWidget* last = nullptr;
    for (QWidget* next = page->nextInFocusChain(); page->isAncestorOf(next); next = next->nextInFocusChain()) {
        if ((next->focusPolicy() & Qt::TabFocus) != 0) {
            last = next;
        }
    }
    if (last == nullptr) {
        return;
    }
    for (QWidget* button : m_buttons->buttons()) {
        QWidget::setTabOrder(last, button);
        last = button;
    }
}

void PropertySheet::setVisible(bool visible) {
    if (visible && !isVisible()) {
        FitPagesToScreen();
    }
    QDialog::setVisible(visible);
}

void PropertySheet::FitPagesToScreen() {
    SetPagesScroll(false);
    m_tabs->setUsesScrollButtons(false);
    const QSize room = RoomOnScreen(*this);
    const QSize whole = minimumSize();
    if (whole.width() <= room.width() && whole.height() <= room.height()) {
        return;
    }
    // A screen narrower than the tab bar gets its arrows back.
    m_tabs->setUsesScrollButtons(whole.width() > room.width());
    SetPagesScroll(true);
    resize(sizeHint().expandedTo(whole).boundedTo(room));
}

void PropertySheet::SetPagesScroll(bool scroll) {
    for (ScrollingPage* scroller : m_scrollers) {
        scroller->SetScrolls(scroll);
    }
    // The sizes the sheet's layout keeps are taken again now, not once the events come round.
    m_tabs->updateGeometry();
    layout()->invalidate();
    layout()->activate();
}

void PropertySheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_shown) {
        return;
    }
    m_shown = true;
    // Validation messages and the pages' own boxes belong over the sheet, not behind it.
    m_previousMessageParent = MessageBoxService::Instance().ParentWindow();
    MessageBoxService::Instance().SetParentWindow(this);
    ActivatePage(m_tabs->currentIndex());
}

void PropertySheet::done(int result) {
    ClosePages();
    QDialog::done(result);
}

void PropertySheet::OnTabChanged(int index) {
    if (m_switching || !m_shown || index == m_current) {
        return;
    }
    // The page being left must agree before the new one is shown: go back to it while it reads its fields.
    const int target = index;
    if (m_current >= 0) {
        SetTabSilently(m_current);
        if (!LeaveCurrentPage()) {
            // Ctrl+Tab gives the tab bar the focus once the switch is done; the failing field takes it back.
            PropertyPage* page = m_pages[static_cast<std::size_t>(m_current)];
            QTimer::singleShot(0, page, [page] { page->FocusFailedField(); });
            return;
        }
        SetTabSilently(target);
    }
    ActivatePage(target);
}

void PropertySheet::ActivatePage(int index) {
    if (index < 0 || index >= static_cast<int>(m_pages.size())) {
        return;
    }
    m_current = index;
    m_pages[static_cast<std::size_t>(index)]->Activate();
    UpdateDefaultButton();
}

void PropertySheet::SetTabSilently(int index) {
    if (index < 0) {
        return;
    }
    m_switching = true;
    m_tabs->setCurrentIndex(index);
    m_switching = false;
}

bool PropertySheet::LeaveCurrentPage() {
    if (m_current < 0) {
        return true;
    }
    return m_pages[static_cast<std::size_t>(m_current)]->Leave();
}

bool PropertySheet::ApplyPages() {
    if (!LeaveCurrentPage()) {
        return false;
    }
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        PropertyPage* page = m_pages[i];
        if (page->IsOpened() && !page->Apply()) {
            if (static_cast<int>(i) != m_current) {
                SetTabSilently(static_cast<int>(i));
                ActivatePage(static_cast<int>(i));
            }
            return false;
        }
    }
    return true;
}

void PropertySheet::PressOk() {
    if (ApplyPages()) {
        accept();
    }
}

void PropertySheet::PressApply() {
    if (!ApplyPages()) {
        return;
    }
    for (PropertyPage* page : m_pages) {
        page->ClearModified();
    }
    UpdateApplyButton();
}

void PropertySheet::UpdateApplyButton() {
    bool modified = false;
    for (const PropertyPage* page : m_pages) {
        modified = modified || page->IsModified();
    }
    m_applyButton->setEnabled(modified);
}

void PropertySheet::UpdateDefaultButton() {
    QPushButton* pageDefault = m_current >= 0 ? m_pages[static_cast<std::size_t>(m_current)]->DefaultButton() : nullptr;
    for (const PropertyPage* page : m_pages) {
        if (page->DefaultButton() != nullptr && page->DefaultButton() != pageDefault) {
            page->DefaultButton()->setDefault(false);
        }
    }
    m_okButton->setDefault(pageDefault == nullptr);
    if (pageDefault != nullptr) {
        pageDefault->setDefault(true);
    }
}

void PropertySheet::ClosePages() {
    if (m_pagesClosed) {
        return;
    }
    m_pagesClosed = true;
    for (PropertyPage* page : m_pages) {
        page->Close();
    }
    if (m_shown) {
        MessageBoxService::Instance().SetParentWindow(m_previousMessageParent);
    }
}

} // namespace zandel::ui
