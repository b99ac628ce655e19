#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/check/ProbeAddress.h"
#include "core/check/SocksStep.h"
#include "core/serve/ServeConfig.h"
#include "core/serve/UpstreamDialog.h"

namespace zandel {

// One proxy of the pool, as a check left it.
struct Upstream {
    std::string key;   // the entry as the list keeps it: its health outlives a renewal of the pool
    std::string shown; // without its password
    ProxyKind kind = ProxyKind::Http;
    ProxyLogin login;
    ProbeAddresses addresses; // found when the pool was made, never while a client waits
    int responseMs = 0;
    bool mitm = false; // the HTTPS step saw another certificate through it: it never gets a tunnel
};
using UpstreamRef = std::shared_ptr<const Upstream>;

// What the serve has made of one upstream so far, for a window that shows the pool.
struct UpstreamTally {
    std::string shown;
    long long served = 0; // connections it carried
    long long failed = 0; // times it failed a connection
    bool down = false;    // left out of every choice for now
};

// What one connection asks of the pool.
struct PoolAsk {
    const ClientTarget& target;
    bool tunnel = false;            // CONNECT or SOCKS: the client's bytes go through unseen, maybe TLS
    std::string client;             // the client's address, for stickiness
    std::vector<std::string> tried; // the upstreams this connection has failed on already
};

// The live proxies a check found, with what the serve has learnt of them since: an upstream that failed is left
// alone for a while, as a whole or for the one target host it failed for. Shared between the serve's loop and
// whoever renews the pool; every call takes its lock. Times are the caller's, so that a test sets the clock.
class ServePool final {
public:
    using Clock = std::chrono::steady_clock;

    ServePool(const ServeConfig& config, std::uint32_t seed);

    // A renewed pool keeps what was learnt of the upstreams it still holds.
    void Replace(std::vector<Upstream> upstreams, int listRows);
    int Size() const;
    int ListRows() const;

    // The upstream to try next, or none when no upstream of the pool fits at all. Upstreams that failed lately
    // are passed over while any other fits, and tried when none does.
    UpstreamRef Choose(const PoolAsk& ask, Clock::time_point now);
    void Failed(const Upstream& upstream, const std::string& targetHost, Blame blame, Clock::time_point now);
    // The connection is through (a tunnel once its bytes showed nothing amiss): the same client going to the same
    // host keeps this upstream for a while.
    void Succeeded(const Upstream& upstream, const PoolAsk& ask, Clock::time_point now);
    // The upstreams in the pool's order with their counts, which outlive a renewal as their health does.
    std::vector<UpstreamTally> Tally(Clock::time_point now) const;

private:
    struct Sticky {
        std::string key;
        Clock::time_point until;
    };

    bool Fits(const Upstream& upstream, const PoolAsk& ask) const;
    bool Healthy(const Upstream& upstream, const PoolAsk& ask, Clock::time_point now) const;
    std::size_t Pick(const std::vector<std::size_t>& candidates);
    void Prune(Clock::time_point now);

    const ServeConfig m_config;
    mutable std::mutex m_mutex;
    std::vector<UpstreamRef> m_upstreams;
    int m_listRows = 0;
    std::unordered_map<std::string, Clock::time_point> m_proxyDown;
    std::map<std::pair<std::string, std::string>, Clock::time_point> m_targetDown;
    std::map<std::pair<std::string, std::string>, Clock::time_point> m_tunnelDown;
    std::unordered_map<std::string, Sticky> m_sticky;
    std::unordered_map<std::string, std::pair<long long, long long>> m_counts; // served, failed
    std::size_t m_cursor = 0;
    std::mt19937 m_random;
};

// The strategies' choice among candidates (indexes into `upstreams`): one function a strategy.
struct StrategyState {
    std::size_t& cursor;
    std::mt19937& random;
};
std::size_t PickByStrategy(ServeStrategy strategy, const std::vector<UpstreamRef>& upstreams,
                           const std::vector<std::size_t>& candidates, StrategyState state);

} // namespace zandel
