// The dialogs the main window opens: the settings sheet, the multi-stage sheet, the manual and the about box.

#include <ctime>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "core/app/InstallPaths.h"
#include "core/fetch/GeoDownload.h"
#include "core/frame/ListUrl.h"
#include "core/frame/BrowserLaunch.h"
#include "core/frame/ProgramLauncher.h"
#include "ui/frame/AboutDlg.h"
#include "ui/frame/MainFrame.h"
#include "ui/frame/ProxyBar.h"
#include "ui/list/ProxyListView.h"
#include "ui/multistage/ChainSheet.h"
#include "ui/settings/GeoPage.h"
#include "ui/settings/GeoUpdater.h"
#include "ui/settings/SettingsSheet.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

void CMainFrame::OpenSettingsSheet() {
    // The User-Agent list lies beside the program where it may be written there, else in the settings folder; the
    // other settings files lie in the start folder.
    SettingsSheet sheet(m_settings, m_launcher,
                        PrepareUserAgentFiles(ToBytes(QCoreApplication::applicationDirPath()), ConfigFolder()), this);
    sheet.Geo().SetFetchRule([this](FetchOptions& options) { return GeoFetchRule(options); });
    sheet.exec();
    m_view->ShowHttpsColumn();
    m_view->ApplyRowLimit();
    m_view->ShowKindColumn();
    m_view->ShowSiteColumns();
}

// The databases come as a list from a URL does: through the proxy bar's proxy when lists go through it.
bool CMainFrame::GeoFetchRule(FetchOptions& options) {
    const std::string current = m_proxyBar->GetUseProxy() != 0 ? m_proxyBar->GetAddr() : std::string();
    if (FetchOptionsLikeList(m_settings.ListUrlViaProxy, current, options)) {
        return true;
    }
    MessageBoxService::Instance().Tell("ﾌﾟﾛｷｼ経由で取得する設定ですが、使用するﾌﾟﾛｷｼが設定されていません。");
    return false;
}

// Once a start, when the databases fetched from URLs are older than their interval; a failure leaves the old files
// and says so once.
void CMainFrame::RefreshGeoIfDue() {
    FetchOptions options;
    if (!GeoUpdateDue(m_settings, std::time(nullptr)) || !GeoFetchRule(options)) {
        return;
    }
    m_geoUpdater->Start(GeoUpdateJobsOf(m_settings), options, [this](const std::vector<std::string>& failures) {
        if (failures.empty()) {
            RecordGeoDownload(m_settings, std::time(nullptr));
        }
        for (const std::string& failure : failures) {
            MessageBoxService::Instance().Tell(failure);
        }
    });
}

void CMainFrame::OpenMultiStageSheet() {
    ChainSheet sheet(m_settings, m_launcher, this);
    sheet.exec();
}

void CMainFrame::OpenManual() {
    const LaunchPlan plan = PlanOpenManual(m_settings, ManualFolder(ToBytes(QCoreApplication::applicationDirPath())),
                                           MessageBoxService::Instance());
    if (plan.launch) {
        LaunchOrReport(m_launcher, plan.program, plan.parameter, MessageBoxService::Instance());
    }
}

void CMainFrame::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

} // namespace zandel::ui
