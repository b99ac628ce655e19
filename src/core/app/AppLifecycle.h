#pragma once

#include <string>

namespace zandel {

struct AppSettings;

// The lock that lets one instance of the program run at a time, and where its holder hears of later starts.
class ISingleInstance {
public:
    virtual ~ISingleInstance() = default;
    // False when another instance holds the lock. True also when there is no lock to be had (then the program
    // runs without one, and listens for nobody).
    virtual bool Acquire() = 0;
    virtual void Release() = 0;
    virtual bool IsHeld() const = 0;
    // The local socket beside the lock, in a folder of the user's own, where the holder listens.
    virtual std::string ChannelPath() const = 0;
};

// What the start and the end of a run need of the windows and the framework around them.
class IAppShell {
public:
    virtual ~IAppShell() = default;
    // Once the lock is held, before anything else: later starts are heard from now on.
    virtual void ListenForLaterStarts() = 0;
    virtual void LoadRecentFiles() = 0;
    // Creates the document, the main window and its panes, and opens a list file named on the command line.
    // False fails the start-up.
    virtual bool ProcessCommandLine() = 0;
    virtual void ShowSplash() = 0;
    virtual void ShowMainWindow() = 0;
    // Opens the list of the last run into the document, its name as the title (replacing the list).
    virtual void ReopenListFile(const std::string& path) = 0;
    virtual void ShowInTray(bool hide) = 0;
    virtual void ApplyTopmost() = 0;
    virtual void StartStartupCheck() = 0;
    // The framework's own part of the exit: the recent-file list goes back to its file.
    virtual void SaveRecentFiles() = 0;
};

// The start and the end of a run of the program, in their fixed order. The settings files are read and
// written here; everything on screen is the shell's.
class AppLifecycle final {
public:
    enum class Start { SecondInstance, Failed, Running };

    AppLifecycle(AppSettings& settings, ISingleInstance& lock, IAppShell& shell);
    AppLifecycle(const AppLifecycle&) = delete;
    AppLifecycle& operator=(const AppLifecycle&) = delete;

    // `workingDir` becomes StartDir, where the settings files lie; without `usesFiles` (a settings folder of
    // another user) none of them is read now or written at the end. A second instance stops at the lock and
    // has read and shown nothing. After Failed the caller destroys the main window, if there is one, and
    // still runs ExitInstance, which saves the settings already loaded.
    Start InitInstance(const std::string& workingDir, bool usesFiles = true);
    // After the main window is gone (it has handed over its rectangle): "Access.ini", "USER2.DAT" and
    // "PrxSet.ini" are written, only by an instance that loaded the settings, and then the lock goes. The exit
    // code.
    int ExitInstance();

    bool SettingsLoaded() const { return m_settingsLoaded; }

private:
    AppSettings& m_settings;
    ISingleInstance& m_lock;
    IAppShell& m_shell;
    bool m_lockHeld = false;
    bool m_recentLoaded = false;
    bool m_settingsLoaded = false;
};

// The process's working directory, or "." when it cannot be had.
std::string CurrentDirectory();

} // namespace zandel
