// How the main window closes: the user's answer, the run stopped, and the list shut down before any window
// goes.

#include <QCloseEvent>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include "core/frame/CloseRule.h"
#include "ui/frame/MainFrame.h"
#include "ui/frame/RecheckWindows.h"
#include "ui/frame/RunWindows.h"
#include "ui/list/ListPopupMenus.h"
#include "ui/list/ProxyListView.h"
#include "ui/util/MessageBoxService.h"

namespace zandel::ui {

namespace {

constexpr int kStopPollMs = 5;

} // namespace

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        event->ignore();
        return;
    }
    const CloseAction action = DecideClose(Running(), MessageBoxService::Instance());
    if (action == CloseAction::Stay) {
        event->ignore();
        return;
    }
    if (action == CloseAction::StopThenClose) {
        StopRunForClose();
    }
    if (!m_document->AskSaveChanges()) {
        event->ignore();
        return;
    }
    // The run thread ends before any window goes.
    ShutdownView();
    event->accept();
    Q_EMIT Closed();
}

void CMainFrame::StopRunForClose() {
    // A stop that comes while the probe is still setting its job up cancels nothing, and the job would run
    // on until the time-out timer: the stop is repeated until the run has ended, serving its calls meanwhile.
    m_closing = true;
    m_view->StopCheck();
    while (m_view->IsRunning()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, kStopPollMs);
        QThread::msleep(kStopPollMs);
        m_view->StopCheck();
    }
    m_closing = false;
}

void CMainFrame::ShutdownView() {
    if (m_viewShutDown) {
        return;
    }
    m_idleTimer->stop();
    m_dispatcher.Remove(m_view->Bindings());
    m_dispatcher.Remove(m_popups->Bindings());
    m_popups->Detach();
    m_recheck->Shutdown();
    m_run->Close();
    m_view->Shutdown();
    m_viewShutDown = true;
}

} // namespace zandel::ui
