#include <chrono>
#include <string>
#include <vector>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>

#include "core/history/HistoryStore.h"
#include "core/frame/CommandIds.h"
#include "core/list/ProxyRow.h"
#include "core/settings/AppSettings.h"
#include "support/EchoJudge.h"
#include "support/FakeProxy.h"
#include "support/Subprocess.h"
#include "ui/frame/MainFrame.h"
#include "ui/frame/RecheckWindows.h"
#include "ui/frame/ServeConnectionsWindow.h"
#include "ui/frame/ServeWindows.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "ui/support/FrameRig.h"
#include "ui/support/SheetFixture.h"

namespace zandel {
namespace {

using test::FakeProxy;
namespace fake = test::fake;

// What a live proxy of the list answers, to its check and to every client the window's serve carries through it.
constexpr const char* kLiveAnswer = "HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n";
// The client's target: nothing listens there, the upstream answers in its place.
constexpr const char* kTarget = "http://127.0.0.1:19459/";

// The local proxy in the main window: its page, its commands, its pool following the checks, and curl as a real
// client through it.
class ServeWindowsTest : public QObject {
    Q_OBJECT

private:
    static QLabel* Pane(ui::CMainFrame& frame) { return frame.findChild<QLabel*>(QStringLiteral("servePane")); }

    static void Trigger(ui::CMainFrame& frame, const char* action) {
        QAction* found = test::RequireEnabledAction(&frame, QString::fromLatin1(action));
        QVERIFY(found != nullptr);
        found->trigger();
    }

    // Checks the whole list as the start button does and waits for the run's end.
    static void CheckList(ui::CMainFrame& frame) {
        frame.View()->selectAll();
        QVERIFY(frame.OnCommand(cmd::kCheckStartStop));
        const IRowStore& rows = frame.View()->Rows();
        const auto graded = [&rows] {
            for (int row = 0; row < rows.RowCount(); ++row) {
                if (GradeOfResult(rows.GetCellText(row, 1)) == ResultGrade::Unchecked) {
                    return false;
                }
            }
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(!frame.View()->IsRunning() && graded(), 20000);
        frame.Serve().WaitForPool();
    }

    // curl through the local proxy; its exit code (22 for an answer of 400 or more), and what it printed in `body`.
    static int Curl(test::FrameRig& rig, const std::string& proxy, std::string& body) {
        test::Subprocess curl({"/usr/bin/curl", "-fsS", "--max-time", "10", "-x", proxy, kTarget}, rig.dir.Path(),
                              rig.dir.File("curl.out"), rig.dir.File("curl.err"));
        const int code = curl.Wait().value_or(-1);
        body = rig.dir.Read("curl.out");
        return code;
    }

    static void MakeServingRig(test::FrameRig& rig, const test::EchoJudge& judge, const char* listen) {
        rig.settings.WebPage = judge.Url();
        rig.settings.TimeOut = 5;
        rig.settings.ServeListen = listen;
        rig.settings.ServePorts = "19459";
    }

    test::SheetFixture m_fx;

private Q_SLOTS:
    void cleanup() { m_fx.Teardown(); }

    // The page stores nothing a serve would refuse, and names the field at fault.
    void pageRefusesWhatTheServeWould_data() {
        QTest::addColumn<QString>("listen");
        QTest::addColumn<QString>("ports");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message"); // empty: stored
        QTest::addColumn<QString>("focused");
        // clang-format off
        QTest::newRow("open address without a login") << "0.0.0.0:19410" << "80,443" << "" << "" << "127.0.0.1 や ::1 以外のｱﾄﾞﾚｽで待ち受けるには、ﾕｰｻﾞｰ名とﾊﾟｽﾜｰﾄﾞを設定してください\nﾛｸﾞｲﾝがないと、ほかのﾏｼﾝの誰もがﾘｽﾄのﾌﾟﾛｷｼを使えてしまいます" << "serveUser";
        QTest::newRow("open address with a login") << "0.0.0.0:19410" << "80,443" << "me" << "pw" << "" << "";
        QTest::newRow("a name is never looked up") << "proxy.example:19410" << "80,443" << "" << "" << "待ち受けｱﾄﾞﾚｽは 127.0.0.1:8181 や [::1]:8181 のように、IPｱﾄﾞﾚｽとﾎﾟｰﾄ番号で入力してください" << "serveListen";
        QTest::newRow("loopback v6 alone") << "[::1]:19411" << "443" << "" << "" << "" << "";
        QTest::newRow("port zero") << "127.0.0.1:8181" << "80,0" << "" << "" << "接続先ﾎﾟｰﾄは 80,443 のように、1～65535の番号をｶﾝﾏで区切って入力してください" << "servePorts";
        QTest::newRow("half a login") << "127.0.0.1:8181" << "80" << "me" << "" << "ﾕｰｻﾞｰ名とﾊﾟｽﾜｰﾄﾞは両方とも入力してください" << "servePassword";
        QTest::newRow("colon in the user") << "127.0.0.1:8181" << "80" << "a:b" << "pw" << "ﾕｰｻﾞｰ名に : は使えません" << "serveUser";
        // clang-format on
    }
    void pageRefusesWhatTheServeWould() {
        QFETCH(QString, listen);
        QFETCH(QString, ports);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, message);
        QFETCH(QString, focused);
        m_fx.Reset();
        m_fx.Open();
        m_fx.driver->ClickTab(5);
        QCOMPARE(m_fx.driver->Tabs()->tabText(5), QStringLiteral("ﾛｰｶﾙﾌﾟﾛｷｼ"));
        QCOMPARE(test::Child<QLineEdit>(m_fx.sheet.get(), "serveListen")->text(), QStringLiteral("127.0.0.1:8181"));
        test::ReplaceText(test::Child<QLineEdit>(m_fx.sheet.get(), "serveListen"), listen);
        test::ReplaceText(test::Child<QLineEdit>(m_fx.sheet.get(), "servePorts"), ports);
        test::ReplaceText(test::Child<QLineEdit>(m_fx.sheet.get(), "serveUser"), user);
        test::ReplaceText(test::Child<QLineEdit>(m_fx.sheet.get(), "servePassword"), password);
        test::Child<QRadioButton>(m_fx.sheet.get(), "servePoolFavourites")->click();
        m_fx.driver->ClickOk();
        if (!message.isEmpty()) {
            QCOMPARE(m_fx.MessageTexts(), std::vector<std::string>{test::Bytes(message)});
            QVERIFY(m_fx.driver->IsOpen());
            QCOMPARE(QApplication::focusWidget()->objectName(), focused);
            QCOMPARE(m_fx.settings->ServeListen, std::string("127.0.0.1:8181"));
            QCOMPARE(m_fx.settings->ServePoolRows, std::string("live"));
            return;
        }
        QVERIFY(m_fx.MessageTexts().empty());
        QCOMPARE(m_fx.settings->ServeListen, test::Bytes(listen));
        QCOMPARE(m_fx.settings->ServePorts, test::Bytes(ports));
        QCOMPARE(m_fx.settings->ServeUser, test::Bytes(user));
        QCOMPARE(m_fx.settings->ServePassword, test::Bytes(password));
        QCOMPARE(m_fx.settings->ServePoolRows, std::string("favourites"));
    }

    // The list's live row carries curl's request; the status bar, the connections window and the desktop's proxy
    // follow the serve, and stopping it closes the port.
    void curlGoesThroughTheListsLiveRow() {
        test::EchoJudge judge;
        FakeProxy live(fake::AnswerAndClose(kLiveAnswer));
        FakeProxy dead(fake::Refuse());
        test::FrameRig rig;
        MakeServingRig(rig, judge, "127.0.0.1:19421");
        ui::CMainFrame& frame = rig.Make();
        QVERIFY(!Pane(frame)->isVisible());
        rig.AddRows({live.Address(), dead.Address()});
        CheckList(frame);

        Trigger(frame, "serveStart");
        QVERIFY(frame.Serve().Serving());
        frame.Serve().WaitForPool();
        frame.Serve().Tick();
        QVERIFY(Pane(frame)->isVisible());
        QVERIFY2(Pane(frame)->text().startsWith(QStringLiteral("ﾛｰｶﾙﾌﾟﾛｷｼ 127.0.0.1:19421 : 1/2 : ")),
                 qPrintable(Pane(frame)->text()));
        std::string body;
        QCOMPARE(Curl(rig, "http://127.0.0.1:19421", body), 0);
        QVERIFY2(body.find("REMOTE_ADDR=127.0.0.1") != std::string::npos, body.c_str());

        Trigger(frame, "serveConnections");
        auto* window = frame.findChild<ui::ServeConnectionsWindow*>();
        QVERIFY(window != nullptr && window->isVisible());
        auto* connections = window->findChild<QTableWidget*>(QStringLiteral("serveConnections"));
        auto* pool = window->findChild<QTableWidget*>(QStringLiteral("servePool"));
        QTRY_COMPARE(connections->rowCount(), 1);
        const QStringList expected = {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1:19459"),
                                      QString::fromStdString(live.Address()), QStringLiteral("1"),
                                      QStringLiteral("OK")};
        for (int column = 1; column < 6; ++column) {
            QCOMPARE(connections->item(0, column)->text(), expected[column - 1]);
        }
        QCOMPARE(pool->rowCount(), 1);
        QCOMPARE(pool->item(0, 0)->text(), QString::fromStdString(live.Address()));
        QCOMPARE(pool->item(0, 1)->text(), QStringLiteral("1"));
        QCOMPARE(pool->item(0, 2)->text(), QStringLiteral("0"));

        frame.UpdateCommandUi();
        Trigger(frame, "serveDesktop");
        QVERIFY(!rig.internet.calls.empty());
        const InternetOptionList& handed = rig.internet.calls.back().list;
        QCOMPARE(handed.proxyServer, std::string("127.0.0.1:19421"));
        QCOMPARE(handed.flags, kProxyTypeProxy);
        QVERIFY(handed.socksToo);

        Trigger(frame, "serveStop");
        QVERIFY(!frame.Serve().Serving());
        QVERIFY(!Pane(frame)->isVisible());
        QCOMPARE(Curl(rig, "http://127.0.0.1:19421", body), 7); // nobody listens
        QVERIFY(rig.messages.Boxes().empty());
        // The connection it carried is in the history, where the uptime columns learn from it.
        HistoryStore history;
        QVERIFY(history.OpenForReading(rig.dir.File(kHistoryFileName)));
        const std::vector<ServedRecord> served = history.ServedOf(live.Address());
        QCOMPARE(served.size(), std::size_t{1});
        QCOMPARE(served[0].result, std::string(kServedCarried));
    }

    // A port another program holds: one box that says so, and the window goes on, ready to try again.
    void aPortAlreadyTakenIsToldOnce() {
        test::EchoJudge judge;
        FakeProxy holder(fake::NeverAnswer(), 19423);
        test::FrameRig rig;
        MakeServingRig(rig, judge, "127.0.0.1:19423");
        ui::CMainFrame& frame = rig.Make();
        Trigger(frame, "serveStart");
        QVERIFY(!frame.Serve().Serving());
        QCOMPARE(rig.messages.Boxes().size(), std::size_t{1});
        QCOMPARE(rig.messages.Boxes()[0].text,
                 std::string("ﾛｰｶﾙﾌﾟﾛｷｼを開始できませんでした\n127.0.0.1:19423: Address already in use"));
        QVERIFY(frame.isVisible());
        frame.UpdateCommandUi();
        QVERIFY(test::RequireEnabledAction(&frame, QStringLiteral("serveStart")) != nullptr);
        QVERIFY(!frame.findChild<QAction*>(QStringLiteral("serveStop"))->isEnabled());
    }

    // Serving before any check: the empty pool says so; the check that follows fills it, without a restart.
    void thePoolFollowsTheChecksOfTheList() {
        test::EchoJudge judge;
        FakeProxy live(fake::AnswerAndClose(kLiveAnswer));
        test::FrameRig rig;
        MakeServingRig(rig, judge, "127.0.0.1:19424");
        ui::CMainFrame& frame = rig.Make();
        rig.AddRows({live.Address()});
        Trigger(frame, "serveStart");
        frame.Serve().WaitForPool();
        frame.Serve().Tick();
        QCOMPARE(Pane(frame)->text(), QStringLiteral("ﾛｰｶﾙﾌﾟﾛｷｼ 127.0.0.1:19424 : ﾌﾟｰﾙが空です (0/1)"));
        std::string body;
        QCOMPARE(Curl(rig, "http://127.0.0.1:19424", body), 22); // 503: nobody to carry it

        CheckList(frame);
        frame.Serve().Tick();
        QVERIFY2(Pane(frame)->text().startsWith(QStringLiteral("ﾛｰｶﾙﾌﾟﾛｷｼ 127.0.0.1:19424 : 1/1 : ")),
                 qPrintable(Pane(frame)->text()));
        QCOMPARE(Curl(rig, "http://127.0.0.1:19424", body), 0);
    }

    // The favourites' pool is what the last re-check round found of them, the list left out.
    void aPoolOfFavouritesFollowsTheRechecks() {
        test::EchoJudge judge;
        FakeProxy live(fake::AnswerAndClose(kLiveAnswer));
        FakeProxy inList(fake::AnswerAndClose(kLiveAnswer));
        test::FrameRig rig;
        MakeServingRig(rig, judge, "127.0.0.1:19425");
        rig.settings.ServePoolRows = "favourites";
        rig.settings.AutoRecheck = true;
        rig.SetList(SettingsList::Favourites, {live.Address()});
        auto now = std::chrono::steady_clock::now();
        ui::CMainFrame& frame = rig.Make();
        frame.Rechecks().SetClock([&now] { return now; });
        rig.AddRows({inList.Address()});
        frame.Rechecks().Tick();
        CheckList(frame);
        Trigger(frame, "serveStart");
        frame.Serve().WaitForPool();
        frame.Serve().Tick();
        QCOMPARE(Pane(frame)->text(), QStringLiteral("ﾛｰｶﾙﾌﾟﾛｷｼ 127.0.0.1:19425 : ﾌﾟｰﾙが空です (0/1)"));

        now += std::chrono::minutes(30);
        frame.Rechecks().Tick();
        frame.Rechecks().Scheduler()->WaitForRound();
        frame.Rechecks().Tick();
        frame.Serve().WaitForPool();
        frame.Serve().Tick();
        QVERIFY2(Pane(frame)->text().startsWith(QStringLiteral("ﾛｰｶﾙﾌﾟﾛｷｼ 127.0.0.1:19425 : 1/1 : ")),
                 qPrintable(Pane(frame)->text()));
        std::string body;
        QCOMPARE(Curl(rig, "http://127.0.0.1:19425", body), 0);
        QVERIFY(live.WaitForFinished(2)); // its check, then curl's request
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::ServeWindowsTest)
#include "ServeWindowsTest.moc"
