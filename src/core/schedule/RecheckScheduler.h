#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/history/HistoryStore.h"
#include "core/schedule/Failover.h"

namespace zandel {

struct AppSettings;
class ICheckRecorder;
class IRowStore;
class TunnelTrust;

// What the re-checks need of the program, called on the thread that calls Tick.
class IRecheckHost {
public:
    virtual ~IRecheckHost() = default;
    // Transcript lines, as a check run writes them.
    virtual void AppendLog(const std::string& text) = 0;
    virtual DesktopProxy CurrentProxy() = 0;
    // Makes `address` the desktop's proxy the way the user's own change does; false when the desktop refused.
    virtual bool SwitchProxy(const std::string& address) = 0;
    // A notice that reaches the user without a window in front (the tray's message).
    virtual void Notify(const std::string& text) = 0;
    // Each round as it comes due, before its checks begin and whether or not it has any: what else the program
    // renews on the same schedule starts here.
    virtual void RoundDue() {}
    // Each round that ran to its end, with its rows as the round graded them.
    virtual void RoundFinished(const IRowStore& /*rows*/) {}
};

// Re-checks the desktop's proxy and the favourites every AutoRecheckMinutes while AutoRecheck is on, with an
// engine of its own on threads of its own: the list, its rows and its selection are never touched. Each check
// goes to the history; with Failover on, a desktop proxy found dead in two rounds in a row is replaced by the
// best live favourite. Tick drives it from one thread (the window's timer, or a test with its own clock): it
// finishes a round that has ended and begins one that is due. The first round
// comes one interval after the re-checks are switched on, so that starting the program costs nothing.
class RecheckScheduler final {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using SummarySource = std::function<std::vector<HistorySummary>()>;

    // `history` hears every check (may be null); `summaries` gives the history's word for failover (may be null).
    RecheckScheduler(IRecheckHost& host, ICheckRecorder* history, SummarySource summaries, Clock clock = nullptr);
    ~RecheckScheduler(); // stops a round on its way and waits for it
    RecheckScheduler(const RecheckScheduler&) = delete;
    RecheckScheduler& operator=(const RecheckScheduler&) = delete;

    // What the HTTPS step trusts, as the list's run does.
    void SetTunnelTrust(std::shared_ptr<const TunnelTrust> trust);
    // The settings as they are now: a round takes a copy of them as it begins. A round's transcript is passed on
    // in one piece when the round is over.
    void Tick(const AppSettings& settings);
    bool RoundRunning() const;
    // Blocks until the round on its way (if any) has ended; the next Tick finishes it.
    void WaitForRound();
    // Rounds begun and finished so far.
    int RoundsFinished() const { return m_roundsFinished; }

private:
    struct Round;

    void BeginRound(const AppSettings& settings);
    void FinishRound(bool failoverOn);
    void PassLogOn();
    void StopRound();

    IRecheckHost& m_host;
    ICheckRecorder* m_history;
    SummarySource m_summaries;
    Clock m_clock;
    std::shared_ptr<const TunnelTrust> m_trust;
    bool m_on = false;
    int m_minutes = 0;
    std::chrono::steady_clock::time_point m_due{};
    FailoverWatch m_watch;
    std::unique_ptr<Round> m_round;
    int m_roundsFinished = 0;
};

// Seconds between rounds in place of the settings' minutes, from ZANDEL_RECHECK_SECONDS, for trying the
// re-checks by hand; none when unset or not a positive number.
std::optional<int> RecheckSecondsOverride();

} // namespace zandel
