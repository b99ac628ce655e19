#include <ctime>
#include <memory>

#include <QAbstractItemView>
#include <QHeaderView>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QThread>

#include "core/frame/CommandIds.h"
#include "core/history/HistoryStore.h"
#include "support/EchoJudge.h"
#include "support/FakeProxy.h"
#include "support/TempDir.h"
#include "support/ThreadState.h"
#include "ui/UiTestSupport.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "ui/support/FakeListViewHost.h"

namespace zandel {
namespace {

using test::EchoJudge;
using test::FakeProxy;
using test::FakeScript;
using ui::ProxyListView;
using Rows = std::vector<int>;
namespace fake = test::fake;

// A time-out of its own, so that the probe's wait (ten seconds more) can be told from every other poll().
constexpr int kTimeOutSeconds = 37;
constexpr int kProbeWaitMs = kTimeOutSeconds * 1000 + 10000;

// The transcript lines the run writes, as the log pane shows them.
const QString kStart = QStringLiteral("START>プロキシチェック開始\r\n");
const QString kConnect = QStringLiteral("CONNECT>接続成功\r\n");
const QString kSent = QStringLiteral("SEND>リクエスト送信成功\r\n");
const QString kReceiving = QStringLiteral("RECV>レスポンス受信中\r\n");
const QString kReceived = QStringLiteral("RECV>レスポンス受信終了\r\n");
const QString kEnd = QStringLiteral("END>プロキシチェック終了\r\n");
const QString kStopped = QStringLiteral("STOP>プロキシチェックがユーザにより中断\r\n");
const QString kUsable = QStringLiteral("結果：使用可能なプロキシサーバです\r\n");

QString Before(const FakeProxy& proxy) {
    return QStringLiteral("●---127.0.0.1:%1---●\r\n").arg(proxy.Port());
}

QString After(const FakeProxy& proxy) {
    return Before(proxy) + QStringLiteral("\r\n");
}

QString Answered(const FakeProxy& proxy, const QString& verdict) {
    return Before(proxy) + kStart + kConnect + kSent + kReceiving + kReceived + kEnd + verdict + After(proxy);
}

QString StoppedByUser(const FakeProxy& proxy) {
    return Before(proxy) + kStart + kConnect + kSent + kStopped + kEnd +
           QStringLiteral("結果：プロキシチェックを強制終了しました\r\n") + After(proxy);
}

// A user-interface thread that every call handed over from another thread keeps busy for a while, as on a
// loaded machine.
class BusyWindow final : public QObject {
public:
    explicit BusyWindow(int costMs) : m_costMs(costMs) { QCoreApplication::instance()->installEventFilter(this); }
    ~BusyWindow() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MetaCall) {
            QThread::msleep(static_cast<unsigned long>(m_costMs));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    int m_costMs;
};

// Whether the list as painted shows row `row` with the red ball of a failed check.
bool PaintedAsFailed(const QImage& painted, const ProxyListView& view, int row) {
    const QRect cell = view.visualRect(view.model()->index(row, 0)).translated(view.viewport()->pos());
    for (int x = cell.left(); x < cell.left() + 24; ++x) {
        const QColor pixel = painted.pixelColor(x, cell.center().y());
        if (pixel.red() > 170 && pixel.green() < 100 && pixel.blue() < 100) {
            return true;
        }
    }
    return false;
}

class ListCheckRunTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<EchoJudge> m_judge;
    // Every run keeps its history in the start folder: never the folder the tests run in.
    test::TempDir m_startDir;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<test::MessageRecorder> m_messages;
    std::unique_ptr<test::FakeListViewHost> m_host;
    std::unique_ptr<ProxyListView> m_view;

    void AddRow(const std::string& address) {
        const int row = m_view->Rows().RowCount();
        m_view->Rows().InsertRow(row, address, StatusUnchecked, row);
        m_view->Rows().SetCellText(row, 1, "---");
        m_view->Rows().SetCellText(row, 2, "--:---");
        m_view->Rows().SetCellText(row, 3, "----/--/--(-:-:-)");
    }
    void Select(const Rows& rows) {
        m_view->clearSelection();
        for (int row : rows) {
            m_view->Rows().SetRowSelected(row, true);
        }
    }
    // Line by line, so that a difference shows where it is.
    void VerifyTranscript(const QString& expected) {
        QCOMPARE(m_host->LogText().split(QStringLiteral("\r\n")), expected.split(QStringLiteral("\r\n")));
    }
    QString Cell(int row, int column) const { return QString::fromStdString(m_view->Rows().GetCellText(row, column)); }
    int SentCount() const { return m_host->LogText().count(kSent); }
    // Waits until the run has sent its request to the proxy of `row`, which then stays silent, and the probe
    // waits for its answer: a stop or skip that comes while the probe is between two waits ends the job as
    // if the proxy had closed.
    void WaitUntilSilentRowIsChecked(int row, int sentBefore, bool untilWaiting = true) {
        QTRY_COMPARE(Cell(row, 1), QStringLiteral("ﾁｪｯｸ中…"));
        QTRY_COMPARE(SentCount(), sentBefore + 1);
        if (untilWaiting) {
            QVERIFY(test::WaitUntilSomeThreadPolls(kProbeWaitMs));
        }
    }
    void VerifyJudged(int row, const QString& result, int image, bool usable) {
        static const QRegularExpression seconds(QStringLiteral("^\\d+\\.\\d{3}$"));
        static const QRegularExpression checkTime(QStringLiteral("^\\d{4}/\\d{2}/\\d{2}\\(\\d{2}:\\d{2}:\\d{2}\\)$"));
        QCOMPARE(Cell(row, 1), result);
        QCOMPARE(m_view->Rows().GetRowImage(row), image);
        if (usable) {
            QVERIFY2(seconds.match(Cell(row, 2)).hasMatch(), qPrintable(Cell(row, 2)));
        } else {
            QCOMPARE(Cell(row, 2), QStringLiteral("--:---"));
        }
        QVERIFY2(checkTime.match(Cell(row, 3)).hasMatch(), qPrintable(Cell(row, 3)));
        QVERIFY(!m_view->Rows().IsRowSelected(row));
    }
    void VerifyUntouched(int row) {
        QCOMPARE(Cell(row, 1), QStringLiteral("---"));
        QCOMPARE(Cell(row, 2), QStringLiteral("--:---"));
        QCOMPARE(Cell(row, 3), QStringLiteral("----/--/--(-:-:-)"));
        QCOMPARE(m_view->Rows().GetRowImage(row), int(StatusUnchecked));
    }
    void VerifyIdle() {
        QCOMPARE(m_host->caption, QStringLiteral("Zandel - 無題"));
        QCOMPARE(m_host->StartStopCaption(), QStringLiteral("開始(&S)"));
        QCOMPARE(m_view->editTriggers(), QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
        QCOMPARE(m_host->indicatorStarts, m_host->indicatorStops);
        QCOMPARE(m_view->RemainingCount(), 0);
    }

private Q_SLOTS:
    void init() {
        m_judge = std::make_unique<EchoJudge>();
        m_settings = std::make_unique<AppSettings>();
        m_settings->StartDir = m_startDir.Path();
        m_settings->WebPage = m_judge->Url();
        m_settings->TimeOut = kTimeOutSeconds;
        m_messages = std::make_unique<test::MessageRecorder>();
        m_host = std::make_unique<test::FakeListViewHost>(*m_settings);
        m_view = m_host->MakeView(*m_settings);
        m_view->resize(640, 400);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    void cleanup() {
        m_view.reset();
        m_host.reset();
        m_messages.reset();
        m_settings.reset();
        m_judge.reset();
    }

    // The window's checks go into the history of its settings folder, each run's as the run ends, and the uptime
    // column shows them once the run is over.
    void aRunIsKeptInTheHistoryOfTheSettingsFolder() {
        test::TempDir folder;
        m_view.reset();
        m_settings->StartDir = folder.Path();
        m_settings->HistoryColumns = true;
        m_view = m_host->MakeView(*m_settings);
        FakeProxy anonymousA(fake::ForwardToJudge({}));
        FakeProxy refusing(fake::Refuse());
        AddRow(anonymousA.Address());
        AddRow(refusing.Address());
        Select({0, 1});
        QVERIFY(m_view->OnCommand(cmd::kStartCheck));
        QTRY_VERIFY(!m_view->IsRunning());

        HistoryStore history;
        QVERIFY(history.Open(folder.File(kHistoryFileName), kHistoryKeepDaysDefault, std::time(nullptr), nullptr));
        QTRY_COMPARE(history.Count(), 2LL);
        const std::vector<CheckRecord> good = history.ChecksOf(anonymousA.Address());
        QCOMPARE(good.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(good[0].result), QStringLiteral("Anonymous(A)"));
        QVERIFY(good[0].responseMs.has_value());
        QCOMPARE(QString::fromStdString(history.ChecksOf(refusing.Address()).at(0).result), QStringLiteral("NG"));
        QTRY_COMPARE(m_view->CellText(0, kUptimeColumn), QStringLiteral("100%"));
        QCOMPARE(m_view->CellText(1, kUptimeColumn), QStringLiteral("0%"));
    }

    // Every kind of answer in one run, a skip on the last proxy, and what the window shows meanwhile.
    void aRunJudgesEverySelectedRowAndWritesTheTranscript() {
        FakeProxy anonymousA(fake::ForwardToJudge({}));
        FakeProxy anonymousB(fake::ForwardToJudge({"Via: 1.1 fake"}));
        FakeProxy nonAnonymous(fake::ForwardToJudge({"X-Forwarded-For: 127.0.0.1"}));
        FakeProxy forbidden(fake::AnswerAndClose("HTTP/1.0 403 Forbidden\r\n\r\nno\r\n"));
        FakeProxy refusing(fake::Refuse());
        FakeProxy silent(fake::NeverAnswer());
        for (const FakeProxy* proxy : {&anonymousA, &anonymousB, &nonAnonymous, &forbidden, &refusing, &silent}) {
            AddRow(proxy->Address());
        }
        AddRow("127.0.0.1");             // 6: no port: "NG", and why
        AddRow(anonymousA.Address());    // 7: not selected
        AddRow("127.0.0.1:9 # comment"); // 8: not selected
        Select({0, 1, 2, 3, 4, 5, 6});

        QVERIFY(m_view->OnCommand(cmd::kStartCheck));
        WaitUntilSilentRowIsChecked(5, 4);

        QCOMPARE(m_host->caption, QStringLiteral("Zandel - %1ﾁｪｯｸ中…").arg(QString::fromStdString(silent.Address())));
        QCOMPARE(m_host->StartStopCaption(), QStringLiteral("停止(&T)"));
        QCOMPARE(m_host->indicatorStarts, 1);
        QVERIFY(m_view->IsRunning());
        QCOMPARE(m_view->RemainingCount(), 2);
        QCOMPARE(m_view->Rows().SelectedRows(MaxListRows), (Rows{5, 6}));
        QCOMPARE(m_view->editTriggers(), QAbstractItemView::NoEditTriggers);

        // While the run works on the rows they stay where they are.
        QTest::mouseClick(m_view->header()->viewport(), Qt::LeftButton, {},
                          QPoint(m_view->header()->sectionViewportPosition(0) + 20, 8));
        QVERIFY(m_view->OnCommand(cmd::kDelete));
        QVERIFY(m_view->OnCommand(cmd::kMoveUp));
        QVERIFY(m_view->OnCommand(cmd::kEdit));
        QVERIFY(m_view->EditBox() == nullptr);
        QVERIFY(m_messages->Boxes().empty());
        QCOMPARE(Cell(0, 0), QString::fromStdString(anonymousA.Address()));
        QCOMPARE(Cell(7, 0), QString::fromStdString(anonymousA.Address()));

        QVERIFY(m_view->OnCommand(cmd::kSkipCheck));
        QTRY_VERIFY(!m_view->IsRunning());

        VerifyJudged(0, QStringLiteral("Anonymous(A)"), StatusAnonymous, true);
        VerifyJudged(1, QStringLiteral("Anonymous(B)"), StatusAnonymous, true);
        VerifyJudged(2, QStringLiteral("Non-Anonymous"), StatusNonAnonymous, true);
        VerifyJudged(3, QStringLiteral("NG"), StatusNG, false);
        VerifyJudged(4, QStringLiteral("NG"), StatusNG, false);
        VerifyJudged(5, QStringLiteral("NG"), StatusNG, false);
        VerifyJudged(6, QStringLiteral("NG"), StatusNG, false);
        QCOMPARE(m_view->Rows().GetRow(6).reason, std::string("ポート番号がありません"));
        VerifyUntouched(7);
        VerifyUntouched(8);
        QCOMPARE(Cell(8, 0), QStringLiteral("127.0.0.1:9 # comment"));
        VerifyIdle();
        QCOMPARE(m_host->captions.size(), 7); // one per checked proxy, then the old caption back

        const QString expected =
            Answered(anonymousA,
                     QStringLiteral("リクエストヘッダにプロキシ特有の環境変数を付加しないプロキシです\r\n") + kUsable) +
            Answered(anonymousB, QStringLiteral("\r\nHTTP_VIA=1.1 fake\r\n\r\n"
                                                "リクエストヘッダにプロキシ特有の環境変数を付加するプロキシです\r\n") +
                                     kUsable) +
            Answered(nonAnonymous, QStringLiteral("\r\nHTTP_X_FORWARDED_FOR=127.0.0.1\r\n\r\n"
                                                  "接続元のIPアドレスが通知されている可能性があります\r\n") +
                                       kUsable) +
            Answered(forbidden, QStringLiteral("結果：プロキシサーバのレスポンスエラーです\r\n")) + Before(refusing) +
            kStart + QStringLiteral("ERROR>プロキシチェック時にソケットエラーが発生したため終了\r\n") + kEnd +
            QStringLiteral("結果：サーバに接続できない、あるいはソケットのエラーと思われます\r\n") + After(refusing) +
            StoppedByUser(silent) +
            QStringLiteral("●---127.0.0.1---●\r\n結果：ポート番号がありません\r\n●---127.0.0.1---●\r\n\r\n");
        VerifyTranscript(expected);
    }

    void aStopEndsTheRunAndLeavesTheRestSelected() {
        FakeProxy answering(fake::ForwardToJudge({}));
        FakeProxy silent(fake::NeverAnswer());
        AddRow(answering.Address());
        AddRow(silent.Address());
        AddRow(answering.Address());
        AddRow(answering.Address());
        Select({0, 1, 2, 3});

        m_view->OnCommand(cmd::kStartCheck);
        WaitUntilSilentRowIsChecked(1, 1);
        m_view->OnCommand(cmd::kStartCheck); // a second start during the run does nothing
        QVERIFY(m_view->OnCommand(cmd::kStopCheck));
        QTRY_VERIFY(!m_view->IsRunning());

        VerifyJudged(0, QStringLiteral("Anonymous(A)"), StatusAnonymous, true);
        VerifyJudged(1, QStringLiteral("NG"), StatusNG, false);
        VerifyUntouched(2);
        VerifyUntouched(3);
        QCOMPARE(m_view->Rows().SelectedRows(MaxListRows), (Rows{2, 3}));
        VerifyIdle();
        QCOMPARE(m_host->indicatorStarts, 1);
        VerifyTranscript(
            Answered(answering,
                     QStringLiteral("リクエストヘッダにプロキシ特有の環境変数を付加しないプロキシです\r\n") + kUsable) +
            StoppedByUser(silent));
        QVERIFY(answering.WaitForFinished(1));
        QCOMPARE(answering.Received().size(), std::size_t(1));
    }

    void theTimeOutTimerEndsASilentProxy() {
        m_settings->TimeOut = 1;
        FakeProxy silent(fake::NeverAnswer());
        AddRow(silent.Address());
        Select({0});
        m_view->OnCommand(cmd::kStartCheck);
        WaitUntilSilentRowIsChecked(0, 0, false);
        QTRY_VERIFY_WITH_TIMEOUT(!m_view->IsRunning(), 20000);

        VerifyJudged(0, QStringLiteral("NG"), StatusNG, false);
        const QString timedOut = QStringLiteral("ERROR>プロキシチェック時にタイムアウトが発生したため終了\r\n");
        VerifyTranscript(Before(silent) + kStart + kConnect + kSent + timedOut + kEnd +
                         QStringLiteral("結果：タイムアウトが起こりました\r\n") + After(silent));
        VerifyIdle();
    }

    void aRunWithoutSelectedRowsEndsAtOnce() {
        AddRow("127.0.0.1:9");
        m_view->OnCommand(cmd::kStartCheck);
        QTRY_COMPARE(m_host->indicatorStops, 1);
        QTRY_VERIFY(!m_view->IsRunning());
        QVERIFY(m_host->LogText().isEmpty());
        VerifyIdle();
    }

    // Many at once on a loaded machine, where every call from the run keeps the window busy for a while: the list
    // as painted keeps up with the run. Ten proxies answer in waves 100 ms apart, ten rows each; whenever the
    // window gets a turn, the screen may lag the proxies by no more than three waves. (Calls posted one by one
    // queued up faster than the window took them, and Qt's repaints wait behind them: the list stood still.)
    void aRunOfManyAtOnceIsPaintedAsItGoes() {
        constexpr int kWaves = 10;
        constexpr int kRowsPerWave = 10;
        constexpr int kRows = kWaves * kRowsPerWave;
        std::vector<std::unique_ptr<FakeProxy>> proxies;
        for (int wave = 0; wave < kWaves; ++wave) {
            proxies.push_back(
                std::make_unique<FakeProxy>(FakeScript{fake::Read(), fake::Pause(100 * (wave + 1)),
                                                       fake::Send("HTTP/1.0 403 Forbidden\r\n\r\n"), fake::Close()}));
        }
        for (int row = 0; row < kRows; ++row) {
            AddRow(proxies[static_cast<std::size_t>(row % kWaves)]->Address());
        }
        m_settings->ParallelChecks = kRows;
        m_view->resize(640, m_view->header()->height() + m_view->sizeHintForRow(0) * (kRows + 1) + 8);
        m_view->selectAll();
        QTRY_COMPARE(m_view->Rows().SelectedCount(), kRows);

        const auto paintedAsFailed = [this] {
            const QImage painted = m_view->screen()->grabWindow(m_view->winId()).toImage();
            int count = 0;
            for (int row = 0; row < kRows; ++row) {
                count += PaintedAsFailed(painted, *m_view, row) ? 1 : 0;
            }
            return count;
        };
        QTRY_COMPARE(m_view->screen()->grabWindow(m_view->winId()).size(), m_view->size());
        QCOMPARE(paintedAsFailed(), 0);
        int worstLag = 0;
        {
            BusyWindow busy(5);
            m_view->OnCommand(cmd::kStartCheck);
            while (m_view->Engine().HasRunThreads()) {
                QTest::qWait(10);
                std::size_t judged = 0;
                for (const auto& proxy : proxies) {
                    judged += proxy->Received().size();
                }
                worstLag = std::max(worstLag, static_cast<int>(judged) - paintedAsFailed());
            }
        }
        QTRY_COMPARE(paintedAsFailed(), kRows);
        QVERIFY2(worstLag <= 3 * kRowsPerWave,
                 qPrintable(QStringLiteral("%1 rows answered but not painted").arg(worstLag)));
    }

    // With "follow the run" the first row still being checked comes into view while the rows above it end.
    void theFirstRunningRowIsFollowedWhenAsked() {
        constexpr int kEnding = 30;
        FakeProxy refusing(fake::Refuse());
        FakeProxy slow(
            FakeScript{fake::Read(), fake::Pause(3000), fake::Send("HTTP/1.0 403 Forbidden\r\n\r\n"), fake::Close()});
        for (int row = 0; row < kEnding + 3; ++row) {
            AddRow(row < kEnding ? refusing.Address() : slow.Address());
        }
        m_settings->FollowRun = true;
        m_settings->ParallelChecks = kEnding + 3;
        m_view->resize(640, m_view->header()->height() + m_view->sizeHintForRow(0) * 8);
        m_view->selectAll();
        m_view->scrollToTop();
        m_view->OnCommand(cmd::kStartCheck);
        QTRY_VERIFY(m_view->viewport()->rect().contains(m_view->visualRect(m_view->model()->index(kEnding, 0))));
        QTRY_VERIFY_WITH_TIMEOUT(!m_view->IsRunning(), 20000);
    }

    // Closing while a proxy never answers: Shutdown comes back and the run thread is gone, whether the run
    // had got to the proxy or was still waiting for its first call to the window.
    void shutdownDuringARunReturns_data() {
        QTest::addColumn<bool>("waitForProxy");
        QTest::newRow("at the proxy") << true;
        QTest::newRow("at once") << false;
    }
    void shutdownDuringARunReturns() {
        QFETCH(bool, waitForProxy);
        FakeProxy silent(fake::NeverAnswer());
        AddRow(silent.Address());
        AddRow(silent.Address());
        Select({0, 1});
        m_view->OnCommand(cmd::kStartCheck);
        if (waitForProxy) {
            WaitUntilSilentRowIsChecked(0, 0);
        }
        m_view->Shutdown();
        QVERIFY(!m_view->IsRunning());
        m_view.reset();
        QVERIFY(silent.WaitForFinished(waitForProxy ? 1 : 0));
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::ListCheckRunTest)
#include "ListCheckRunTest.moc"
