#include "ui/app/MainApp.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "core/app/CommandLine.h"
#include "core/app/InstanceRequest.h"
#include "core/util/MessageService.h"
#include "core/frame/FileCommands.h"
#include "platform/RecentFileList.h"
#include "ui/app/InstanceChannel.h"
#include "ui/app/SplashDlg.h"
#include "ui/frame/FramePlacement.h"
#include "ui/frame/MainFrame.h"
#include "ui/list/ProxyListView.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/WorkArea.h"

namespace zandel::ui {

CMainApp::CMainApp(Services services, std::vector<std::string> arguments, StartFolder start)
    : m_services(services), m_arguments(std::move(arguments)), m_start(std::move(start)),
      m_lifecycle(m_settings, services.lock, *this) {
    if (qApp != nullptr) {
        qApp->installEventFilter(new DialogsOnScreen(this));
    }
}

CMainApp::~CMainApp() {
    if (!m_exited) {
        ExitInstance();
    }
}

AppLifecycle::Start CMainApp::InitInstance() {
    // What the start has to say waits until the splash has gone from over the main window, so that every box has
    // the window to stand over; showing the splash runs the events queued so far.
    MessageBoxService::Instance().HoldUnanswered();
    if (!m_start.notice.empty()) {
        ShowOk(MessageBoxService::Instance(), m_start.notice);
    }
    const AppLifecycle::Start start = m_lifecycle.InitInstance(m_start.dir, m_start.usesFiles);
    if (start == AppLifecycle::Start::Failed) {
        MessageBoxService::Instance().ShowHeldNow();
    }
    if (start != AppLifecycle::Start::Running) {
        MessageBoxService::Instance().DropHeld();
        return start;
    }
    m_running = true;
    if (m_splashClosed) {
        MessageBoxService::Instance().ReleaseHeld();
    }
    if (!m_laterFiles.empty()) {
        QTimer::singleShot(0, this, [this] { OpenFilesFromLaterStarts(); });
    }
    return start;
}

int CMainApp::ExitInstance() {
    m_exited = true;
    m_running = false;
    MessageBoxService::Instance().DropHeld();
    if (qApp != nullptr) {
        qApp->removeEventFilter(this);
    }
    // Deaf before the lock goes: a start from then on takes the lock instead of asking a program that is ending.
    delete m_instanceServer;
    m_instanceServer = nullptr;
    delete m_splash.data();
    m_frame.reset();
    return m_lifecycle.ExitInstance();
}

int CMainApp::Run() {
    switch (AskRunningInstance()) {
    case AppLifecycle::Start::SecondInstance:
        m_exited = true;
        return 0;
    case AppLifecycle::Start::Failed:
        ExitInstance();
        return 1;
    case AppLifecycle::Start::Running:
        break;
    }
    const int code = QApplication::exec();
    const int exitCode = ExitInstance();
    return code != 0 ? code : exitCode;
}

AppLifecycle::Start CMainApp::AskRunningInstance() {
    AppLifecycle::Start start = InitInstance();
    if (start != AppLifecycle::Start::SecondInstance) {
        return start;
    }
    const std::optional<std::string> listFile = ParseCommandLine(m_arguments).listFile;
    const std::string request = EncodeRaiseRequest(listFile ? AbsoluteListPath(*listFile, CurrentDirectory()) : "");
    QElapsedTimer asking;
    asking.start();
    // The holder may be starting (not listening yet) or ending (no longer listening, not yet letting go).
    while (start == AppLifecycle::Start::SecondInstance) {
        const auto left = std::chrono::milliseconds(std::max<qint64>(0, kAskForMs - asking.elapsed()));
        if (ui::AskRunningInstance(m_services.lock.ChannelPath(), request, left) != Asked::NobodyListening ||
            asking.elapsed() >= kAskForMs) {
            return start;
        }
        QThread::msleep(kAskAgainMs);
        start = InitInstance();
    }
    return start;
}

void CMainApp::ListenForLaterStarts() {
    delete m_instanceServer;
    m_instanceServer = new InstanceServer([this](const std::string& listFile) { OnLaterStart(listFile); }, this);
    m_instanceServer->Listen(m_services.lock.ChannelPath());
}

void CMainApp::OnLaterStart(const std::string& listFile) {
    if (!listFile.empty()) {
        m_laterFiles.push_back(listFile);
    }
    // While starting, the window comes up by itself, and the files follow once it has.
    if (!m_running || !m_frame) {
        return;
    }
    BringToFront();
    OpenFilesFromLaterStarts();
}

void CMainApp::BringToFront() {
    ShowInTray(false);
    // A dialog open over the window stays in front of it, where the user has to answer it first.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

void CMainApp::OpenFilesFromLaterStarts() {
    if (m_laterFiles.empty() || !m_running || !m_frame) {
        return;
    }
    if (QApplication::activeModalWidget() != nullptr) {
        if (m_laterFilesTimer == nullptr) {
            m_laterFilesTimer = new QTimer(this);
            m_laterFilesTimer->setSingleShot(true);
            connect(m_laterFilesTimer, &QTimer::timeout, this, &CMainApp::OpenFilesFromLaterStarts);
        }
        m_laterFilesTimer->start(kModalPollMs);
        return;
    }
    const std::vector<std::string> files = std::move(m_laterFiles);
    m_laterFiles.clear();
    ProxyListView* view = m_frame->View();
    // As a drop: refused, as drops are, by a list that could not start its checks.
    if (view->viewport()->acceptDrops()) {
        view->DropFiles(files);
    }
}

void CMainApp::LoadRecentFiles() {
    m_services.recent.Load();
}

bool CMainApp::ProcessCommandLine() {
    m_frame = std::make_unique<CMainFrame>(m_settings, m_services.internet, m_services.launcher, m_services.recent,
                                           m_services.dialogs);
    // Closing a window hidden in the tray closes no visible window, so Qt alone would never end the program.
    connect(m_frame.get(), &CMainFrame::Closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    // The name as the system gave it: decoding it for Qt would lose the bytes of a name that is not UTF-8.
    const std::optional<std::string> listFile = ParseCommandLine(m_arguments).listFile;
    if (!listFile) {
        return true;
    }
    if (!m_frame->Files().OpenPath(*listFile)) {
        return false;
    }
    m_commandLineList = m_frame->Document().PathName();
    return true;
}

void CMainApp::ShowSplash() {
    // The splash belongs to the main window and stays above it: a window manager learns that only when the
    // main window exists on the window system by the time the splash is shown.
    m_frame->winId();
    m_splash = new CSplashDlg(m_frame.get());
    m_splash->show();
    m_splash->repaint();
    m_splashShown.start();
    qApp->installEventFilter(this);
    // The first idle moment after the second is up: a zero timer runs once the queued events are done.
    QTimer::singleShot(kSplashMs, this, [this] { QTimer::singleShot(0, this, [this] { CloseSplash(); }); });
}

void CMainApp::ShowMainWindow() {
    m_frame->show();
    m_frame->repaint();
    KeepSplashOnTop();
}

void CMainApp::ReopenListFile(const std::string& path) {
    // Reading the file the command line has just read doubled a long list's wait and said a full list was full
    // twice.
    if (!m_commandLineList.empty() && path == m_commandLineList && !m_frame->Document().IsModified()) {
        return;
    }
    m_frame->Files().OpenPath(path);
}

void CMainApp::ShowInTray(bool hide) {
    m_frame->ShowInTray(hide);
    KeepSplashOnTop();
}

void CMainApp::KeepSplashOnTop() {
    // The splash belongs to the main window and stays above it, also when the window is brought forward or
    // kept on top of the others.
    if (!m_splash.isNull()) {
        FramePlacement::ApplyTopmost(*m_splash, m_frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        m_splash->raise();
    }
}

void CMainApp::ApplyTopmost() {
    m_frame->ApplyTopmost();
    KeepSplashOnTop();
}

void CMainApp::StartStartupCheck() {
    m_frame->View()->StartStartupCheck();
}

void CMainApp::SaveRecentFiles() {
    m_services.recent.Save();
}

bool CMainApp::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Expose:
    case QEvent::WindowActivate:
        // A window manager puts the main window on top when it first shows it, after the splash was
        // raised: it is raised again whenever the main window comes up.
        if (m_frame && (watched == m_frame.get() || watched == m_frame->windowHandle())) {
            KeepSplashOnTop();
        }
        break;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress:
        CloseSplash();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void CMainApp::CloseSplash() {
    if (m_splash.isNull()) {
        return;
    }
    qApp->removeEventFilter(this);
    m_splash->close();
    m_splashClosed = true;
    if (m_frame) {
        m_frame->repaint();
    }
    if (m_running) {
        MessageBoxService::Instance().ReleaseHeld();
    }
}

} // namespace zandel::ui
