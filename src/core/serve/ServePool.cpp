#include "core/serve/ServePool.h"

#include <algorithm>

namespace zandel {

namespace {

// Past this many marks the expired ones are swept out, so that a long serve of many sites stays small.
constexpr std::size_t kPruneAbove = 4096;

// A session named by the client keeps its upstream wherever it goes and from wherever it comes; a client without
// one keeps it for one site. The zero byte cannot begin an address.
std::string StickyKey(const PoolAsk& ask) {
    return ask.target.wishes.session.empty() ? ask.client + '\n' + ask.target.host : '\0' + ask.target.wishes.session;
}

} // namespace

ServePool::ServePool(const ServeConfig& config, std::uint32_t seed) : m_config(config), m_random(seed) {}

void ServePool::Replace(std::vector<Upstream> upstreams, int listRows) {
    std::vector<UpstreamRef> made;
    made.reserve(upstreams.size());
    for (Upstream& upstream : upstreams) {
        made.push_back(std::make_shared<const Upstream>(std::move(upstream)));
    }
    const std::lock_guard lock(m_mutex);
    m_upstreams = std::move(made);
    m_listRows = listRows;
}

int ServePool::Size() const {
    const std::lock_guard lock(m_mutex);
    return static_cast<int>(m_upstreams.size());
}

int ServePool::ListRows() const {
    const std::lock_guard lock(m_mutex);
    return m_listRows;
}

bool ServePool::Fits(const Upstream& upstream, const PoolAsk& ask) const {
    if (ask.tunnel && upstream.mitm) {
        return false;
    }
    if (!KindGranted(ask.target.wishes, upstream.kind) ||
        std::find(ask.tried.begin(), ask.tried.end(), upstream.key) != ask.tried.end()) {
        return false;
    }
    return UpstreamCanReach(upstream.kind, ask.target);
}

bool ServePool::Healthy(const Upstream& upstream, const PoolAsk& ask, Clock::time_point now) const {
    if (const auto down = m_proxyDown.find(upstream.key); down != m_proxyDown.end() && down->second > now) {
        return false;
    }
    const auto marked = [&](const auto& marks) {
        const auto down = marks.find({upstream.key, ask.target.host});
        return down != marks.end() && down->second > now;
    };
    return !marked(m_targetDown) && !(ask.tunnel && marked(m_tunnelDown));
}

UpstreamRef ServePool::Choose(const PoolAsk& ask, Clock::time_point now) {
    const std::lock_guard lock(m_mutex);
    std::vector<std::size_t> fitting;
    std::vector<std::size_t> healthy;
    for (std::size_t i = 0; i < m_upstreams.size(); ++i) {
        if (Fits(*m_upstreams[i], ask)) {
            fitting.push_back(i);
            if (Healthy(*m_upstreams[i], ask, now)) {
                healthy.push_back(i);
            }
        }
    }
    if (fitting.empty()) {
        return nullptr;
    }
    const std::vector<std::size_t>& candidates = healthy.empty() ? fitting : healthy;
    if (m_config.stickyMinutes > 0) {
        if (const auto sticky = m_sticky.find(StickyKey(ask)); sticky != m_sticky.end() && sticky->second.until > now) {
            for (const std::size_t index : candidates) {
                if (m_upstreams[index]->key == sticky->second.key) {
                    return m_upstreams[index];
                }
            }
        }
    }
    return m_upstreams[PickByStrategy(m_config.strategy, m_upstreams, candidates, {m_cursor, m_random})];
}

void ServePool::Failed(const Upstream& upstream, const std::string& targetHost, Blame blame, Clock::time_point now) {
    const std::lock_guard lock(m_mutex);
    Prune(now);
    ++m_counts[upstream.key].second;
    const auto until =
        now + std::chrono::seconds(blame == Blame::Proxy ? m_config.proxyDownSeconds : m_config.targetDownSeconds);
    switch (blame) {
    case Blame::Proxy:
        m_proxyDown[upstream.key] = until;
        break;
    case Blame::Target:
        m_targetDown[{upstream.key, targetHost}] = until;
        break;
    case Blame::Certificate:
        m_tunnelDown[{upstream.key, targetHost}] = until;
        break;
    }
}

void ServePool::Succeeded(const Upstream& upstream, const PoolAsk& ask, Clock::time_point now) {
    const std::lock_guard lock(m_mutex);
    ++m_counts[upstream.key].first;
    m_proxyDown.erase(upstream.key);
    m_targetDown.erase({upstream.key, ask.target.host});
    if (ask.tunnel) {
        m_tunnelDown.erase({upstream.key, ask.target.host});
    }
    if (m_config.stickyMinutes > 0) {
        Prune(now);
        m_sticky[StickyKey(ask)] = {upstream.key, now + std::chrono::minutes(m_config.stickyMinutes)};
    }
}

std::vector<UpstreamTally> ServePool::Tally(Clock::time_point now) const {
    const std::lock_guard lock(m_mutex);
    std::vector<UpstreamTally> tally;
    tally.reserve(m_upstreams.size());
    for (const UpstreamRef& upstream : m_upstreams) {
        UpstreamTally row;
        row.shown = upstream->shown;
        if (const auto counts = m_counts.find(upstream->key); counts != m_counts.end()) {
            row.served = counts->second.first;
            row.failed = counts->second.second;
        }
        const auto down = m_proxyDown.find(upstream->key);
        row.down = down != m_proxyDown.end() && down->second > now;
        tally.push_back(std::move(row));
    }
    return tally;
}

void ServePool::Prune(Clock::time_point now) {
    if (m_proxyDown.size() > kPruneAbove) {
        std::erase_if(m_proxyDown, [now](const auto& mark) { return mark.second <= now; });
    }
    for (auto* marks : {&m_targetDown, &m_tunnelDown}) {
        if (marks->size() > kPruneAbove) {
            std::erase_if(*marks, [now](const auto& mark) { return mark.second <= now; });
        }
    }
    if (m_sticky.size() > kPruneAbove) {
        std::erase_if(m_sticky, [now](const auto& mark) { return mark.second.until <= now; });
    }
}

} // namespace zandel
