#include "cli/ServeRun.h"

#include <chrono>
#include <cstdio>
#include <random>

#include <unistd.h>

#include "cli/ConsoleHost.h"
#include "cli/RunOutput.h"
#include "cli/RunWait.h"
#include "core/history/HistoryRecorder.h"
#include "core/schedule/RecheckScheduler.h"
#include "core/list/RowStore.h"
#include "core/serve/ServeRows.h"

namespace zandel::cli {

namespace {

ServeConfig ConfigOf(const Options& options, int timeOutSeconds) {
    ServeConfig config = options.serve.config;
    config.timeOutSeconds = timeOutSeconds;
    return config;
}

// How often the status line is redrawn.
constexpr auto kStatusEvery = std::chrono::seconds(1);

} // namespace

ServeRun::ServeRun(const Options& options, int timeOutSeconds)
    : m_options(options), m_config(ConfigOf(options, timeOutSeconds)), m_pool(m_config, std::random_device{}()),
      m_server(m_config, m_pool) {
    // Set before the loop starts; the history is known only once the list is open.
    m_server.RecordServed([this](ServedRecord record) {
        if (HistoryRecorder* batches = m_history.load()) {
            batches->AddServed(std::move(record));
        }
    });
}

std::optional<int> ServeRun::Open() {
    std::string error;
    if (!m_server.Listen(error)) {
        Tell("cannot serve on " + error);
        return 1;
    }
    if (!m_server.Start()) {
        Tell("cannot serve: the system refused a thread for it");
        return 1;
    }
    return std::nullopt;
}

void ServeRun::Renew(const IRowStore& rows) {
    m_pool.Replace(UpstreamsOfRows(rows, m_options.plainKind, m_options.serve.allowLeaky, ResolveProbeHost),
                   rows.RowCount());
}

std::string ServeRun::StatusLine() const {
    const ServeStatus status = m_server.Status();
    const bool v6 = m_config.host.find(':') != std::string::npos;
    const std::string address =
        (v6 ? "[" + m_config.host + "]" : m_config.host) + ":" + std::to_string(m_server.Port());
    return "serving " + address + "  live " + std::to_string(status.live) + "/" + std::to_string(status.total) +
           "  connections " + std::to_string(status.open) + " (" + std::to_string(status.accepted) + " in all)" +
           "  failures " + std::to_string(status.failures);
}

int ServeRun::Serve(ConsoleHost& host, const IRowStore& rows, const std::function<bool()>& recheck) {
    using Clock = std::chrono::steady_clock;
    const bool onTerminal = isatty(STDERR_FILENO) != 0;
    // ZANDEL_RECHECK_SECONDS stands in for the minutes here as in the window, for trying it by hand.
    const std::optional<int> seconds = RecheckSecondsOverride();
    const Clock::duration interval = seconds ? Clock::duration(std::chrono::seconds(*seconds))
                                             : Clock::duration(std::chrono::minutes(m_options.serve.recheckMinutes));
    Clock::time_point due = Clock::now() + interval;
    if (!onTerminal) {
        Tell(StatusLine());
    }
    while (!Interrupted()) {
        if (onTerminal) {
            host.SetProgressLine(StatusLine());
        }
        WaitForSignal(std::chrono::duration_cast<std::chrono::milliseconds>(kStatusEvery));
        if (HistoryRecorder* batches = m_history.load()) {
            batches->HandOver(); // the connections of the last second in one transaction
        }
        if (Interrupted() || Clock::now() < due) {
            continue;
        }
        if (recheck()) {
            Renew(rows);
            if (!onTerminal) {
                Tell("re-checked: " + StatusLine());
            }
        }
        // A re-check that overran is followed by the next a whole interval later, not at once.
        due = Clock::now() + interval;
    }
    // Off a terminal the log ends with what the serve did, as a service's log should.
    if (onTerminal) {
        host.SetProgressLine(StatusLine() + "\n");
    } else {
        Tell("stopped: " + StatusLine());
    }
    m_server.Stop();
    return 0;
}

} // namespace zandel::cli
