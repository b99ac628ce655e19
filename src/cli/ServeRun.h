#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <random>
#include <string>

#include "cli/Options.h"
#include "core/serve/ProxyServer.h"
#include "core/serve/ServePool.h"

namespace zandel {
class HistoryRecorder;
class IRowStore;
} // namespace zandel

namespace zandel::cli {

class ConsoleHost;

// zandel-check --serve: the local proxy, listening before the first check so that a port already taken is told
// at once, serving (an empty pool answers 503 meanwhile) until a Ctrl+C or SIGTERM, its pool renewed by each
// check of the list.
class ServeRun final {
public:
    ServeRun(const Options& options, int timeOutSeconds);

    // The exit status when the serve cannot listen or run (the cause told), nothing when it serves.
    std::optional<int> Open();
    // The live rows of a finished check become the pool.
    void Renew(const IRowStore& rows);
    // Each upstream a connection tries goes into the history's batches from now on (none: not kept).
    void RecordInto(HistoryRecorder* batches) { m_history = batches; }
    // Until a Ctrl+C or SIGTERM: the status line on a terminal, and `recheck` every --recheck minutes, which
    // answers whether its check ran to the end (a stopped one leaves the pool as it was).
    int Serve(ConsoleHost& host, const IRowStore& rows, const std::function<bool()>& recheck);

private:
    std::string StatusLine() const;

    const Options& m_options;
    ServeConfig m_config;
    ServePool m_pool;
    ProxyServer m_server;
    std::atomic<HistoryRecorder*> m_history{nullptr};
};

} // namespace zandel::cli
