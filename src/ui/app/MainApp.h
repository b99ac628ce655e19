#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

class QTimer;

#include "core/app/AppLifecycle.h"
#include "core/settings/AppSettings.h"
#include "core/app/InstallPaths.h"
#include "ui/app/SplashDlg.h"

namespace zandel {
class IFileDialogs;
class IInternetSettings;
class IProgramLauncher;
class RecentFileList;
} // namespace zandel

namespace zandel::ui {

class CMainFrame;
class InstanceServer;

// The application: owns the settings, lets one instance run, starts and ends a run of the program in its
// fixed order and closes the splash window on the first key or mouse press or once it has been up a second.
class CMainApp final : public QObject, public IAppShell {
    Q_OBJECT
public:
    struct Services {
        ISingleInstance& lock;
        IInternetSettings& internet;
        IProgramLauncher& launcher;
        RecentFileList& recent;
        // None: the main window's own file dialogs.
        IFileDialogs* dialogs = nullptr;
    };
    static constexpr int kSplashMs = 1000;

    // `arguments` as the program got them, bytes unchanged (the first is the program); `start` names StartDir,
    // whether its files are used, and the message shown once the main window is up (a settings folder that
    // cannot be used). Every box of the start that needs no answer waits, as that message does, until the
    // splash has closed over the main window.
    CMainApp(Services services, std::vector<std::string> arguments, StartFolder start = {CurrentDirectory(), {}, true});
    ~CMainApp() override;

    AppLifecycle::Start InitInstance();
    // Destroys the main window (which writes the window rectangle), then saves the rest. The exit code.
    int ExitInstance();
    // InitInstance, the event loop, ExitInstance.
    int Run();

    AppSettings& Settings() { return m_settings; }
    CMainFrame* MainFrame() const { return m_frame.get(); }
    CSplashDlg* Splash() const { return m_splash.data(); }

    // IAppShell
    void ListenForLaterStarts() override;
    void LoadRecentFiles() override;
    bool ProcessCommandLine() override;
    void ShowSplash() override;
    void ShowMainWindow() override;
    void ReopenListFile(const std::string& path) override;
    void ShowInTray(bool hide) override;
    void ApplyTopmost() override;
    void StartStartupCheck() override;
    void SaveRecentFiles() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // How long a later start keeps asking a program that holds the lock but does not listen yet or any more.
    static constexpr int kAskForMs = 10000;
    static constexpr int kAskAgainMs = 100;
    static constexpr int kModalPollMs = 250;

    void CloseSplash();
    void KeepSplashOnTop();
    // A later start: the window comes to the front, out of the tray or the task bar, and its list file is
    // added as if dropped on the list.
    void OnLaterStart(const std::string& listFile);
    void BringToFront();
    // Once no dialog holds the window: a drop could not reach the list before.
    void OpenFilesFromLaterStarts();
    // Asks the program that holds the lock to come forward, until this one gets the lock itself. The start.
    AppLifecycle::Start AskRunningInstance();

    Services m_services;
    std::vector<std::string> m_arguments;
    StartFolder m_start;
    AppSettings m_settings;
    AppLifecycle m_lifecycle;
    std::unique_ptr<CMainFrame> m_frame;
    QPointer<CSplashDlg> m_splash;
    QElapsedTimer m_splashShown;
    bool m_splashClosed = false;
    bool m_exited = false;
    bool m_running = false;
    InstanceServer* m_instanceServer = nullptr;
    std::vector<std::string> m_laterFiles;
    // The list the command line opened, which the last run's list (now that same file) need not read again.
    std::string m_commandLineList;
    QTimer* m_laterFilesTimer = nullptr;
};

} // namespace zandel::ui
