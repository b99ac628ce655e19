#include "core/schedule/RecheckScheduler.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "core/settings/AppSettings.h"
#include "core/settings/SettingsTable.h"
#include "core/util/MessageService.h"
#include "core/check/CheckEngine.h"
#include "core/check/TimeoutTimer.h"
#include "core/list/ProxyRow.h"
#include "core/list/RowStore.h"

namespace zandel {

namespace {

// Transcript lines of the round itself, in the style of the checks' own.
std::string RoundBeginLine(std::size_t count) {
    return "RECHECK>自動再チェック開始(" + std::to_string(count) + "件)\r\n";
}
constexpr const char* kRoundEndLine = "RECHECK>自動再チェック終了\r\n\r\n";

std::string NoticeLine(const std::string& text) {
    std::string line = "FAILOVER>" + text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line + "\r\n";
}

} // namespace

// One round: a copy of the settings, rows of its own, and an engine whose windows are a buffer. What the round's
// threads write waits in the buffer for Tick, so that no call of theirs ever waits for the thread that ticks.
struct RecheckScheduler::Round final : public ICheckHost, public IMessageService, public ICheckRecorder {
    Round(const AppSettings& settings, ICheckRecorder* history) : settings(settings), history(history) {}
    ~Round() override { StopAndJoin(); }
    Round(const Round&) = delete;
    Round& operator=(const Round&) = delete;

    void StopAndJoin() {
        if (engine) {
            engine->StopCheck();
            // A job in its connect or exchange ends at its cancel; one in a name lookup ends with the lookup.
            while (engine->HasRunThreads()) {
                engine->Probe().Cancel();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            engine->JoinRunThreads();
        }
    }

    // ICheckHost: the round has no caption, check bar or proxy bar of its own.
    void AppendLog(const std::string& text) override {
        std::lock_guard lock(mutex);
        log += text;
    }
    std::string GetTitle() override { return {}; }
    void SetTitle(const std::string& /*title*/) override {}
    void SetStartStop(bool /*running*/) override {}
    void SetLabelEditing(bool /*enabled*/) override {}
    void StartCheckIndicator() override {}
    void StopCheckIndicator() override {}
    std::string GetProxyBarAddress() override { return {}; }

    // IMessageService: a box every few minutes from the background would stand in the user's way; what the run
    // would have shown goes into the transcript instead.
    MbResult Show(const std::string& text, MbButtons /*buttons*/, MbIcon /*icon*/) override {
        AppendLog("NOTICE>" + text + "\r\n");
        return MbResult::Ok;
    }

    // ICheckRecorder
    void Recorded(int row, const CheckRecord& record) override {
        {
            std::lock_guard lock(mutex);
            if (row >= 0 && row < static_cast<int>(live.size())) {
                live[static_cast<std::size_t>(row)] = IsGoodResult(record.result);
            }
        }
        if (history != nullptr) {
            history->Recorded(row, record);
        }
    }
    void RunEnded() override {
        if (history != nullptr) {
            history->RunEnded();
        }
    }

    std::string TakeLog() {
        std::lock_guard lock(mutex);
        return std::exchange(log, std::string());
    }
    bool LiveOf(const std::string& address) {
        std::lock_guard lock(mutex);
        const auto found = std::find(targets.begin(), targets.end(), address);
        return found != targets.end() && live[static_cast<std::size_t>(found - targets.begin())];
    }

    AppSettings settings;
    ICheckRecorder* history;
    DesktopProxy proxy;
    std::vector<std::string> targets;
    std::vector<std::string> favourites;
    std::mutex mutex;
    std::string log;
    std::vector<bool> live; // by row; a row the engine passed over stays dead
    MemoryRowStore rows;
    ThreadTimeoutTimer timer;
    std::unique_ptr<CheckEngine> engine; // last: gone before what its threads use
};

RecheckScheduler::RecheckScheduler(IRecheckHost& host, ICheckRecorder* history, SummarySource summaries, Clock clock)
    : m_host(host), m_history(history), m_summaries(std::move(summaries)), m_clock(std::move(clock)) {
    if (!m_clock) {
        m_clock = [] { return std::chrono::steady_clock::now(); };
    }
}

RecheckScheduler::~RecheckScheduler() = default;

void RecheckScheduler::SetTunnelTrust(std::shared_ptr<const TunnelTrust> trust) {
    m_trust = std::move(trust);
}

bool RecheckScheduler::RoundRunning() const {
    return m_round != nullptr;
}

void RecheckScheduler::WaitForRound() {
    if (m_round && m_round->engine) {
        m_round->engine->JoinRunThreads();
    }
}

void RecheckScheduler::Tick(const AppSettings& settings) {
    const auto now = m_clock();
    const IntBounds bounds = BoundsOf(&AppSettings::AutoRecheckMinutes);
    const int minutes = std::clamp(settings.AutoRecheckMinutes, bounds.lowest, bounds.highest);
    if (!settings.AutoRecheck) {
        if (m_round) {
            StopRound();
        }
        m_on = false;
        return;
    }
    if (!m_on || minutes != m_minutes) {
        // Switched on, or a new interval: the first round one interval from now.
        m_on = true;
        m_minutes = minutes;
        const std::optional<int> seconds = RecheckSecondsOverride();
        m_due = now + (seconds ? std::chrono::seconds(*seconds) : std::chrono::minutes(minutes));
    }
    if (m_round) {
        // The round's transcript goes out whole once it is over, so that it does not cut into the lines of a
        // list run going on at the same time.
        if (m_round->engine && m_round->engine->HasRunThreads()) {
            return;
        }
        FinishRound(settings.Failover);
    }
    if (now >= m_due) {
        const std::optional<int> seconds = RecheckSecondsOverride();
        const auto interval = seconds ? std::chrono::seconds(*seconds) : std::chrono::minutes(m_minutes);
        // A round that overran its interval is followed by the next at once, and the one after that a whole
        // interval later: neither a burst of the missed ones nor a second round straight behind this one.
        m_due += interval;
        if (m_due <= now) {
            m_due = now + interval;
        }
        m_host.RoundDue();
        BeginRound(settings);
    }
}

void RecheckScheduler::BeginRound(const AppSettings& settings) {
    auto round = std::make_unique<Round>(settings, m_history);
    round->proxy = m_host.CurrentProxy();
    round->favourites = ListEntries(settings, SettingsList::Favourites);
    round->targets = RecheckTargets(round->proxy, round->favourites);
    if (round->targets.empty()) {
        return;
    }
    round->live.assign(round->targets.size(), false);
    for (int row = 0; row < static_cast<int>(round->targets.size()); ++row) {
        round->rows.InsertRow(row, round->targets[static_cast<std::size_t>(row)], StatusUnchecked, row);
        round->rows.SetCellText(row, 1, kUncheckedResult);
        round->rows.SetCellText(row, 2, kUncheckedTime);
        round->rows.SetCellText(row, 3, kUncheckedDate);
        round->rows.SetRowSelected(row, true);
    }
    round->engine = std::make_unique<CheckEngine>(round->settings, round->rows, *round, round->timer, *round);
    round->engine->Initialize();
    round->engine->SetRecorder(round.get());
    if (m_trust) {
        round->engine->SetTunnelTrust(m_trust);
    }
    m_host.AppendLog(RoundBeginLine(round->targets.size()));
    m_round = std::move(round);
    if (!m_round->engine->StartCheck()) {
        // The settings or the system refused the run; it has said why in the transcript.
        PassLogOn();
        m_host.AppendLog(kRoundEndLine);
        m_round.reset();
    }
}

void RecheckScheduler::FinishRound(bool failoverOn) {
    std::unique_ptr<Round> round = std::move(m_round);
    round->engine->JoinRunThreads();
    m_host.AppendLog(round->TakeLog());
    m_host.AppendLog(kRoundEndLine);
    ++m_roundsFinished;
    m_host.RoundFinished(round->rows);

    const bool live = round->proxy.on && round->LiveOf(round->proxy.address);
    const FailoverStep step = m_watch.Observe(round->proxy, live, failoverOn, [&]() -> std::optional<std::string> {
        const std::vector<HistorySummary> summaries = m_summaries ? m_summaries() : std::vector<HistorySummary>();
        return PickFailover(FailoverCandidates(
            round->favourites, [&](const std::string& address) { return round->LiveOf(address); }, summaries,
            round->proxy.address));
    });
    if (step.action == FailoverAction::None) {
        return;
    }
    // The user may have changed the proxy while the round ran: their choice stands.
    const DesktopProxy now = m_host.CurrentProxy();
    if (!now.on || now.address != round->proxy.address) {
        return;
    }
    if (step.action == FailoverAction::NoneLive) {
        const std::string text = FailoverNoneLiveText(step.from);
        m_host.AppendLog(NoticeLine(text));
        m_host.Notify(text);
        return;
    }
    if (m_host.SwitchProxy(step.to)) {
        const std::string text = FailoverSwitchText(step.from, step.to);
        m_host.AppendLog(NoticeLine(text));
        m_host.Notify(text);
    }
}

void RecheckScheduler::PassLogOn() {
    if (m_round) {
        if (std::string text = m_round->TakeLog(); !text.empty()) {
            m_host.AppendLog(text);
        }
    }
}

// Switched off while a round ran: the round is stopped, and what it wrote until then closes as a round does.
void RecheckScheduler::StopRound() {
    const std::unique_ptr<Round> round = std::move(m_round);
    round->StopAndJoin();
    m_host.AppendLog(round->TakeLog());
    m_host.AppendLog(kRoundEndLine);
}

std::optional<int> RecheckSecondsOverride() {
    const char* text = std::getenv("ZANDEL_RECHECK_SECONDS");
    if (text == nullptr) {
        return std::nullopt;
    }
    int seconds = 0;
    const char* end = text + std::strlen(text);
    const auto [next, error] = std::from_chars(text, end, seconds);
    if (error != std::errc() || next != end || seconds <= 0) {
        return std::nullopt;
    }
    return seconds;
}

} // namespace zandel
