// The sites of [Sites], fetched through each proxy that passes as zandel-check's --site fetches them, and a column for
// each that shows what the site answered.

#include "ui/list/ProxyListView.h"

#include <string>
#include <vector>

#include "core/check/SiteCheck.h"
#include "core/history/HistoryRecorder.h"
#include "core/history/HistoryStore.h"
#include "core/settings/AppSettings.h"
#include "ui/list/HistoryLoader.h"
#include "ui/list/ListModel.h"
#include "ui/list/ListRows.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

std::string UptimeLine(const SiteUptime& uptime) {
    return "稼働率: " + std::to_string((uptime.reached * 200 + uptime.checks) / (2 * uptime.checks)) + "% (" +
           std::to_string(uptime.reached) + "/" + std::to_string(uptime.checks) + "回)";
}

} // namespace

void ProxyListView::TakeSites(bool tell) {
    std::string problems;
    const std::vector<SiteTarget> sites =
        ParseSites(m_settings.Sites, [&problems](const SiteLeftOut& leftOut) { problems += "\n" + leftOut.Window(); });
    // Told once for the settings as they are: the re-check rounds would otherwise repeat it every time.
    if (tell && m_settings.Sites != m_sitesTold) {
        m_sitesTold = m_settings.Sites;
        if (!problems.empty()) {
            MessageBoxService::Instance().Tell("次のｻｲﾄは使えないため、除いてﾁｪｯｸします。" + problems);
        }
    }
    m_engine->SetSites(sites);
    m_placeRecorder->SetFetchesSites(!sites.empty());
    std::vector<std::string> urls;
    urls.reserve(sites.size());
    for (const SiteTarget& site : sites) {
        urls.push_back(site.given);
    }
    if (urls != m_siteUrls) {
        m_siteUrls = std::move(urls);
        const std::vector<std::string> names = SiteShortNames(sites);
        QStringList titles;
        m_siteHeads.clear();
        for (std::size_t i = 0; i < sites.size(); ++i) {
            titles << FromBytes(names[i]);
            m_siteHeads.push_back(sites[i].given + (sites[i].keyword.empty() ? "" : "\nｷｰﾜｰﾄﾞ: " + sites[i].keyword));
        }
        // The rows' classes were of other sites.
        m_model->ResetSites(titles);
        LoadSiteUptimes();
    }
    SiteColumnsShown();
}

void ProxyListView::ShowSiteColumns() {
    // The settings may have new sites: taken now, unless a run holds the rows' classes.
    if (!RunActive()) {
        TakeSites(false);
        return;
    }
    SiteColumnsShown();
}

void ProxyListView::SiteColumnsShown() {
    for (std::size_t i = 0; i < kMaxSites; ++i) {
        setColumnHidden(kFirstSiteColumn + static_cast<int>(i), !m_settings.SiteColumns || i >= m_siteUrls.size());
    }
}

// The headers' tips: the site as given, with its share of reached checks over the kept days where the history has
// any. Shown at once with what was last read, and again once the history has been read anew off this thread: every
// site check of the kept days is counted, which a long history makes slow.
void ProxyListView::LoadSiteUptimes() {
    ShowSiteTips();
    if (m_historyPath.empty() || m_siteUrls.empty() || !m_engine) {
        return;
    }
    if (!m_siteUptimeLoader) {
        m_siteUptimeLoader = std::make_unique<HistoryLoader<std::vector<SiteUptime>>>(
            [path = m_historyPath, batches = m_historyBatches.get()] {
                if (batches != nullptr) {
                    batches->Sync(); // the run's last checks are in the file before it is read
                }
                HistoryStore store;
                return store.OpenForReading(path) ? store.SiteUptimes() : std::vector<SiteUptime>();
            },
            [this](std::vector<SiteUptime> uptimes) {
                m_siteUptimes = std::move(uptimes);
                ShowSiteTips();
            });
    }
    m_siteUptimeLoader->Load();
}

void ProxyListView::ShowSiteTips() {
    QStringList tips;
    for (std::size_t i = 0; i < m_siteUrls.size(); ++i) {
        std::string tip = m_siteHeads[i];
        for (const SiteUptime& uptime : m_siteUptimes) {
            tip += uptime.site == m_siteUrls[i] && uptime.checks > 0 ? "\n" + UptimeLine(uptime) : "";
        }
        tips << FromBytes(tip);
    }
    m_model->SetSiteTips(tips);
}

ExportSites ProxyListView::SitesForExport() const {
    ExportSites sites;
    sites.urls = m_siteUrls;
    const std::size_t count = m_siteUrls.size();
    sites.classOf = [this, count](int row, std::vector<SiteClass>& classes) {
        return m_model->SitesOf(row, classes, count);
    };
    return sites;
}

} // namespace zandel::ui
