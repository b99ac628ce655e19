#include "ui/multistage/ChainListPage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "core/util/MessageService.h"
#include "core/multistage/ChainRules.h"
#include "ui/settings/ListTextEdit.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

ChainListPage::ChainListPage(AppSettings& settings, SettingsList list, const Texts& texts, QWidget* parent)
    : PropertyPage(texts.caption, parent), m_settings(settings), m_list(list) {
    auto* group = new QGroupBox(texts.group, this);
    m_text = new ListTextEdit(group);
    m_text->setObjectName(QStringLiteral("listEdit"));
    auto* label = new QLabel(texts.label, group);
    label->setBuddy(m_text);
    m_count = new QLabel(FromBytes(m_countText), group);
    m_count->setObjectName(QStringLiteral("countLabel"));

    auto* layout = new QGridLayout(group);
    int row = 0;
    layout->addWidget(label, row, 0);
    layout->addWidget(m_count, row++, 1);
    layout->addWidget(new QLabel(QStringLiteral("(50件まで登録可能です)"), group), row++, 0, 1, 3);
    if (!texts.example.isEmpty()) {
        layout->addWidget(new QLabel(QStringLiteral("入力例：") + texts.example, group), row++, 0, 1, 3);
    }
    layout->addWidget(m_text, row, 0, 1, 3);
    layout->setRowStretch(row++, 1);
    layout->addWidget(new QLabel(QStringLiteral("※設定を反映させるには\"適用(A)\"ﾎﾞﾀﾝを押してください"), group), row, 0,
                      1, 3);
    layout->setColumnStretch(2, 1);

    auto* pageLayout = new QVBoxLayout(this);
    pageLayout->addWidget(group);

    connect(m_text, &ListTextEdit::Edited, this, &ChainListPage::TextEdited);
}

void ChainListPage::ShowFields() {
    m_count->setText(FromBytes(m_countText));
}

bool ChainListPage::ReadFields() {
    m_countText = ToBytes(m_count->text());
    return true;
}

void ChainListPage::OnOpen() {
    const std::vector<std::string> entries = ListEntries(m_settings, m_list);
    m_text->SetEntries(entries);
    m_countText = CountLabel(static_cast<int>(entries.size()));
    ShowFields();
}

void ChainListPage::TextEdited() {
    m_countText = CountLabel(m_text->LineCount());
    ShowFields();
    SetModified();
}

bool ChainListPage::OnApply() {
    ReadFields();
    const ListTextResult read = ReadChainLines(m_text->Lines());
    if (read.overflow) {
        ShowOk(MessageBoxService::Instance(), ListOverflowMessage());
    }
    StoreList(m_settings, m_list, read.entries);
    m_countText = CountLabel(static_cast<int>(read.entries.size()));
    ShowFields();
    return true;
}

} // namespace zandel::ui
