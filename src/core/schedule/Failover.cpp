#include "core/schedule/Failover.h"

#include <algorithm>

#include "core/list/CheckRecord.h"
#include "core/history/HistoryColumns.h"

namespace zandel {

std::vector<std::string> RecheckTargets(const DesktopProxy& proxy, const std::vector<std::string>& favourites) {
    std::vector<std::string> targets;
    if (proxy.on && !proxy.address.empty()) {
        targets.push_back(proxy.address);
    }
    for (const std::string& favourite : favourites) {
        if (!favourite.empty() && std::find(targets.begin(), targets.end(), favourite) == targets.end()) {
            targets.push_back(favourite);
        }
    }
    return targets;
}

std::vector<FailoverCandidate> FailoverCandidates(const std::vector<std::string>& favourites,
                                                  const std::function<bool(const std::string&)>& liveOf,
                                                  const std::vector<HistorySummary>& summaries,
                                                  const std::string& exclude) {
    std::vector<FailoverCandidate> candidates;
    for (const std::string& favourite : favourites) {
        if (favourite.empty() || favourite == exclude) {
            continue;
        }
        FailoverCandidate candidate{favourite, liveOf(favourite), 0.0, std::nullopt};
        const std::string group = HistoryGroupOf(HistoryAddressOf(favourite));
        const auto found = std::find_if(summaries.begin(), summaries.end(), [&group](const HistorySummary& summary) {
            return HistoryGroupOf(summary.address) == group;
        });
        if (found != summaries.end()) {
            candidate.uptime = found->uptime;
            candidate.medianMs = found->medianMs;
        }
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

std::optional<std::string> PickFailover(const std::vector<FailoverCandidate>& candidates) {
    const FailoverCandidate* best = nullptr;
    auto better = [](const FailoverCandidate& a, const FailoverCandidate& b) {
        if (a.uptime != b.uptime) {
            return a.uptime > b.uptime;
        }
        if (a.medianMs.has_value() != b.medianMs.has_value()) {
            return a.medianMs.has_value();
        }
        return a.medianMs.has_value() && *a.medianMs < *b.medianMs;
    };
    // Strictly better only: of equals, the first in favourite order stays.
    for (const FailoverCandidate& candidate : candidates) {
        if (candidate.live && (best == nullptr || better(candidate, *best))) {
            best = &candidate;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    return best->address;
}

FailoverStep FailoverWatch::Observe(const DesktopProxy& proxy, bool live, bool failoverOn,
                                    const std::function<std::optional<std::string>()>& pick) {
    if (!proxy.on || proxy.address.empty()) {
        m_address.clear();
        m_deadRounds = 0;
        m_toldNoneLive = false;
        return {};
    }
    if (proxy.address != m_address) {
        m_address = proxy.address;
        m_deadRounds = 0;
        m_toldNoneLive = false;
    }
    if (live) {
        m_deadRounds = 0;
        m_toldNoneLive = false;
        return {};
    }
    ++m_deadRounds;
    if (m_deadRounds < kFailoverDeadRounds || !failoverOn) {
        return {};
    }
    if (std::optional<std::string> to = pick()) {
        m_deadRounds = 0;
        m_toldNoneLive = false;
        return {FailoverAction::Switch, proxy.address, std::move(*to)};
    }
    if (m_toldNoneLive) {
        return {};
    }
    m_toldNoneLive = true;
    return {FailoverAction::NoneLive, proxy.address, {}};
}

std::string FailoverSwitchText(const std::string& from, const std::string& to) {
    return "ﾌﾟﾛｷｼ " + AddressWithoutPassword(from) + " が応答しないため、お気に入りの " + AddressWithoutPassword(to) +
           " に切り替えました";
}

std::string FailoverNoneLiveText(const std::string& from) {
    return "ﾌﾟﾛｷｼ " + AddressWithoutPassword(from) +
           " が応答しませんが、お気に入りに使えるﾌﾟﾛｷｼがありません\nﾌﾟﾛｷｼの設定は変更していません";
}

} // namespace zandel
