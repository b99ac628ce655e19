#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/history/HistoryStore.h"
#include "core/settings/SettingRanges.h"

namespace zandel {

// One dead round may be a hiccup of the network; two in a row are taken as the proxy's end.
inline constexpr int kFailoverDeadRounds = 2;

// The desktop's proxy as the proxy bar holds it.
struct DesktopProxy {
    bool on = false;
    std::string address;
};

// What a round checks: the desktop's proxy while one is on, then every favourite not already among them.
std::vector<std::string> RecheckTargets(const DesktopProxy& proxy, const std::vector<std::string>& favourites);

// A favourite as failover weighs it.
struct FailoverCandidate {
    std::string address;
    bool live = false; // answered in this round
    double uptime = 0.0;
    std::optional<int> medianMs;
};

// Candidates from the favourites in their order (`exclude` left out), with what the history says of each.
std::vector<FailoverCandidate> FailoverCandidates(const std::vector<std::string>& favourites,
                                                  const std::function<bool(const std::string&)>& liveOf,
                                                  const std::vector<HistorySummary>& summaries,
                                                  const std::string& exclude);
// The best live candidate: highest uptime, then lowest median time (one without a median after any with one),
// then the first in favourite order. None when none is live.
std::optional<std::string> PickFailover(const std::vector<FailoverCandidate>& candidates);

enum class FailoverAction { None, Switch, NoneLive };

struct FailoverStep {
    FailoverAction action = FailoverAction::None;
    std::string from;
    std::string to;
};

// Follows the desktop's proxy over the rounds and says when to switch away from it. The count of dead rounds
// belongs to one address: a proxy the user changed starts again from none. Once no favourite could take over,
// the user is told once for that run of dead rounds, but a favourite that comes back later still takes over.
class FailoverWatch final {
public:
    // One round's finding. `pick` is asked only when a switch is due, for the favourite to switch to.
    FailoverStep Observe(const DesktopProxy& proxy, bool live, bool failoverOn,
                         const std::function<std::optional<std::string>()>& pick);
    int DeadRounds() const { return m_deadRounds; }

private:
    std::string m_address;
    int m_deadRounds = 0;
    bool m_toldNoneLive = false;
};

// The tray notification and log text of a switch, and of a dead proxy with no favourite to take over.
std::string FailoverSwitchText(const std::string& from, const std::string& to);
std::string FailoverNoneLiveText(const std::string& from);

} // namespace zandel
