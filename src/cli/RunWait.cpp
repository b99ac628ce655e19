#include "cli/RunWait.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <optional>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "cli/ConsoleHost.h"
#include "cli/RunOutput.h"
#include "core/check/CheckEngine.h"

namespace zandel::cli {

namespace {

// Every Ctrl+C (or SIGTERM) counts: the first stops the run, a later one also gives up on a job that a
// name lookup holds, since nothing can cut the lookup short.
std::atomic<int> g_signals{0};
static_assert(std::atomic<int>::is_always_lock_free);
// Written by a signal and by the run's end: the waiting main thread wakes at once, never on a fixed beat.
int g_wake = -1;

void OnSignal(int) {
    g_signals.fetch_add(1);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_wake, &one, sizeof one);
}

// How long a stopped run may take to end once the user has asked twice.
constexpr auto kGiveUpAfter = std::chrono::milliseconds(500);
// How often the progress line is redrawn and the transcript flushed, and a stop repeated while a name lookup
// holds a job.
constexpr auto kRefresh = std::chrono::milliseconds(100);

using Clock = std::chrono::steady_clock;

// Until a signal or the run's end, a refresh at the most, and never past the moment the run is given up on.
void WaitForWake(const std::optional<Clock::time_point>& giveUpAt) {
    int waitMs = static_cast<int>(kRefresh.count());
    if (giveUpAt) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*giveUpAt - Clock::now()).count();
        waitMs = static_cast<int>(std::clamp<long long>(left, 0, waitMs));
    }
    pollfd wake{g_wake, POLLIN, 0};
    if (::poll(&wake, 1, waitMs) > 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(g_wake, &count, sizeof count);
    }
}

} // namespace

UniqueFd OpenWake() {
    UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    g_wake = wake.Get();
    return wake;
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void WaitForSignal(std::chrono::milliseconds limit) {
    if (Interrupted()) {
        return;
    }
    pollfd wake{g_wake, POLLIN, 0};
    if (::poll(&wake, 1, static_cast<int>(limit.count())) > 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(g_wake, &count, sizeof count);
    }
}

bool Interrupted() {
    return g_signals.load() > 0;
}

RunEnd WaitForRun(CheckEngine& engine, ConsoleHost& host, int total, bool showProgress) {
    const Clock::time_point started = Clock::now();
    int handled = 0;
    std::optional<Clock::time_point> giveUpAt;
    bool givenUp = false;
    bool ended = false;
    while (!ended && engine.HasRunThreads()) {
        // Repeated while the run lasts: a cancel that came during a name lookup did nothing, and the job
        // must end as soon as the lookup is over.
        const int signals = g_signals.load();
        if (signals > 0) {
            engine.StopCheck();
        }
        if (signals > handled) {
            handled = signals;
            if (signals >= 2 && !giveUpAt) {
                giveUpAt = Clock::now() + kGiveUpAfter;
            }
        }
        if (giveUpAt && Clock::now() >= *giveUpAt) {
            givenUp = true;
            break;
        }
        if (showProgress) {
            host.SetProgressLine(ProgressLine(engine.CurrentProgress(), total, Clock::now() - started));
        }
        // The transcript is flushed on every turn, so the loop turns at least once a refresh while the run lasts.
        host.FlushTranscript();
        WaitForWake(giveUpAt);
        // The run's end wakes us just before its thread returns: joining it waits no longer than that.
        ended = host.RunHasEnded();
    }
    if (!givenUp) {
        engine.JoinRunThreads();
    }
    const bool stopped = givenUp || handled > 0 || g_signals.load() > 0;
    if (showProgress) {
        CheckEngine::Progress last = engine.CurrentProgress();
        last.checked = stopped ? last.checked : total;
        host.SetProgressLine(ProgressLine(last, total, Clock::now() - started) + "\n");
    }
    return givenUp ? RunEnd::GivenUp : stopped ? RunEnd::Stopped : RunEnd::Completed;
}

} // namespace zandel::cli
