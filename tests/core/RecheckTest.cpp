#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/settings/AppSettings.h"
#include "core/check/CheckEngine.h"
#include "core/proxy/InternetSettings.h"
#include "core/proxy/ProxyBar.h"
#include "core/proxy/ProxyBarCommands.h"
#include "core/schedule/Failover.h"
#include "core/schedule/ListRefetch.h"
#include "core/schedule/RecheckScheduler.h"
#include "support/EchoJudge.h"
#include "support/FakeProxy.h"
#include "support/RecordingServices.h"

namespace zandel {
namespace {

using test::FakeProxy;
namespace fake = test::fake;
using Clock = std::chrono::steady_clock;

TEST(FailoverTest, PicksTheLiveFavouriteByUptimeThenMedianThenOrder) {
    struct Case {
        const char* name;
        std::vector<FailoverCandidate> candidates;
        std::optional<std::string> picked;
    };
    // clang-format off
    const Case cases[] = {
        {"none live", {{"a:1", false, 1.0, 10}, {"b:2", false, 0.9, 5}}, std::nullopt},
        {"a dead favourite never wins on its history", {{"a:1", false, 1.0, 10}, {"b:2", true, 0.1, 900}}, "b:2"},
        {"uptime before speed", {{"a:1", true, 0.5, 10}, {"b:2", true, 0.9, 900}}, "b:2"},
        {"speed breaks an uptime tie", {{"a:1", true, 0.9, 300}, {"b:2", true, 0.9, 100}}, "b:2"},
        {"a known median before none", {{"a:1", true, 0.9, std::nullopt}, {"b:2", true, 0.9, 5000}}, "b:2"},
        {"favourite order breaks a full tie", {{"a:1", true, 0.9, 100}, {"b:2", true, 0.9, 100}}, "a:1"},
        {"no history at all: the first live", {{"a:1", false, 0.0, std::nullopt}, {"b:2", true, 0.0, std::nullopt}, {"c:3", true, 0.0, std::nullopt}}, "b:2"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PickFailover(c.candidates), c.picked);
    }
}

TEST(FailoverTest, CandidatesFindTheirHistoryWithoutPasswordAndLeaveTheDeadProxyOut) {
    const std::vector<std::string> favourites = {"dead:1", "user:secret@a:2", "b:3"};
    const std::vector<HistorySummary> summaries = {{"b:3", 10, 5, 0.5, 200}, {"user@a:2", 4, 4, 1.0, 300}};
    const auto candidates = FailoverCandidates(
        favourites, [](const std::string&) { return true; }, summaries, "dead:1");
    ASSERT_EQ(candidates.size(), 2U);
    EXPECT_EQ(candidates[0].address, "user:secret@a:2") << "the desktop gets the login";
    EXPECT_EQ(candidates[0].uptime, 1.0);
    EXPECT_EQ(PickFailover(candidates), "user:secret@a:2");
    EXPECT_EQ(FailoverSwitchText("dead:1", "user:secret@a:2").find("secret"), std::string::npos);
}

TEST(FailoverTest, WatchSwitchesOnTheSecondDeadRoundOfTheSameProxyOnly) {
    struct Round {
        DesktopProxy proxy;
        bool live;
        bool failoverOn;
        bool favouriteLive;
        FailoverAction expected;
    };
    struct Case {
        const char* name;
        std::vector<Round> rounds;
    };
    const DesktopProxy p{true, "p:1"};
    const DesktopProxy q{true, "q:2"};
    const DesktopProxy off{false, "p:1"};
    const DesktopProxy none{true, ""};
    using A = FailoverAction;
    // clang-format off
    const Case cases[] = {
        {"dead once: nothing", {{p, false, true, true, A::None}}},
        {"dead twice: switch", {{p, false, true, true, A::None}, {p, false, true, true, A::Switch}}},
        {"a live round in between starts over", {{p, false, true, true, A::None}, {p, true, true, true, A::None}, {p, false, true, true, A::None}}},
        {"another proxy in between starts over", {{p, false, true, true, A::None}, {q, false, true, true, A::None}}},
        {"proxy off: nothing", {{off, false, true, true, A::None}, {off, false, true, true, A::None}}},
        {"no address: nothing", {{none, false, true, true, A::None}, {none, false, true, true, A::None}}},
        {"failover off: nothing", {{p, false, false, true, A::None}, {p, false, false, true, A::None}}},
        {"none live: told once, a favourite back later still takes over", {{p, false, true, false, A::None}, {p, false, true, false, A::NoneLive}, {p, false, true, false, A::None}, {p, false, true, true, A::Switch}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FailoverWatch watch;
        for (const Round& round : c.rounds) {
            const FailoverStep step = watch.Observe(round.proxy, round.live, round.failoverOn, [&] {
                return round.favouriteLive ? std::optional<std::string>("f:9") : std::nullopt;
            });
            EXPECT_EQ(step.action, round.expected);
            if (step.action == A::Switch) {
                EXPECT_EQ(step.from, round.proxy.address);
                EXPECT_EQ(step.to, "f:9");
            }
        }
    }
}

// The proxy bar over the recording desktop backend, and the program around the re-checks.
class RecordingRecheckHost final : public IRecheckHost, public IProxyBar {
public:
    void AppendLog(const std::string& text) override { log += text; }
    DesktopProxy CurrentProxy() override { return {use != 0, address}; }
    bool SwitchProxy(const std::string& to) override { return ChangeProxyTo(*this, to); }
    void Notify(const std::string& text) override { notices.push_back(text); }
    void RoundDue() override { ++roundsDue; }

    int GetUseProxy() const override { return use; }
    void SetUseProxy(int value) override { use = value; }
    std::string GetAddr() const override { return address; }
    bool SetAddr(const std::string& value) override {
        address = value;
        return true;
    }
    void EnableAddrEdit(bool /*enabled*/) override {}
    bool ApplyProxy(int value, const std::string& to) override { return zandel::ApplyProxy(internet, value, to); }

    RecordingInternetSettings internet;
    int use = 1;
    std::string address;
    std::string log;
    std::vector<std::string> notices;
    int roundsDue = 0;
};

class CountingRecorder final : public ICheckRecorder {
public:
    void Recorded(int /*row*/, const CheckRecord& record) override { addresses.push_back(record.address); }
    std::vector<std::string> addresses;
};

class RecheckSchedulerTest : public ::testing::Test {
protected:
    RecheckSchedulerTest() {
        m_settings.WebPage = m_judge.Url();
        m_settings.TimeOut = 5;
        m_settings.AutoRecheck = true;
        m_settings.AutoRecheckMinutes = 10;
        m_settings.Failover = true;
        m_scheduler.Tick(m_settings); // switched on: the first round is one interval away
    }

    void SetFavourites(const std::vector<std::string>& favourites) {
        for (std::size_t i = 0; i < favourites.size(); ++i) {
            SetListEntry(m_settings, SettingsList::Favourites, favourites[i], static_cast<int>(i));
        }
    }

    void RunRound() {
        m_now += std::chrono::minutes(m_settings.AutoRecheckMinutes);
        m_scheduler.Tick(m_settings);
        ASSERT_TRUE(m_scheduler.RoundRunning());
        m_scheduler.WaitForRound();
        m_scheduler.Tick(m_settings);
        ASSERT_FALSE(m_scheduler.RoundRunning());
    }

    test::EchoJudge m_judge;
    FakeProxy m_dead{fake::Refuse()};
    FakeProxy m_live{fake::AnswerAndClose("HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n")};
    FakeProxy m_faster{fake::AnswerAndClose("HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n")};
    AppSettings m_settings;
    RecordingRecheckHost m_host;
    CountingRecorder m_history;
    std::vector<HistorySummary> m_summaries;
    Clock::time_point m_now = Clock::now();
    RecheckScheduler m_scheduler{m_host, &m_history, [this] { return m_summaries; }, [this] { return m_now; }};
};

TEST_F(RecheckSchedulerTest, NoRoundBeforeItsTimeAndNoneWhileOff) {
    m_host.address = m_live.Address();
    m_now += std::chrono::minutes(9);
    m_scheduler.Tick(m_settings);
    EXPECT_FALSE(m_scheduler.RoundRunning());

    m_settings.AutoRecheck = false;
    m_now += std::chrono::minutes(60);
    m_scheduler.Tick(m_settings);
    EXPECT_FALSE(m_scheduler.RoundRunning());
    EXPECT_TRUE(m_host.log.empty());
    EXPECT_EQ(m_host.roundsDue, 0);
}

// The list's re-fetch hangs on the round coming due, so a round with no proxy and no favourites still counts.
TEST_F(RecheckSchedulerTest, EveryRoundComesDueOnceEvenWithNothingToCheck) {
    m_host.use = 0;
    for (const auto& [minutes, due] : {std::pair{10, 1}, {5, 1}, {5, 2}, {25, 3}, {1, 3}}) {
        m_now += std::chrono::minutes(minutes);
        m_scheduler.Tick(m_settings);
        EXPECT_FALSE(m_scheduler.RoundRunning());
        EXPECT_EQ(m_host.roundsDue, due) << "after " << minutes << " more minutes";
    }
    EXPECT_TRUE(m_host.log.empty());
}

TEST(ListRefetchTest, OnlyAListFromAUrlThatNothingElseHoldsIsFetchedAgain) {
    struct Case {
        const char* name;
        ListRefetchState state;
        bool refetch;
    };
    const Case cases[] = {
        {"all clear", {true, true, false, false, false}, true},
        {"option off", {false, true, false, false, false}, false},
        {"list from a file", {true, false, false, false, false}, false},
        {"run going", {true, true, true, false, false}, false},
        {"edit open", {true, true, false, true, false}, false},
        {"fetch on its way", {true, true, false, false, true}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShouldRefetchList(c.state), c.refetch) << c.name;
    }
}

TEST(ListRefetchTest, AFailureIsOneTranscriptLine) {
    const std::string line = RefetchFailedLine("http://127.0.0.1:1/a.txt\r\nを取得できません。\n(404)");
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ(line.rfind("RECHECK>", 0), 0U);
    EXPECT_NE(line.find("(404)"), std::string::npos);
    EXPECT_EQ(RefetchFailedLine(""), "RECHECK>ﾘｽﾄの再取得に失敗しました\r\n");
}

TEST_F(RecheckSchedulerTest, FailoverFollowsTheRoundsThroughTheProxyBar) {
    struct Case {
        const char* name;
        bool proxyOn;
        bool liveFavourites;
        int rounds;
        bool switched;
        bool noneLiveNotice;
    };
    const Case cases[] = {
        {"dead once: no switch", true, true, 1, false, false},
        {"dead twice: the best live favourite", true, true, 2, true, false},
        {"dead twice, none live: told, nothing changed", true, false, 2, false, true},
        {"proxy off: nothing", false, true, 2, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingRecheckHost host;
        host.use = c.proxyOn ? 1 : 0;
        host.address = m_dead.Address();
        AppSettings settings;
        settings.WebPage = m_judge.Url();
        settings.TimeOut = 5;
        settings.AutoRecheck = true;
        settings.AutoRecheckMinutes = 5;
        settings.Failover = true;
        const std::vector<std::string> favourites =
            c.liveFavourites ? std::vector<std::string>{m_dead.Address(), m_live.Address(), m_faster.Address()}
                             : std::vector<std::string>{m_dead.Address()};
        for (std::size_t i = 0; i < favourites.size(); ++i) {
            SetListEntry(settings, SettingsList::Favourites, favourites[i], static_cast<int>(i));
        }
        // The history speaks for the later favourite.
        const std::vector<HistorySummary> summaries = {{m_faster.Address(), 4, 4, 1.0, 50},
                                                       {m_live.Address(), 4, 3, 0.75, 20}};
        CountingRecorder history;
        Clock::time_point now = Clock::now();
        RecheckScheduler scheduler(
            host, &history, [&] { return summaries; }, [&] { return now; });
        scheduler.Tick(settings);
        for (int round = 0; round < c.rounds; ++round) {
            now += std::chrono::minutes(5);
            scheduler.Tick(settings);
            ASSERT_TRUE(scheduler.RoundRunning());
            scheduler.WaitForRound();
            scheduler.Tick(settings);
        }
        EXPECT_EQ(scheduler.RoundsFinished(), c.rounds);
        EXPECT_EQ(history.addresses.size(), favourites.size() * static_cast<std::size_t>(c.rounds))
            << "each target once a round, the desktop's proxy among the favourites not twice";
        if (c.switched) {
            ASSERT_FALSE(host.internet.calls.empty());
            EXPECT_EQ(host.internet.calls.back().list.proxyServer, m_faster.Address());
            EXPECT_EQ(host.address, m_faster.Address()) << "the bar shows the new proxy";
            ASSERT_EQ(host.notices.size(), 1U);
            EXPECT_NE(host.notices[0].find(m_dead.Address()), std::string::npos);
            EXPECT_NE(host.notices[0].find(m_faster.Address()), std::string::npos);
        } else {
            EXPECT_TRUE(host.internet.calls.empty());
            EXPECT_EQ(host.address, m_dead.Address());
            EXPECT_EQ(host.notices.size(), c.noneLiveNotice ? 1U : 0U);
        }
        EXPECT_NE(host.log.find("●---" + m_dead.Address() + "---●"), std::string::npos)
            << "the round's transcript reaches the log";
    }
}

TEST_F(RecheckSchedulerTest, SwitchingOffStopsTheRoundAndRecordsNothingOfIt) {
    FakeProxy silent(fake::NeverAnswer());
    m_host.address = silent.Address();
    m_now += std::chrono::minutes(m_settings.AutoRecheckMinutes);
    m_scheduler.Tick(m_settings);
    ASSERT_TRUE(m_scheduler.RoundRunning());
    m_settings.AutoRecheck = false;
    m_scheduler.Tick(m_settings);
    EXPECT_FALSE(m_scheduler.RoundRunning());
    EXPECT_TRUE(m_history.addresses.empty()) << "a stopped check says nothing of the proxy";
    EXPECT_NE(m_host.log.find("RECHECK>自動再チェック終了"), std::string::npos);
}

TEST_F(RecheckSchedulerTest, AProxyTheUserChangedDuringTheRoundIsLeftAlone) {
    m_host.address = m_dead.Address();
    SetFavourites({m_live.Address()});
    RunRound();
    m_now += std::chrono::minutes(m_settings.AutoRecheckMinutes);
    m_scheduler.Tick(m_settings);
    ASSERT_TRUE(m_scheduler.RoundRunning());
    m_host.address = "127.0.0.1:9"; // the user's own change while the round ran
    m_scheduler.WaitForRound();
    m_scheduler.Tick(m_settings);
    EXPECT_TRUE(m_host.internet.calls.empty());
    EXPECT_TRUE(m_host.notices.empty());
}

TEST_F(RecheckSchedulerTest, ARoundThatCannotStartSaysWhyInTheLogWithoutABox) {
    m_host.address = m_live.Address();
    m_settings.WebPage.clear();
    m_now += std::chrono::minutes(m_settings.AutoRecheckMinutes);
    m_scheduler.Tick(m_settings);
    EXPECT_FALSE(m_scheduler.RoundRunning());
    EXPECT_NE(m_host.log.find("NOTICE>"), std::string::npos);
    EXPECT_TRUE(m_history.addresses.empty());
}

} // namespace
} // namespace zandel
