#include "ui/multistage/ChainBrowsingPage.h"

#include <algorithm>
#include <vector>

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/frame/BrowserLaunch.h"
#include "core/settings/CheckPage.h"
#include "core/settings/ComboRules.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

QComboBox* NewDropDown(QWidget* parent, const QString& name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    // A drop-down box offers its list; it neither adds what is typed nor completes it.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    box->setMinimumContentsLength(28);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return box;
}

// Fills a box with a list and selects the entry the stored value picks; none leaves the edit line empty.
void FillDropDown(QComboBox* box, const std::vector<std::string>& entries, const std::string& stored) {
    box->clear();
    for (const std::string& entry : entries) {
        box->addItem(FromBytes(entry));
    }
    box->setCurrentIndex(FindStoredEntry(entries, stored));
    if (box->currentIndex() < 0) {
        box->setEditText(QString());
    }
}

} // namespace

ChainBrowsingPage::ChainBrowsingPage(AppSettings& settings, IProgramLauncher& launcher, QWidget* parent)
    : PropertyPage(QStringLiteral("ﾌﾞﾗｳｼﾞﾝｸﾞ"), parent), m_settings(settings), m_launcher(launcher) {
    setObjectName(QStringLiteral("delegate1"));
    BuildControls();
}

void ChainBrowsingPage::BuildControls() {
    auto* urlGroup = new QGroupBox(QStringLiteral("接続先URL(&L)"), this);
    m_urlBox = NewDropDown(urlGroup, QStringLiteral("urlCombo"));
    auto* urlLabel = new QLabel(QStringLiteral("URL : "), urlGroup);
    auto* urlLayout = new QHBoxLayout(urlGroup);
    urlLayout->addWidget(urlLabel);
    urlLayout->addWidget(m_urlBox);

    auto* proxyGroup = new QGroupBox(QStringLiteral("多段接続用ﾌﾟﾛｷｼｱﾄﾞﾚｽ(&D)"), this);
    auto* proxyLayout = new QGridLayout(proxyGroup);
    const std::array<QString, 3> labels = {QStringLiteral("Proxy1 : "), QStringLiteral("Proxy2 :"),
                                           QStringLiteral("Proxy3 :")};
    for (std::size_t i = 0; i < m_proxyBoxes.size(); ++i) {
        const int row = static_cast<int>(i);
        m_proxyBoxes[i] = NewDropDown(proxyGroup, QStringLiteral("proxy%1Combo").arg(row + 1));
        auto* clear = new QPushButton(QStringLiteral("ｸﾘｱ"), proxyGroup);
        clear->setObjectName(QStringLiteral("clear%1Button").arg(row + 1));
        auto* label = new QLabel(labels[i], proxyGroup);
        // The URL box lines up with the proxy boxes below it.
        urlLabel->setMinimumWidth(std::max(urlLabel->minimumWidth(), label->sizeHint().width()));
        proxyLayout->addWidget(label, row, 0);
        proxyLayout->addWidget(m_proxyBoxes[i], row, 1);
        proxyLayout->addWidget(clear, row, 2);
        connect(clear, &QPushButton::clicked, this, [this, i] { ClearClicked(i); });
    }

    m_browse = new QPushButton(QStringLiteral("ﾌﾞﾗｳｼﾞﾝｸﾞ開始(&O)"), this);
    m_browse->setObjectName(QStringLiteral("browseButton"));
    SetDefaultButton(m_browse);
    auto* browseRow = new QHBoxLayout;
    browseRow->addStretch(1);
    browseRow->addWidget(m_browse);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(urlGroup);
    layout->addWidget(proxyGroup);
    layout->addLayout(browseRow);
    layout->addStretch(1);

    for (QComboBox* box : m_proxyBoxes) {
        LimitBytes(box, kPageTextLimit);
    }
    LimitBytes(m_urlBox, kPageTextLimit);
    connect(m_browse, &QPushButton::clicked, this, &ChainBrowsingPage::BrowseClicked);
}

void ChainBrowsingPage::ShowFields() {
    for (std::size_t i = 0; i < m_proxyBoxes.size(); ++i) {
        ShowDropDown(m_proxyBoxes[i], m_fields.Proxies[i]);
    }
    ShowDropDown(m_urlBox, m_fields.AccessUrl);
}

bool ChainBrowsingPage::ReadFields() {
    for (std::size_t i = 0; i < m_proxyBoxes.size(); ++i) {
        if (!ReadText(m_proxyBoxes[i], kPageTextLimit, m_fields.Proxies[i])) {
            return false;
        }
    }
    return ReadText(m_urlBox, kPageTextLimit, m_fields.AccessUrl);
}

void ChainBrowsingPage::OnActivate() {
    const ChainBrowsingFields stored = LoadChainBrowsingPage(m_settings);
    FillDropDown(m_urlBox, ListEntries(m_settings, SettingsList::ChainUrls), stored.AccessUrl);
    const std::vector<std::string> proxies = ListEntries(m_settings, SettingsList::ChainProxies);
    for (std::size_t i = 0; i < m_proxyBoxes.size(); ++i) {
        FillDropDown(m_proxyBoxes[i], proxies, stored.Proxies[i]);
    }
}

void ChainBrowsingPage::BrowseClicked() {
    ReadFields();
    const LaunchPlan plan =
        PlanChainBrowser(m_settings, MessageBoxService::Instance(), m_fields.Proxies, m_fields.AccessUrl);
    if (plan.launch) {
        LaunchOrReport(m_launcher, plan.program, plan.parameter, MessageBoxService::Instance());
    }
}

void ChainBrowsingPage::ClearClicked(std::size_t proxy) {
    ReadFields();
    m_fields.Proxies[proxy].clear();
    ShowFields();
}

bool ChainBrowsingPage::OnApply() {
    if (!ReadFields()) {
        return false;
    }
    ApplyChainBrowsingPage(m_fields, m_settings);
    return true;
}

} // namespace zandel::ui
