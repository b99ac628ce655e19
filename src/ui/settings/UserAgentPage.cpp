#include "ui/settings/UserAgentPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "core/util/MessageService.h"
#include "core/list/ProxyListDocument.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

UserAgentPage::UserAgentPage(AppSettings& settings, UserAgentFiles files, QWidget* parent)
    : PropertyPage(QStringLiteral("User-Agent"), parent), m_settings(settings), m_files(std::move(files)) {
    setObjectName(QStringLiteral("prop2"));
    BuildControls();
}

void UserAgentPage::BuildControls() {
    auto* note = new QLabel(QStringLiteral("※ここで設定したUser-Agentを使用して、ﾌﾟﾛｷｼﾁｪｯｸを行います"), this);
    // Kept for the settings file; there is no browser whose User-Agent could be borrowed.
    m_useBrowser = new QCheckBox(QStringLiteral("ﾌﾞﾗｳｻﾞ(Internet Explorer)のUser-Agentを使用(&U)"), this);
    m_useBrowser->setObjectName(QStringLiteral("useBrowserCheck"));
    m_useBrowser->setVisible(false);

    m_current = new QLineEdit(this);
    m_current->setObjectName(QStringLiteral("currentUserAgentEdit"));
    m_current->setReadOnly(true);
    auto* currentLabel = new QLabel(QStringLiteral("現在の設定(&U)"), this);
    currentLabel->setBuddy(m_current);
    m_default = new QPushButton(QStringLiteral("ﾃﾞﾌｫﾙﾄ(&S)"), this);
    m_default->setObjectName(QStringLiteral("defaultButton"));
    auto* currentRow = new QHBoxLayout;
    currentRow->addWidget(m_current);
    currentRow->addWidget(m_default);

    auto* group = new QGroupBox(QStringLiteral("User-Agent設定(&S)"), this);
    m_listBox = new QListWidget(group);
    m_listBox->setObjectName(QStringLiteral("userAgentList"));
    m_listBox->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_set = new QPushButton(QStringLiteral("設定(&S)"), group);
    m_set->setObjectName(QStringLiteral("setButton"));
    m_delete = new QPushButton(QStringLiteral("削除(&D)"), group);
    m_delete->setObjectName(QStringLiteral("deleteButton"));
    m_newEntryBox = new QLineEdit(group);
    m_newEntryBox->setObjectName(QStringLiteral("newUserAgentEdit"));
    m_add = new QPushButton(QStringLiteral("追加(&A)"), group);
    m_add->setObjectName(QStringLiteral("addButton"));
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(m_set);
    listButtons->addWidget(m_delete);
    listButtons->addStretch(1);
    auto* groupLayout = new QGridLayout(group);
    groupLayout->addWidget(new QLabel(QStringLiteral("登録済みUser-Agent一覧"), group), 0, 0);
    groupLayout->addWidget(m_listBox, 1, 0);
    groupLayout->addLayout(listButtons, 1, 1);
    groupLayout->addWidget(new QLabel(QStringLiteral("新規登録"), group), 2, 0);
    groupLayout->addWidget(m_newEntryBox, 3, 0);
    groupLayout->addWidget(m_add, 3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addWidget(m_useBrowser);
    layout->addWidget(currentLabel);
    layout->addLayout(currentRow);
    layout->addWidget(group, 1);

    LimitBytes(m_current, kUserAgentTextLimit);
    LimitBytes(m_newEntryBox, kUserAgentTextLimit);

    connect(m_add, &QPushButton::clicked, this, &UserAgentPage::AddClicked);
    connect(m_delete, &QPushButton::clicked, this, &UserAgentPage::DeleteClicked);
    connect(m_set, &QPushButton::clicked, this, &UserAgentPage::SetClicked);
    connect(m_default, &QPushButton::clicked, this, &UserAgentPage::DefaultClicked);
    connect(m_newEntryBox, &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(m_listBox, &QListWidget::currentRowChanged, this, [this](int row) { m_list.Select(row); });
}

void UserAgentPage::ShowFields() {
    m_useBrowser->setChecked(m_choice.useBrowser);
    m_current->setText(FromBytes(m_choice.current));
    m_current->setCursorPosition(0);
    m_newEntryBox->setText(FromBytes(m_newEntry));
}

bool UserAgentPage::ReadFields() {
    m_choice.useBrowser = m_useBrowser->isChecked();
    return ReadText(m_current, kUserAgentTextLimit, m_choice.current) &&
           ReadText(m_newEntryBox, kUserAgentTextLimit, m_newEntry);
}

void UserAgentPage::OnOpen() {
    m_choice = OpenUserAgentChoice(m_settings);
    const bool filled = m_list.Load(m_files.readFrom);
    ShowList();
    if (filled) {
        ShowOk(MessageBoxService::Instance(), kUserAgentLimitMessage);
    }
    ShowFields();
}

void UserAgentPage::ShowList() {
    const QSignalBlocker blocker(m_listBox);
    m_listBox->clear();
    for (const std::string& entry : m_list.Entries()) {
        auto* item = new QListWidgetItem(FromBytes(entry), m_listBox);
        item->setToolTip(item->text());
    }
    m_listBox->setCurrentRow(m_list.Selected());
    m_set->setEnabled(m_list.HasEntries());
    m_delete->setEnabled(m_list.HasEntries());
}

void UserAgentPage::AddClicked() {
    ReadFields();
    switch (m_list.Add(m_newEntry)) {
    case UserAgentList::AddResult::Full:
        ShowOk(MessageBoxService::Instance(), kUserAgentLimitMessage);
        return;
    case UserAgentList::AddResult::Empty:
        return;
    case UserAgentList::AddResult::Added:
        break;
    }
    ShowList();
    m_newEntry.clear();
    ShowFields();
    SetModified();
    ListChanged();
}

void UserAgentPage::DeleteClicked() {
    if (!m_list.DeleteSelected()) {
        return;
    }
    ShowList();
    SetModified();
    ListChanged();
}

// The first change of a list that cannot be written back where it was read: the user learns where it goes.
void UserAgentPage::ListChanged() {
    if (!m_noticeShown && !m_files.notice.empty()) {
        m_noticeShown = true;
        ShowOk(MessageBoxService::Instance(), m_files.notice);
    }
}

void UserAgentPage::SetClicked() {
    if (m_list.Selected() < 0) {
        return;
    }
    m_choice.current = m_list.SelectedText();
    m_choice.useBrowser = false;
    // The hidden box is a field too: it must not bring the flag back when the page is read.
    m_useBrowser->setChecked(false);
    m_current->setText(FromBytes(m_choice.current));
    m_current->setCursorPosition(0);
    SetModified();
}

void UserAgentPage::DefaultClicked() {
    m_choice.current = m_settings.DefaultUserAgent;
    m_current->setText(FromBytes(m_choice.current));
    m_current->setCursorPosition(0);
}

bool UserAgentPage::OnApply() {
    ApplyUserAgentChoice(m_choice, m_settings);
    return true;
}

void UserAgentPage::OnClose() {
    if (!m_files.SavesOnClose(m_list.Changed())) {
        return;
    }
    // A file that cannot be written keeps its old contents; the user is told, since the list added here would
    // otherwise be gone at the next start.
    const FileResult saved = m_list.Save(m_files.writeTo);
    if (!saved) {
        ShowOk(MessageBoxService::Instance(), FileErrorMessage(m_files.writeTo, saved.error, true));
    }
}

} // namespace zandel::ui
