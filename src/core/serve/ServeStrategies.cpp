// The strategies a serve chooses its upstream by. Each looks only at the candidates it is given: which upstreams
// fit and which are healthy is ServePool's business, stickiness too.

#include <algorithm>
#include <array>

#include "core/serve/ServePool.h"

namespace zandel {

namespace {

using Strategy = std::size_t (*)(const std::vector<UpstreamRef>& upstreams, const std::vector<std::size_t>& candidates,
                                 StrategyState state);

std::size_t Fastest(const std::vector<UpstreamRef>& upstreams, const std::vector<std::size_t>& candidates,
                    StrategyState) {
    return *std::min_element(candidates.begin(), candidates.end(), [&upstreams](std::size_t a, std::size_t b) {
        return upstreams[a]->responseMs < upstreams[b]->responseMs;
    });
}

// The pool's order, going on after the upstream last chosen: a renewal or an upstream passed over does not send
// every connection to the same one.
std::size_t RoundRobin(const std::vector<UpstreamRef>&, const std::vector<std::size_t>& candidates,
                       StrategyState state) {
    const auto next = std::find_if(candidates.begin(), candidates.end(),
                                   [&state](std::size_t index) { return index >= state.cursor; });
    const std::size_t chosen = next == candidates.end() ? candidates.front() : *next;
    state.cursor = chosen + 1;
    return chosen;
}

std::size_t Random(const std::vector<UpstreamRef>&, const std::vector<std::size_t>& candidates, StrategyState state) {
    std::uniform_int_distribution<std::size_t> among(0, candidates.size() - 1);
    return candidates[among(state.random)];
}

// The chance of each inverse to its response time: a proxy twice as fast carries twice the connections, and a
// slow one still some, so that its health keeps being seen. Times under 10 ms count as 10 ms.
std::size_t Weighted(const std::vector<UpstreamRef>& upstreams, const std::vector<std::size_t>& candidates,
                     StrategyState state) {
    std::vector<double> weights;
    weights.reserve(candidates.size());
    for (const std::size_t index : candidates) {
        weights.push_back(1.0 / std::max(upstreams[index]->responseMs, 10));
    }
    std::discrete_distribution<std::size_t> among(weights.begin(), weights.end());
    return candidates[among(state.random)];
}

// In the order of ServeStrategy's enumerators.
constexpr std::array<Strategy, 4> kStrategies{Fastest, RoundRobin, Random, Weighted};

} // namespace

std::size_t PickByStrategy(ServeStrategy strategy, const std::vector<UpstreamRef>& upstreams,
                           const std::vector<std::size_t>& candidates, StrategyState state) {
    return kStrategies[static_cast<std::size_t>(strategy)](upstreams, candidates, state);
}

} // namespace zandel
