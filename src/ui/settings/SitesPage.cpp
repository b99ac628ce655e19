#include "ui/settings/SitesPage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/settings/CheckPage.h"
#include "core/util/MessageService.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

SitesPage::SitesPage(AppSettings& settings, QWidget* parent)
    : PropertyPage(QStringLiteral("ｻｲﾄ"), parent), m_settings(settings) {
    setObjectName(QStringLiteral("sitesPage"));
    BuildControls();
}

void SitesPage::BuildControls() {
    auto* group = new QGroupBox(QStringLiteral("使えたﾌﾟﾛｷｼで取得するｻｲﾄ(&S)"), this);
    m_list = new QTreeWidget(group);
    m_list->setObjectName(QStringLiteral("siteList"));
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({QStringLiteral("URL"), QStringLiteral("ｷｰﾜｰﾄﾞ")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setStretchLastSection(true);
    m_list->setColumnWidth(0, m_list->fontMetrics().horizontalAdvance(QStringLiteral("https://www.example.com/shop/")));
    m_urlEdit = new QLineEdit(group);
    m_urlEdit->setObjectName(QStringLiteral("siteUrlEdit"));
    m_keywordEdit = new QLineEdit(group);
    m_keywordEdit->setObjectName(QStringLiteral("siteKeywordEdit"));
    auto* urlLabel = new QLabel(QStringLiteral("URL(&U)："), group);
    urlLabel->setBuddy(m_urlEdit);
    auto* keywordLabel = new QLabel(QStringLiteral("ｷｰﾜｰﾄﾞ(&K)："), group);
    keywordLabel->setBuddy(m_keywordEdit);
    m_add = new QPushButton(QStringLiteral("追加(&A)"), group);
    m_add->setObjectName(QStringLiteral("siteAddButton"));
    m_change = new QPushButton(QStringLiteral("変更(&E)"), group);
    m_change->setObjectName(QStringLiteral("siteChangeButton"));
    m_delete = new QPushButton(QStringLiteral("削除(&D)"), group);
    m_delete->setObjectName(QStringLiteral("siteDeleteButton"));
    SetDefaultButton(m_add);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_change);
    buttons->addWidget(m_delete);
    buttons->addStretch(1);
    auto* layout = new QGridLayout(group);
    layout->addWidget(m_list, 0, 0, 1, 2);
    layout->addLayout(buttons, 0, 2, 3, 1);
    layout->addWidget(urlLabel, 1, 0);
    layout->addWidget(m_urlEdit, 1, 1);
    layout->addWidget(keywordLabel, 2, 0);
    layout->addWidget(m_keywordEdit, 2, 1);
    layout->setRowStretch(0, 1);
    auto* note =
        new QLabel(QStringLiteral("ﾁｪｯｸで使えたﾌﾟﾛｷｼから各ｻｲﾄを取得し、届いたかを一覧の列に表示します (%1件まで)。\n"
                                  "ｷｰﾜｰﾄﾞを指定すると、ﾍﾟｰｼﾞにそれがあるときだけ届いたとします。\n"
                                  "ﾛｸﾞｲﾝ付きのURLはﾌﾟﾛｷｼに送らないため使えません。")
                       .arg(kMaxSites),
                   this);

    auto* pageLayout = new QVBoxLayout(this);
    pageLayout->addWidget(group, 1);
    pageLayout->addWidget(note);

    LimitBytes(m_urlEdit, kPageTextLimit);
    LimitBytes(m_keywordEdit, kPageTextLimit);
    connect(m_add, &QPushButton::clicked, this, &SitesPage::AddClicked);
    connect(m_change, &QPushButton::clicked, this, &SitesPage::ChangeClicked);
    connect(m_delete, &QPushButton::clicked, this, &SitesPage::DeleteClicked);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &SitesPage::EntryChosen);
}

void SitesPage::ShowFields() {}

bool SitesPage::ReadFields() {
    return true;
}

void SitesPage::OnOpen() {
    m_entries.clear();
    for (const std::string& text : m_settings.Sites) {
        m_entries.push_back(SplitSite(text));
    }
    ShowList();
}

void SitesPage::ShowList() {
    const QSignalBlocker blocker(m_list);
    m_list->clear();
    for (const SiteEntry& entry : m_entries) {
        m_list->addTopLevelItem(
            new QTreeWidgetItem({FromBytes(SiteWithoutLogin(entry.url)), FromBytes(entry.keyword)}));
    }
}

void SitesPage::EntryChosen() {
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    if (row < 0 || row >= static_cast<int>(m_entries.size())) {
        return;
    }
    // A login is never shown: OK leaves such a site out anyway.
    m_urlEdit->setText(FromBytes(SiteWithoutLogin(m_entries[static_cast<std::size_t>(row)].url)));
    m_keywordEdit->setText(FromBytes(m_entries[static_cast<std::size_t>(row)].keyword));
}

bool SitesPage::TypedEntry(SiteEntry& entry) const {
    entry.url = ToBytes(m_urlEdit->text().trimmed());
    entry.keyword = ToBytes(m_keywordEdit->text());
    return !entry.url.empty();
}

void SitesPage::AddClicked() {
    SiteEntry entry;
    if (!TypedEntry(entry)) {
        return;
    }
    m_entries.push_back(std::move(entry));
    ShowList();
    m_urlEdit->clear();
    m_keywordEdit->clear();
    SetModified();
}

void SitesPage::ChangeClicked() {
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    SiteEntry entry;
    if (row < 0 || !TypedEntry(entry)) {
        return;
    }
    m_entries[static_cast<std::size_t>(row)] = std::move(entry);
    ShowList();
    m_list->setCurrentItem(m_list->topLevelItem(row));
    SetModified();
}

void SitesPage::DeleteClicked() {
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    if (row < 0) {
        return;
    }
    m_entries.erase(m_entries.begin() + row);
    ShowList();
    SetModified();
}

bool SitesPage::OnApply() {
    std::string refused;
    m_settings.Sites =
        SiteTextsOf(m_entries, [&refused](const SiteLeftOut& leftOut) { refused += "\n" + leftOut.Window(); });
    if (!refused.empty()) {
        ShowOk(MessageBoxService::Instance(), "次のｻｲﾄは使えないため、除きました。" + refused);
    }
    OnOpen();
    return true;
}

} // namespace zandel::ui
