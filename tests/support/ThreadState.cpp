#include "support/ThreadState.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

namespace zandel::test {

namespace {

bool InPoll(pid_t threadId) {
    std::ifstream file("/proc/self/task/" + std::to_string(threadId) + "/syscall");
    long number = -1;
    if (!(file >> number)) {
        return false; // "running", or no such thread
    }
#ifdef SYS_poll
    if (number == SYS_poll) {
        return true;
    }
#endif
#ifdef SYS_epoll_wait
    if (number == SYS_epoll_wait) {
        return true;
    }
#endif
    return number == SYS_ppoll || number == SYS_epoll_pwait;
}

// The syscall file reads "number arg1 arg2 arg3 ...", the arguments in hexadecimal.
bool PollsWithTimeout(const std::filesystem::path& task, int timeoutMs) {
#ifdef SYS_poll
    std::ifstream file(task / "syscall");
    long number = -1;
    std::string fds;
    unsigned long count = 0;
    unsigned long timeout = 0;
    if (!(file >> number >> fds >> std::hex >> count >> timeout)) {
        return false;
    }
    return number == SYS_poll && count == 2 && timeout == static_cast<unsigned long>(timeoutMs);
#else
    (void)task;
    (void)timeoutMs;
    return false;
#endif
}

bool SomeThreadPolls(int timeoutMs) {
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        if (PollsWithTimeout(task.path(), timeoutMs)) {
            return true;
        }
    }
    return false;
}

} // namespace

pid_t CurrentThreadId() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

bool WaitUntilInPoll(pid_t threadId, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!InPoll(threadId)) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool WaitUntilSomeThreadPolls(int timeoutMs, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!SomeThreadPolls(timeoutMs)) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace zandel::test
