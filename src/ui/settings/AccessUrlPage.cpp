#include "ui/settings/AccessUrlPage.h"

#include <algorithm>

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "core/util/MessageService.h"
#include "core/util/Texts.h"
#include "core/check/JudgePage.h"
#include "core/settings/CheckPage.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

AccessUrlPage::AccessUrlPage(AppSettings& settings, QWidget* parent)
    : PropertyPage(QStringLiteral("接続先URL"), parent), m_settings(settings) {
    setObjectName(QStringLiteral("prop3"));
    BuildControls();
}

void AccessUrlPage::BuildControls() {
    auto* group = new QGroupBox(QStringLiteral("接続先URL(&W)"), this);
    auto* note = new QLabel(QStringLiteral("ﾌﾟﾛｷｼｻｰﾊﾞを介して接続する先を指定してください"), group);
    m_urlEdit = new QLineEdit(group);
    m_urlEdit->setObjectName(QStringLiteral("accessUrlEdit"));
    m_urlList = new QListWidget(group);
    m_urlList->setObjectName(QStringLiteral("accessUrlList"));
    m_urlList->setSelectionMode(QAbstractItemView::SingleSelection);
    // Wide enough for the default URLs to show whole.
    int widest = 0;
    for (const char* url : kDefaultAccessUrls) {
        widest = std::max(widest, m_urlList->fontMetrics().horizontalAdvance(QString::fromUtf8(url)));
    }
    m_urlList->setMinimumWidth(widest + 40);
    m_default = new QPushButton(QStringLiteral("ﾃﾞﾌｫﾙﾄ(&S)"), group);
    m_default->setObjectName(QStringLiteral("defaultButton"));
    m_delete = new QPushButton(QStringLiteral("削除(&D)"), group);
    m_delete->setObjectName(QStringLiteral("deleteButton"));
    m_newUrlEdit = new QLineEdit(group);
    m_newUrlEdit->setObjectName(QStringLiteral("newUrlEdit"));
    m_add = new QPushButton(QStringLiteral("追加(&A)"), group);
    m_add->setObjectName(QStringLiteral("addButton"));
    SetDefaultButton(m_add);

    // The edit line and its list read as one box: no gap between them.
    auto* urlBox = new QVBoxLayout;
    urlBox->setSpacing(0);
    urlBox->addWidget(m_urlEdit);
    urlBox->addWidget(m_urlList);
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(m_default);
    listButtons->addWidget(m_delete);
    listButtons->addStretch(1);

    const QString exampleHost = QStringLiteral("http://www.example.com");
    auto* examples = new QGridLayout;
    examples->setVerticalSpacing(0);
    examples->addWidget(new QLabel(QStringLiteral("例："), group), 0, 0, Qt::AlignRight);
    examples->addWidget(new QLabel(exampleHost + QStringLiteral("/cgi-bin/envchk.cgi"), group), 0, 1);
    examples->addWidget(new QLabel(QStringLiteral("又は"), group), 1, 1);
    examples->addWidget(new QLabel(exampleHost + QStringLiteral("/index.html"), group), 2, 1);
    examples->setColumnStretch(1, 1);

    auto* urlLabel = new QLabel(QStringLiteral("URL："), group);
    auto* layout = new QGridLayout(group);
    layout->addWidget(note, 0, 0, 1, 3);
    layout->addWidget(urlLabel, 1, 0, Qt::AlignTop | Qt::AlignRight);
    layout->addLayout(urlBox, 1, 1);
    layout->addLayout(listButtons, 1, 2);
    layout->addWidget(m_newUrlEdit, 2, 1);
    layout->addWidget(m_add, 2, 2);
    layout->addLayout(examples, 3, 1, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("※htmlを指定した場合、環境変数の取得はできません"), group), 4, 0, 1, 3);
    layout->setRowStretch(1, 1);
    urlLabel->setContentsMargins(0, 4, 0, 0);

    // What the judge itself is asked at a run's start: a baseline for strict grading, and its signature.
    auto* judge = new QGroupBox(QStringLiteral("判定(&J)"), this);
    m_strictCheck = new QCheckBox(QStringLiteral("接続先URLへ直接ｱｸｾｽした結果と比べて厳密に判定する(&R)"), judge);
    m_strictCheck->setObjectName(QStringLiteral("judgeStrictCheck"));
    m_keyEdit = new QLineEdit(judge);
    m_keyEdit->setObjectName(QStringLiteral("judgeKeyEdit"));
    m_keyEdit->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    auto* keyLabel = new QLabel(QStringLiteral("署名付き判定用CGIの鍵(&K)："), judge);
    keyLabel->setBuddy(m_keyEdit);
    auto* judgeLayout = new QGridLayout(judge);
    judgeLayout->addWidget(m_strictCheck, 0, 0, 1, 2);
    judgeLayout->addWidget(keyLabel, 1, 0);
    judgeLayout->addWidget(m_keyEdit, 1, 1);

    auto* pageLayout = new QVBoxLayout(this);
    pageLayout->addWidget(group);
    pageLayout->addWidget(judge);

    LimitBytes(m_newUrlEdit, kPageTextLimit);
    LimitBytes(m_urlEdit, kPageTextLimit);
    LimitBytes(m_keyEdit, kPageTextLimit);
    connect(m_strictCheck, &QCheckBox::clicked, this, [this] { SetModified(); });
    connect(m_keyEdit, &QLineEdit::textEdited, this, [this] { SetModified(); });

    connect(m_add, &QPushButton::clicked, this, &AccessUrlPage::AddClicked);
    connect(m_delete, &QPushButton::clicked, this, &AccessUrlPage::DeleteClicked);
    connect(m_default, &QPushButton::clicked, this, &AccessUrlPage::DefaultClicked);
    connect(m_urlEdit, &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(m_urlList, &QListWidget::currentRowChanged, this, &AccessUrlPage::EntryChosen);
    connect(m_urlList, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { EntryChosen(m_urlList->row(item)); });
    connect(m_urlList, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { EntryChosen(m_urlList->row(item)); });
}

void AccessUrlPage::ShowFields() {
    m_newUrlEdit->setText(FromBytes(m_newUrl));
    m_urlEdit->setText(FromBytes(m_fields.List.Current()));
    m_strictCheck->setChecked(m_fields.JudgeStrict);
    m_keyEdit->setText(FromBytes(m_fields.JudgeKey));
}

bool AccessUrlPage::ReadFields() {
    std::string current;
    if (!ReadText(m_newUrlEdit, kPageTextLimit, m_newUrl) || !ReadText(m_urlEdit, kPageTextLimit, current) ||
        !ReadText(m_keyEdit, kPageTextLimit, m_fields.JudgeKey)) {
        return false;
    }
    m_fields.JudgeStrict = m_strictCheck->isChecked();
    m_fields.List.SetCurrent(current);
    return true;
}

void AccessUrlPage::OnOpen() {
    m_fields = LoadAccessUrlPage(m_settings);
    ShowList();
    ShowFields();
}

void AccessUrlPage::ShowList() {
    const QSignalBlocker blocker(m_urlList);
    m_urlList->clear();
    for (const std::string& entry : m_fields.List.Entries()) {
        m_urlList->addItem(FromBytes(entry));
    }
    m_urlList->setCurrentRow(m_fields.List.Selected());
}

void AccessUrlPage::EntryChosen(int row) {
    if (row < 0) {
        return;
    }
    m_fields.List.Choose(row);
    m_urlEdit->setText(FromBytes(m_fields.List.Current()));
    SetModified();
}

void AccessUrlPage::AddClicked() {
    ReadFields();
    switch (m_fields.List.Add(m_newUrl)) {
    case AccessUrlList::AddResult::Empty:
        return;
    case AccessUrlList::AddResult::Full:
        ShowOk(MessageBoxService::Instance(), AccessUrlLimitMessage());
        return;
    case AccessUrlList::AddResult::Added:
        break;
    }
    m_newUrl.clear();
    ShowList();
    ShowFields();
    SetModified();
}

void AccessUrlPage::DeleteClicked() {
    ReadFields();
    switch (m_fields.List.DeleteSelected()) {
    case AccessUrlList::DeleteResult::LastEntry:
        ShowOk(MessageBoxService::Instance(), kLastAccessUrlMessage);
        return;
    case AccessUrlList::DeleteResult::NoSelection:
        return;
    case AccessUrlList::DeleteResult::Deleted:
        break;
    }
    ShowList();
    ShowFields();
    SetModified();
}

void AccessUrlPage::DefaultClicked() {
    m_fields.List.RestoreDefaults();
    ShowList();
    m_urlEdit->setText(FromBytes(m_fields.List.Current()));
    SetModified();
}

bool AccessUrlPage::OnApply() {
    if (!ReadFields()) {
        return false;
    }
    if (!m_fields.JudgeKey.empty() && !IsValidJudgeKey(m_fields.JudgeKey)) {
        ShowOk(MessageBoxService::Instance(), texts::kJudgeKeyMessage);
        m_keyEdit->setFocus();
        return false;
    }
    if (ApplyAccessUrlPage(m_fields, m_settings)) {
        ShowOk(MessageBoxService::Instance(), AccessUrlLimitMessage());
    }
    return true;
}

} // namespace zandel::ui
