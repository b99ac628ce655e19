#include "core/check/CheckEngine.h"

#include <mutex>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/settings/AppSettings.h"
#include "core/util/Texts.h"
#include "core/list/RowStore.h"
#include "core/settings/HttpsTarget.h"
#include "core/CheckRunFixture.h"
#include "support/EchoJudge.h"
#include "support/FakeProxy.h"
#include "support/Loopback.h"
#include "support/RecordingCheckHost.h"
#include "support/RecordingMessageService.h"
#include "support/ThreadState.h"

namespace zandel {
namespace {

using test::FakeProxy;
namespace fake = test::fake;

const std::string kUsableA = "リクエストヘッダにプロキシ特有の環境変数を付加しないプロキシです\r\n"
                             "結果：使用可能なプロキシサーバです\r\n";
const std::string kStopped = "結果：プロキシチェックを強制終了しました\r\n";
const std::string kTimedOut = "結果：タイムアウトが起こりました\r\n";

std::string Frame(const std::string& address) {
    return "●---" + address + "---●\r\n";
}

using CheckRunTest = test::CheckRunFixture;

TEST_F(CheckRunTest, JudgesEverySelectedRowAndRestoresTheWindows) {
    FakeProxy anonymous(fake::ForwardToJudge({}));
    FakeProxy refusing(fake::Refuse());
    FakeProxy forbidden(fake::AnswerAndClose("HTTP/1.0 403 Forbidden\r\n\r\n"));
    AddRow(anonymous.Address() + "\tmy comment");
    AddRow("not an address");
    AddRow(refusing.Address());
    AddRow(forbidden.Address(), false);
    m_rows.SetCellText(0, kHttpsColumn, kHttpsMitm);

    RunToEnd();

    const ProxyRow first = m_rows.GetRow(0);
    EXPECT_EQ(first.cells[0], anonymous.Address()) << "the comment goes once the row is checked";
    EXPECT_EQ(first.cells[1], "Anonymous(A)");
    EXPECT_EQ(first.image, StatusAnonymous);
    EXPECT_NE(first.cells[2], kUncheckedTime);
    EXPECT_EQ(first.cells[kHttpsColumn], kHttpsMitm) << "a check without the HTTPS step keeps that cell";
    EXPECT_FALSE(m_rows.IsRowSelected(0));

    // An entry no form reads is not passed over in silence: "NG", and why, in the tip and the transcript.
    const ProxyRow unparsable = m_rows.GetRow(1);
    EXPECT_EQ(unparsable.cells[0], "not an address");
    EXPECT_EQ(unparsable.cells[1], "NG");

    const ProxyRow refused = m_rows.GetRow(2);
    EXPECT_EQ(refused.cells[1], "NG");
    EXPECT_EQ(refused.image, StatusNG);
    EXPECT_EQ(refused.cells[2], "--:---");
    EXPECT_EQ(m_rows.GetRow(3).cells[1], kUncheckedResult) << "rows not selected are not checked";

    EXPECT_EQ(m_host.Log(), Frame(anonymous.Address()) +
                                "START>プロキシチェック開始\r\nCONNECT>接続成功\r\nSEND>リクエスト送信成功\r\n"
                                "RECV>レスポンス受信中\r\nRECV>レスポンス受信終了\r\nEND>プロキシチェック終了\r\n" +
                                kUsableA + Frame(anonymous.Address()) + "\r\n" + Frame("not") +
                                "結果：ポート番号がありません\r\n" + Frame("not") + "\r\n" + Frame(refusing.Address()) +
                                "START>プロキシチェック開始\r\n"
                                "ERROR>プロキシチェック時にソケットエラーが発生したため終了\r\n"
                                "END>プロキシチェック終了\r\n"
                                "結果：サーバに接続できない、あるいはソケットのエラーと思われます\r\n" +
                                Frame(refusing.Address()) + "\r\n");

    EXPECT_EQ(m_host.Titles(),
              (std::vector<std::string>{"Zandel - " + anonymous.Address() + "\tmy commentﾁｪｯｸ中…",
                                        "Zandel - " + refusing.Address() + "ﾁｪｯｸ中…", "Zandel - list.txt"}));
    EXPECT_EQ(m_host.StartStopCaptions(), (std::vector<bool>{true, false}));
    EXPECT_FALSE(m_host.IndicatorOn());
    EXPECT_TRUE(m_host.LabelEditing());
    EXPECT_FALSE(m_engine.IsRunning());
    EXPECT_EQ(m_engine.RemainingCount(), 0);
    EXPECT_EQ(m_host.TimerPeriodMs(), 5000);
}

TEST_F(CheckRunTest, EntryWithALoginKeepsItInTheListAndNowhereElse) {
    FakeProxy refusingLogin(fake::AnswerAndClose("HTTP/1.0 407 Proxy Authentication Required\r\n\r\n"));
    FakeProxy refusing(fake::Refuse());
    const std::string withLogin = "user:Pa55%word@" + refusingLogin.Address();
    const std::string socks = "socks5://user:s3cr%21t@" + refusing.Address();
    AddRow(withLogin + " a comment");
    AddRow(socks);

    RunToEnd();

    EXPECT_EQ(m_rows.GetRow(0).cells[0], withLogin) << "the login stays, the comment goes";
    EXPECT_EQ(m_rows.GetRow(0).cells[1], "NG");
    EXPECT_EQ(m_rows.GetRow(1).cells[0], socks);
    EXPECT_NE(m_host.Log().find("結果：プロキシサーバがログインを拒否しました（HTTP/1.0 407 Proxy Authentication "
                                "Required）\r\n"),
              std::string::npos);
    EXPECT_EQ(m_host.Titles(), (std::vector<std::string>{"Zandel - user@" + refusingLogin.Address() + "ﾁｪｯｸ中…",
                                                         "Zandel - socks5://user@" + refusing.Address() + "ﾁｪｯｸ中…",
                                                         "Zandel - list.txt"}));
    for (const char* secret : {"Pa55", "s3cr"}) {
        EXPECT_EQ(m_host.Log().find(secret), std::string::npos);
    }
}

TEST_F(CheckRunTest, RunWithoutSelectionEndsAtOnceAndLogsNothing) {
    AddRow("127.0.0.1:1", false);
    RunToEnd();
    EXPECT_EQ(m_host.Log(), "");
    EXPECT_EQ(m_host.GetTitle(), "Zandel - list.txt");
    EXPECT_EQ(m_host.StartStopCaptions(), (std::vector<bool>{true, false}));
}

// What the history hears: every judged check with its reason, the address without its comment, and not a check
// the user stopped, which says nothing of the proxy.
TEST_F(CheckRunTest, RecorderHearsJudgedChecksButNotAUserStop) {
    struct Recorder final : ICheckRecorder {
        void Recorded(int row, const CheckRecord& record) override { heard.emplace_back(row, record); }
        std::vector<std::pair<int, CheckRecord>> heard;
    } recorder;
    m_engine.SetRecorder(&recorder);
    FakeProxy quick(fake::AnswerAndClose("HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n"));
    FakeProxy refusing(fake::Refuse());
    FakeProxy silent(fake::NeverAnswer());
    AddRow(quick.Address() + " a comment");
    AddRow(refusing.Address());
    AddRow(silent.Address());

    m_engine.StartCheck();
    WaitForWorkerWaiting(2);
    m_engine.StopCheck();
    ASSERT_TRUE(m_host.WaitForRunsEnded(1));
    m_engine.JoinRunThreads();

    ASSERT_EQ(recorder.heard.size(), 2U);
    const auto& [goodRow, good] = recorder.heard[0];
    EXPECT_EQ(goodRow, 0);
    EXPECT_EQ(good.address, quick.Address());
    EXPECT_EQ(good.result, "Anonymous(A)");
    EXPECT_TRUE(good.responseMs.has_value());
    EXPECT_EQ(good.reason, "結果：使用可能なプロキシサーバです");
    EXPECT_TRUE(ParseIsoUtc(good.checkedAt).has_value()) << good.checkedAt;
    const auto& [refusedRow, refused] = recorder.heard[1];
    EXPECT_EQ(refusedRow, 1);
    EXPECT_EQ(refused.result, "NG");
    EXPECT_FALSE(refused.responseMs.has_value());
    EXPECT_EQ(refused.reason, "結果：サーバに接続できない、あるいはソケットのエラーと思われます");
}

TEST_F(CheckRunTest, StopDuringTheThirdOfFiveRowsLeavesTheRestSelected) {
    FakeProxy quick(fake::AnswerAndClose("HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n"));
    FakeProxy silent(fake::NeverAnswer());
    AddRow(quick.Address());
    AddRow(quick.Address());
    AddRow(silent.Address());
    AddRow(quick.Address());
    AddRow(quick.Address());

    m_engine.StartCheck();
    WaitForWorkerWaiting(3);
    EXPECT_EQ(m_engine.RemainingCount(), 3);
    m_engine.StopCheck();
    ASSERT_TRUE(m_host.WaitForRunsEnded(1));
    m_engine.JoinRunThreads();

    for (int row : {0, 1}) {
        EXPECT_EQ(m_rows.GetCellText(row, 1), "Anonymous(A)");
        EXPECT_FALSE(m_rows.IsRowSelected(row));
    }
    EXPECT_EQ(m_rows.GetCellText(2, 1), "NG");
    EXPECT_EQ(m_rows.GetCellText(2, 2), "--:---");
    EXPECT_FALSE(m_rows.IsRowSelected(2));
    for (int row : {3, 4}) {
        EXPECT_EQ(m_rows.GetCellText(row, 1), kUncheckedResult);
        EXPECT_TRUE(m_rows.IsRowSelected(row));
    }
    const std::string log = m_host.Log();
    const std::string third = log.substr(log.rfind(Frame(silent.Address()) + "START>"));
    EXPECT_EQ(third, Frame(silent.Address()) +
                         "START>プロキシチェック開始\r\nCONNECT>接続成功\r\nSEND>リクエスト送信成功\r\n"
                         "STOP>プロキシチェックがユーザにより中断\r\nEND>プロキシチェック終了\r\n" +
                         kStopped + Frame(silent.Address()) + "\r\n");
}

TEST_F(CheckRunTest, SkipEndsOnlyTheCurrentRow) {
    FakeProxy silent(fake::NeverAnswer());
    FakeProxy quick(fake::AnswerAndClose("HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n"));
    AddRow(silent.Address());
    AddRow(quick.Address());

    m_engine.StartCheck();
    WaitForWorkerWaiting(1);
    EXPECT_EQ(m_engine.RemainingCount(), 2);
    m_engine.SkipCheck();
    ASSERT_TRUE(m_host.WaitForRunsEnded(1));
    m_engine.JoinRunThreads();

    EXPECT_EQ(m_rows.GetCellText(0, 1), "NG");
    EXPECT_NE(m_host.Log().find("STOP>プロキシチェックがユーザにより中断\r\n"), std::string::npos);
    EXPECT_EQ(m_rows.GetCellText(1, 1), "Anonymous(A)");
}

TEST_F(CheckRunTest, TimerEndsASilentProxyAsATimeOut) {
    m_settings.TimeOut = 1;
    FakeProxy silent(fake::NeverAnswer());
    FakeProxy keepsOpen(fake::KeepOpenAfterAnswer("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
    AddRow(silent.Address());
    AddRow(keepsOpen.Address());

    RunToEnd();

    for (int row : {0, 1}) {
        EXPECT_EQ(m_rows.GetCellText(row, 1), "NG") << row;
        EXPECT_EQ(m_rows.GetCellText(row, 2), "--:---") << row;
    }
    const std::string log = m_host.Log();
    EXPECT_EQ(log.substr(0, log.find(Frame(keepsOpen.Address()))),
              Frame(silent.Address()) +
                  "START>プロキシチェック開始\r\nCONNECT>接続成功\r\nSEND>リクエスト送信成功\r\n"
                  "ERROR>プロキシチェック時にタイムアウトが発生したため終了\r\nEND>プロキシチェック終了\r\n" +
                  kTimedOut + Frame(silent.Address()) + "\r\n");
    EXPECT_NE(log.rfind(kTimedOut), log.find(kTimedOut)) << "a kept-open answer also ends by the timer";
    EXPECT_FALSE(m_engine.TimeoutMark()) << "the mark is cleared once the row is written";
}

TEST_F(CheckRunTest, OnlyTheFirstThousandSelectedRowsAreChecked) {
    FakeProxy refusing(fake::Refuse());
    for (int i = 0; i < 1200; ++i) {
        AddRow(refusing.Address());
    }
    RunToEnd();
    EXPECT_EQ(m_rows.GetCellText(999, 1), "NG");
    EXPECT_FALSE(m_rows.IsRowSelected(999));
    EXPECT_EQ(m_rows.GetCellText(1000, 1), kUncheckedResult);
    EXPECT_TRUE(m_rows.IsRowSelected(1000));
}

TEST_F(CheckRunTest, SecondStartDuringARunDoesNothing) {
    FakeProxy silent(fake::NeverAnswer());
    AddRow(silent.Address());
    m_engine.StartCheck();
    WaitForWorkerWaiting(1);
    m_engine.StartCheck();
    m_engine.StopCheck();
    ASSERT_TRUE(m_host.WaitForRunsEnded(1));
    m_engine.JoinRunThreads();
    EXPECT_EQ(m_host.RunsEnded(), 1);
    ASSERT_TRUE(silent.WaitForFinished(1));
    EXPECT_EQ(silent.Received().size(), 1U) << "one run, one connection";
}

// A stop given after the start but before its run thread has begun (here it waits behind the start-up
// check) is kept: the run starts no job. A stop while nothing is on its way leaves the next run alone.
TEST_F(CheckRunTest, StopBeforeTheRunHasBegunIsKept) {
    FakeProxy quick(fake::AnswerAndClose("HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n"));
    AddRow(quick.Address());
    AddRow(quick.Address());
    m_host.HoldProxyBarAddress(true);
    m_engine.StartStartupCheck();
    ASSERT_TRUE(m_host.WaitForAddressAsked());
    m_engine.StartCheck();
    m_engine.StopCheck();
    m_host.HoldProxyBarAddress(false);
    ASSERT_TRUE(m_host.WaitForRunsEnded(++m_runs));
    m_engine.JoinRunThreads();
    EXPECT_EQ(m_host.Log(), "");
    EXPECT_EQ(m_rows.SelectedRows(MaxListRows), (std::vector<int>{0, 1}));

    m_engine.StopCheck();
    RunToEnd();
    EXPECT_EQ(m_rows.GetCellText(0, 1), "Anonymous(A)");
    EXPECT_EQ(m_rows.GetCellText(1, 1), "Anonymous(A)");
}

// A window that has begun to close answers the run's fetch of the addresses with none.
// A judge that stops answering in the middle of a run fails no proxy: once failures come in a row and the judge
// does not answer directly either, the run waits, says so, and checks those rows again when it answers; the history
// hears no failure that was the judge's. One at a time and many at once alike.
TEST_F(CheckRunTest, AJudgeThatStopsAnsweringFailsNoProxy) {
    struct Recorder final : ICheckRecorder {
        void Recorded(int, const CheckRecord& record) override {
            std::lock_guard lock(mutex);
            results.push_back(record.result);
        }
        std::mutex mutex;
        std::vector<std::string> results;
    };
    for (const int width : {1, 4}) {
        test::FlakyJudge judge(8, 1500);
        Recorder recorder;
        FakeProxy proxy(fake::ForwardToJudge({}));
        m_rows.RemoveAllRows();
        for (int i = 0; i < 30; ++i) {
            AddRow(proxy.Address());
        }
        m_settings.WebPage = judge.Url();
        m_settings.ParallelChecks = width;
        m_engine.SetRecorder(&recorder);
        RunToEnd();
        m_engine.SetRecorder(nullptr);
        ASSERT_TRUE(judge.WentDown()) << width;
        for (int row = 0; row < m_rows.RowCount(); ++row) {
            EXPECT_EQ(m_rows.GetCellText(row, 1), "Anonymous(A)") << width << " row " << row;
            EXPECT_FALSE(m_rows.IsRowSelected(row)) << width << " row " << row;
        }
        EXPECT_EQ(recorder.results, std::vector<std::string>(recorder.results.size(), "Anonymous(A)")) << width;
        EXPECT_GE(recorder.results.size(), 30U) << width;
        const std::string log = m_host.Log();
        EXPECT_NE(log.find("NOTICE>判定用CGIが応答しないため、応答するまでチェックを止めます"), std::string::npos)
            << log;
        EXPECT_NE(log.find("NOTICE>判定用CGIが応答したので、チェックを再開します"), std::string::npos) << log;
    }
}

// With a second judge, a run whose judge stops answering moves to it at once, checks the rows the first one failed
// again against it, and fails no proxy.
TEST_F(CheckRunTest, ARunMovesToTheSecondJudge) {
    for (const int width : {1, 4}) {
        test::FlakyJudge first(8, 60000);
        test::EchoJudge second;
        FakeProxy proxy(fake::ForwardToJudge({}));
        m_rows.RemoveAllRows();
        for (int i = 0; i < 20; ++i) {
            AddRow(proxy.Address());
        }
        m_settings.WebPage = first.Url();
        m_settings.JudgeFallback = second.Url();
        m_settings.ParallelChecks = width;
        RunToEnd();
        ASSERT_TRUE(first.WentDown()) << width;
        for (int row = 0; row < m_rows.RowCount(); ++row) {
            EXPECT_EQ(m_rows.GetCellText(row, 1), "Anonymous(A)") << width << " row " << row;
        }
        EXPECT_NE(m_host.Log().find("NOTICE>判定用CGIが応答しないため、予備の判定用CGIに切り替えます"),
                  std::string::npos)
            << m_host.Log();
        EXPECT_EQ(m_host.Log().find("チェックを止めます"), std::string::npos) << m_host.Log();
    }
}

TEST_F(CheckRunTest, RunWhoseAddressesNeverCameChecksNothing) {
    class ClosedRows final : public MemoryRowStore {
    public:
        std::vector<std::string> CellTexts(const std::vector<int>&, int) const override { return {}; }
    };
    ClosedRows rows;
    rows.InsertRow(0, "127.0.0.1:1", StatusUnchecked, 0);
    rows.SetRowSelected(0, true);
    CheckEngine engine(m_settings, rows, m_host, m_host, m_messages);
    engine.Initialize();
    ASSERT_TRUE(engine.StartCheck());
    ASSERT_TRUE(m_host.WaitForRunsEnded(1));
    engine.JoinRunThreads();
    EXPECT_EQ(m_host.Log(), "");
    EXPECT_TRUE(rows.IsRowSelected(0));
}

TEST_F(CheckRunTest, EmptyAccessUrlStartsNoRun) {
    m_settings.WebPage.clear();
    AddRow("127.0.0.1:1");
    m_engine.StartCheck();
    EXPECT_FALSE(m_engine.HasRunThreads());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{texts::kNoAccessUrl});
}

// The run takes its HTTPS target by the settings page's rule and with its message, so that a hand-edited settings
// file (or zandel-check) cannot hand the CONNECT line what the page refuses.
TEST_F(CheckRunTest, HttpsTargetIsTakenByThePagesRule) {
    m_settings.HttpsCheckOn = true;
    AddRow("127.0.0.1:1");
    const std::string refused[] = {"judge.test\x01:443",
                                   "user@judge.test:443",
                                   "judge.test:443:443",
                                   "::3",
                                   "::1:443",
                                   "[judge.test]:443",
                                   "[::1%lo]:443",
                                   "[:]:443"};
    for (const std::string& target : refused) {
        m_settings.HttpsTarget = target;
        EXPECT_FALSE(m_engine.StartCheck()) << target;
    }
    EXPECT_FALSE(m_engine.HasRunThreads());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>(std::size(refused), kHttpsTargetMessage));

    m_settings.HttpsTarget = " [::1]:4433 ";
    RunToEnd();
    EXPECT_EQ(m_messages.Texts().size(), std::size(refused)) << "a bracketed IPv6 address is a target";
}

// Strict grading and the judge's key through the engine itself, one at a time and many at once: the direct request
// on the run thread, a judge that does not verify stopping the run before any row, a hand-edited key refused.
TEST_F(CheckRunTest, JudgesOwnChecksRunBeforeTheRows) {
    FakeProxy quiet(fake::ForwardToJudge({}));
    AddRow(quiet.Address());
    for (const int width : {1, 8}) {
        m_settings.ParallelChecks = width;
        // The fake reaches the judge from our own address: strict grading finds it in REMOTE_ADDR.
        m_settings.JudgeStrict = true;
        m_settings.JudgeKey.clear();
        RunToEnd();
        EXPECT_EQ(m_rows.GetRow(0).cells[1], "Non-Anonymous") << width;
        EXPECT_NE(m_host.Log().find("理由：接続元のIPアドレス(127.0.0.1)がREMOTE_ADDRに含まれています\r\n"),
                  std::string::npos)
            << m_host.Log();
        EXPECT_FALSE(m_engine.JudgeRefused());

        // The echo judge signs nothing: no row is taken, and the user is told why.
        m_rows.SetRowSelected(0, true);
        m_rows.SetCellText(0, 1, kUncheckedResult);
        m_settings.JudgeKey = "k3y-for-the-tests";
        m_messages.Clear();
        RunToEnd();
        EXPECT_TRUE(m_engine.JudgeRefused());
        EXPECT_EQ(m_rows.GetRow(0).cells[1], kUncheckedResult) << width;
        ASSERT_EQ(m_messages.Texts().size(), 1U);
        EXPECT_NE(m_messages.Texts()[0].find("署名がありません"), std::string::npos) << m_messages.Texts()[0];
        m_rows.SetRowSelected(0, true);
    }
    m_messages.Clear();
    m_settings.JudgeKey = "has a blank";
    EXPECT_FALSE(m_engine.StartCheck());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{texts::kJudgeKeyMessage});
}

TEST_F(CheckRunTest, StartupCheckWarnsOnlyWhenTheProxyFails) {
    // No proxy set: nothing shown, nothing changed.
    m_engine.StartStartupCheck();
    m_engine.JoinRunThreads();
    EXPECT_TRUE(m_messages.Texts().empty());
    EXPECT_TRUE(m_host.StartStopCaptions().empty());

    m_host.SetProxyBarAddress("no port here");
    m_engine.StartStartupCheck();
    m_engine.JoinRunThreads();
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{texts::kStartupCheckWarning});

    // A working proxy is judged even though the list is empty, and writes no row.
    FakeProxy good(fake::ForwardToJudge({"Via: 1.1 fake"}));
    m_host.SetProxyBarAddress(good.Address());
    m_engine.StartStartupCheck();
    ASSERT_TRUE(m_host.WaitForRunsEnded(1));
    m_engine.JoinRunThreads();
    EXPECT_EQ(m_messages.Texts().size(), 1U);
    EXPECT_NE(m_host.Log().find("結果：使用可能なプロキシサーバです"), std::string::npos);

    FakeProxy refusing(fake::Refuse());
    m_host.SetProxyBarAddress(refusing.Address());
    m_engine.StartStartupCheck();
    ASSERT_TRUE(m_host.WaitForRunsEnded(2));
    m_engine.JoinRunThreads();
    EXPECT_EQ(m_messages.Texts().size(), 2U);
    EXPECT_EQ(m_messages.Boxes().back().buttons, MbButtons::OkCancel);
}

TEST_F(CheckRunTest, TimedOutStartupCheckDoesNotTurnTheNextStopIntoATimeOut) {
    m_settings.TimeOut = 1;
    FakeProxy silent(fake::NeverAnswer());
    m_host.SetProxyBarAddress(silent.Address());
    m_engine.StartStartupCheck();
    ASSERT_TRUE(m_host.WaitForRunsEnded(1));
    m_engine.JoinRunThreads();
    ASSERT_NE(m_host.Log().find(kTimedOut), std::string::npos);

    m_settings.TimeOut = 30;
    AddRow(silent.Address());
    m_engine.StartCheck();
    WaitForWorkerWaiting(2);
    m_engine.StopCheck();
    ASSERT_TRUE(m_host.WaitForRunsEnded(2));
    m_engine.JoinRunThreads();
    const std::string log = m_host.Log();
    EXPECT_NE(log.rfind(kStopped), std::string::npos);
    EXPECT_EQ(log.rfind(kTimedOut), log.find(kTimedOut)) << "only the start-up check timed out";
}

TEST_F(CheckRunTest, OutOfRangeTimeOutFallsBackToThirtySeconds) {
    FakeProxy quick(fake::AnswerAndClose("HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n"));
    AddRow(quick.Address());
    for (int timeOut : {0, -5, 601, 2147483647}) {
        m_settings.TimeOut = timeOut;
        m_rows.SetRowSelected(0, true);
        RunToEnd();
        EXPECT_EQ(m_host.TimerPeriodMs(), 30000) << timeOut;
        EXPECT_EQ(m_rows.GetCellText(0, 1), "Anonymous(A)") << timeOut;
    }
}

} // namespace
} // namespace zandel
