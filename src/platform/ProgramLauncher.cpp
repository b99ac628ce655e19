#include "platform/ProgramLauncher.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <system_error>
#include <thread>

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zandel {

namespace {

// What a started program gets back at their defaults, whatever Zandel does with them.
constexpr std::array<int, 3> kDefaultSignals = {SIGPIPE, SIGINT, SIGTERM};

// In the child of GIO's fork, before the browser is executed: only calls safe there.
void PrepareChild(gpointer /*data*/) {
    // A session of its own: the browser is not ended with Zandel or by a Ctrl+C meant for it.
    ::setsid();
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (const int signal : kDefaultSignals) {
        ::sigaction(signal, &defaults, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

void KeepPid(GDesktopAppInfo* /*info*/, GPid pid, gpointer data) {
    *static_cast<pid_t*>(data) = pid;
}

} // namespace

// Shared with the threads that wait for started programs, which may outlive the launcher.
struct SpawnLauncher::Reports {
    std::mutex mutex;
    bool open = true;
};

SpawnLauncher::SpawnLauncher(std::chrono::milliseconds failedStart)
    : m_failedStart(failedStart), m_reports(std::make_shared<Reports>()) {}

SpawnLauncher::~SpawnLauncher() {
    const std::lock_guard<std::mutex> lock(m_reports->mutex);
    m_reports->open = false;
}

bool SpawnLauncher::Launch(const std::string& program, const std::string& parameter, FailedStart failed) {
    if (program.empty()) {
        return false;
    }
    std::string programCopy = program;
    std::string parameterCopy = parameter;
    char* argv[3] = {programCopy.data(), parameter.empty() ? nullptr : parameterCopy.data(), nullptr};

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : kDefaultSignals) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    // A session of its own: the browser is not ended with Zandel or by a Ctrl+C meant for it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
    pid_t child = 0;
    // posix_spawnp searches PATH for a bare name only; a name with a "/" is taken as the path it is.
    const int refused = posix_spawnp(&child, programCopy.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (refused != 0) {
        return false;
    }
    Watch(child, std::move(failed));
    return true;
}

bool SpawnLauncher::LaunchDefaultBrowser(FailedStart failed) {
    GAppInfo* browser = g_app_info_get_default_for_uri_scheme("http");
    if (browser == nullptr) {
        return false;
    }
    pid_t child = 0;
    gboolean launched = FALSE;
    if (G_IS_DESKTOP_APP_INFO(browser)) {
        // Not reaped by GIO: the child is ours to watch. A browser activated over D-Bus has no child here.
        launched = g_desktop_app_info_launch_uris_as_manager(
            G_DESKTOP_APP_INFO(browser), nullptr, nullptr,
            static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), PrepareChild, nullptr, KeepPid,
            &child, nullptr);
    } else {
        launched = g_app_info_launch(browser, nullptr, nullptr, nullptr);
    }
    g_object_unref(browser);
    if (launched && child > 0) {
        Watch(child, std::move(failed));
    }
    return launched != FALSE;
}

void SpawnLauncher::Watch(pid_t child, FailedStart failed) {
    const auto deadline = std::chrono::steady_clock::now() + m_failedStart;
    try {
        std::thread([child, deadline, failed = std::move(failed), reports = m_reports] {
            int status = 0;
            pid_t ended = -1;
            do {
                ended = ::waitpid(child, &status, 0);
            } while (ended < 0 && errno == EINTR);
            const bool wentWell = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            if (ended != child || wentWell || std::chrono::steady_clock::now() >= deadline || !failed) {
                return;
            }
            const std::lock_guard<std::mutex> lock(reports->mutex);
            if (reports->open) {
                failed();
            }
        }).detach();
    } catch (const std::system_error&) {
        // Without a thread the program still runs; it is reaped when Zandel ends.
    }
}

} // namespace zandel
