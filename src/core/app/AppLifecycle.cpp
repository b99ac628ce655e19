#include "core/app/AppLifecycle.h"

#include <climits>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "core/settings/AppSettings.h"

namespace zandel {

namespace {

bool IsFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

} // namespace

AppLifecycle::AppLifecycle(AppSettings& settings, ISingleInstance& lock, IAppShell& shell)
    : m_settings(settings), m_lock(lock), m_shell(shell) {}

AppLifecycle::Start AppLifecycle::InitInstance(const std::string& workingDir, bool usesFiles) {
    if (!m_lock.Acquire()) {
        return Start::SecondInstance;
    }
    m_lockHeld = true;
    if (m_lock.IsHeld()) {
        m_shell.ListenForLaterStarts();
    }
    m_shell.LoadRecentFiles();
    m_recentLoaded = true;
    // The whole path: a folder cut to a fixed length would put the settings files somewhere else.
    m_settings.StartDir = workingDir;
    m_settings.UsesStartDirFiles = usesFiles;
    LoadSettings(m_settings);
    m_settingsLoaded = true;

    if (!m_shell.ProcessCommandLine()) {
        return Start::Failed;
    }
    m_shell.ShowSplash();
    m_shell.ShowMainWindow();

    // A list that has gone since the last run is passed over without a word; its name stays in the settings
    // until another list is opened.
    if (!m_settings.ProxyFile.empty() && IsFile(m_settings.ProxyFile)) {
        m_shell.ReopenListFile(m_settings.ProxyFile);
    }
    ReadFavourites(m_settings);
    ReadChainLists(m_settings);

    m_shell.ShowInTray(m_settings.TaskTrayOpen || m_settings.TaskTray);
    m_shell.ApplyTopmost();
    if (m_settings.ProxyOn && m_settings.OpenCheck) {
        m_shell.StartStartupCheck();
    }
    return Start::Running;
}

int AppLifecycle::ExitInstance() {
    if (m_settingsLoaded) {
        WriteChainLists(m_settings);
        WriteFavourites(m_settings);
        SaveSettings(m_settings);
    }
    if (m_recentLoaded) {
        m_shell.SaveRecentFiles();
    }
    // Let go only once everything is written: an instance started in between would otherwise read the
    // settings of before this run and later save them over this run's.
    if (m_lockHeld) {
        m_lock.Release();
        m_lockHeld = false;
    }
    return 0;
}

std::string CurrentDirectory() {
    std::string folder(PATH_MAX, '\0');
    if (::getcwd(folder.data(), folder.size()) == nullptr) {
        return ".";
    }
    folder.resize(folder.find('\0'));
    return folder;
}

} // namespace zandel
