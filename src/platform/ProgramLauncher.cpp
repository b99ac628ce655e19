#include "platform/ProgramLauncher.h"

#include <cerrno>
#include <csignal>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace zandel {

bool SpawnLauncher::Launch(const std::string& program, const std::string& parameter) {
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
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    // A session of its own: the browser is not ended with Zandel or by a Ctrl+C meant for it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
    pid_t child = 0;
    // posix_spawnp searches PATH for a bare name only; a name with a "/" is taken as the path it is.
    const int failed = posix_spawnp(&child, programCopy.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
        return false;
    }
    // Reap it whenever it ends, so that no zombie is left behind while Zandel runs.
    std::thread([child] {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

} // namespace zandel
