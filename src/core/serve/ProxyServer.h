#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>

#include "core/serve/ServeConnection.h"
#include "core/util/UniqueFd.h"

namespace zandel {

// What the status line shows.
struct ServeStatus {
    int live = 0;  // upstreams in the pool
    int total = 0; // rows of the list
    int open = 0;  // client connections now
    long long accepted = 0;
    long long failures = 0;
};

// The local proxy: one listening socket that speaks HTTP (absolute form and CONNECT), SOCKS5 and SOCKS4/4a, each
// client carried through an upstream of the pool. One epoll loop on a thread of its own carries every
// connection; there are no threads per client and no name lookups.
class ProxyServer final {
public:
    ProxyServer(const ServeConfig& config, ServePool& pool);
    ~ProxyServer(); // stops the loop and waits for it
    ProxyServer(const ProxyServer&) = delete;
    ProxyServer& operator=(const ProxyServer&) = delete;

    // Binds and listens; false with why not, in one line ("127.0.0.1:8181: Address already in use"). An address
    // other machines reach is refused without a login.
    bool Listen(std::string& error);
    // The port taken (the one asked for, or a free one for 0).
    std::uint16_t Port() const { return m_port; }
    // Each upstream a connection tries is told to `served` on the loop's thread (the history's batches take it);
    // set before Start.
    void RecordServed(ServedSink served) { m_served = std::move(served); }
    // The loop on a thread of its own; false when the system gives no thread.
    bool Start();
    // From any thread; the loop ends at its next turn, every connection closed.
    void Stop();
    ServeStatus Status() const;
    // Hears each connection as it ends, on the loop's thread; before Start.
    void SetConnectionLog(std::function<void(const ServeConnectionRecord&)> log) { m_counters.ended = std::move(log); }

private:
    struct Watched {
        std::unique_ptr<ServeConnection> connection;
        std::uint32_t clientEvents = 0;
        int upstreamFd = -1;
        unsigned upstreamSerial = 0;
        std::uint32_t upstreamEvents = 0;
    };

    void Run();
    int WaitMs(ServeConnection::Clock::time_point now) const;
    void Accept(ServeConnection::Clock::time_point now);
    void Dispatch(std::uint64_t tag, std::uint32_t events, ServeConnection::Clock::time_point now);
    void Settle(std::uint64_t id, Watched& watched);
    void WatchListener(bool on);

    ServeConfig m_config;
    ServePool& m_pool;
    ServeCounters m_counters;
    ServedSink m_served;
    UniqueFd m_listen;
    UniqueFd m_epoll;
    UniqueFd m_wake;
    std::uint16_t m_port = 0;
    bool m_listening = false;
    std::uint64_t m_nextId = 1;
    PipeBudget m_pipes; // outlives the connections, whose pipes give their descriptors back to it
    std::unordered_map<std::uint64_t, Watched> m_connections;
    std::thread m_thread;
};

} // namespace zandel
