// The dialogs the main window opens: the settings sheet, the multi-stage sheet, the manual and the about box.

#include <QCoreApplication>

#include "core/app/InstallPaths.h"
#include "core/frame/BrowserLaunch.h"
#include "core/frame/ProgramLauncher.h"
#include "ui/frame/AboutDlg.h"
#include "ui/frame/MainFrame.h"
#include "ui/list/ProxyListView.h"
#include "ui/multistage/ChainSheet.h"
#include "ui/settings/SettingsSheet.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

void CMainFrame::OpenSettingsSheet() {
    // The User-Agent list lies beside the program where it may be written there, else in the settings folder; the
    // other settings files lie in the start folder.
    SettingsSheet sheet(m_settings, m_launcher,
                        PrepareUserAgentFiles(ToBytes(QCoreApplication::applicationDirPath()), ConfigFolder()), this);
    sheet.exec();
    m_view->ShowHttpsColumn();
    m_view->ApplyRowLimit();
    m_view->ShowKindColumn();
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
