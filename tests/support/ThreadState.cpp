#include "support/ThreadState.h"

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
    return number == SYS_ppoll;
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

} // namespace zandel::test
