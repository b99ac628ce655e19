#include <algorithm>
#include <chrono>
#include <mutex>
#include <set>
#include <string>

#include <QLabel>
#include <QStatusBar>
#include <QTest>

#include "core/settings/AppSettings.h"
#include "core/list/ProxyRow.h"
#include "support/EchoJudge.h"
#include "support/FakeProxy.h"
#include "support/HttpHead.h"
#include "support/LoopbackServer.h"
#include "support/ServerConnection.h"
#include "ui/UiTestSupport.h"
#include "ui/frame/MainFrame.h"
#include "ui/frame/ProxyBar.h"
#include "ui/frame/RecheckWindows.h"
#include "ui/frame/TrayIcon.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "ui/log/LogView.h"
#include "ui/support/FrameRig.h"

namespace zandel {
namespace {

using test::FakeProxy;
namespace fake = test::fake;
using Clock = std::chrono::steady_clock;

// The re-checks in the main window, on a clock of the test's own: the rounds leave the list alone, and failover
// goes through the proxy bar to the desktop and is told where the user sees it.
class RecheckWindowsTest : public QObject {
    Q_OBJECT

private:
    void Round(ui::CMainFrame& frame) {
        m_now += std::chrono::minutes(30);
        frame.Rechecks().Tick();
        QVERIFY(frame.Rechecks().Scheduler()->RoundRunning());
        frame.Rechecks().Scheduler()->WaitForRound();
        frame.Rechecks().Tick();
    }

    // The desktop's proxy on, re-checks and failover on, one favourite, the rounds on the test's clock.
    ui::CMainFrame& MakeFailoverFrame(test::FrameRig& rig, const test::EchoJudge& judge, const std::string& desktop,
                                      const std::string& favourite) {
        rig.settings.WebPage = judge.Url();
        rig.settings.TimeOut = 5;
        rig.settings.ProxyOn = true;
        rig.settings.ProxyAddr = desktop;
        rig.settings.AutoRecheck = true;
        rig.settings.Failover = true;
        rig.SetList(SettingsList::Favourites, {favourite});
        ui::CMainFrame& frame = rig.Make();
        frame.Rechecks().SetClock([this] { return m_now; });
        return frame;
    }

    Clock::time_point m_now = Clock::now();

private Q_SLOTS:
    void deadDesktopProxyIsReplacedThroughTheBarAndTheListIsLeftAlone() {
        test::EchoJudge judge;
        FakeProxy dead(fake::Refuse());
        FakeProxy live(fake::AnswerAndClose("HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n"));
        test::FrameRig rig;
        ui::CMainFrame& frame = MakeFailoverFrame(rig, judge, dead.Address(), live.Address());
        rig.AddRows({dead.Address()});
        frame.View()->Rows().SetRowSelected(0, true);
        const ProxyRow before = frame.View()->Rows().GetRow(0);
        frame.Rechecks().Tick();

        Round(frame);
        QCOMPARE(frame.GetProxyBar()->GetAddr(), dead.Address());
        QVERIFY(rig.internet.calls.empty());
        Round(frame);

        QCOMPARE(frame.GetProxyBar()->GetAddr(), live.Address());
        QCOMPARE(frame.GetProxyBar()->GetUseProxy(), 1);
        QVERIFY(!rig.internet.calls.empty());
        QCOMPARE(rig.internet.calls.back().list.proxyServer, live.Address());
        QCOMPARE(rig.internet.calls.back().list.flags, kProxyTypeProxy);
        QVERIFY(rig.settings.FavoSel);
        // Offscreen there is no tray: the notice goes to the status bar.
        const QString notice = frame.statusBar()->currentMessage();
        QVERIFY(notice.contains(QString::fromStdString(dead.Address())));
        QVERIFY(notice.contains(QString::fromStdString(live.Address())));
        QCOMPARE(frame.Tray().LastNotice(), notice);
        QVERIFY(frame.GetLogView()->toPlainText().contains(QStringLiteral("FAILOVER>")));

        QVERIFY(frame.View()->Rows().GetRow(0).cells == before.cells);
        QVERIFY(frame.View()->Rows().IsRowSelected(0));
    }

    // A list from the web is fetched again as each round comes due: what the source now lists comes in, what it
    // dropped goes, what the user added stays, and the list is checked. A source that fails leaves the list as it
    // is with one log line and no box.
    void aListFromAUrlIsFetchedAgainAndCheckedEachRound() {
        std::mutex mutex;
        std::string body = "127.0.0.1:1\n";
        bool found = true;
        test::LoopbackServer server([&](test::ServerConnection& connection) {
            test::RequestHead head;
            if (!connection.ReadRequestHead() || !test::ParseRequestHead(connection.RequestHead(), head)) {
                return;
            }
            std::lock_guard lock(mutex);
            const std::string text = found ? body : "gone";
            connection.Send(std::string("HTTP/1.1 ") + (found ? "200 OK" : "404 Not Found") + "\r\nContent-Length: " +
                            std::to_string(text.size()) + "\r\nConnection: close\r\n\r\n" + text);
        });
        test::EchoJudge judge;
        test::FrameRig rig;
        rig.settings.WebPage = judge.Url();
        rig.settings.TimeOut = 5;
        rig.settings.AutoRecheck = true;
        rig.settings.RefetchList = true;
        ui::CMainFrame& frame = rig.Make();
        frame.Rechecks().SetClock([this] { return m_now; });
        ui::ListRows& rows = frame.View()->Rows();
        rig.dialogs.urlAnswers = {{"http://127.0.0.1:" + std::to_string(server.Port()) + "/list.txt", false}};
        test::RequireEnabledAction(&frame, QStringLiteral("fileOpenUrl"))->trigger();
        QTRY_COMPARE(rows.RowCount(), 1);
        rig.AddRows({"127.0.0.1:3"});
        frame.Rechecks().Tick();
        QVERIFY(!frame.View()->IsRunning());

        {
            std::lock_guard lock(mutex);
            body = "127.0.0.1:2\n";
        }
        m_now += std::chrono::minutes(30);
        frame.Rechecks().Tick();
        const auto addresses = [&rows] {
            std::set<std::string> all;
            for (int row = 0; row < rows.RowCount(); ++row) {
                all.insert(rows.GetCellText(row, 0));
            }
            return all;
        };
        QTRY_COMPARE(addresses(), (std::set<std::string>{"127.0.0.1:2", "127.0.0.1:3"}));
        // Both rows checked, the user's too: the run took the whole list.
        QTRY_VERIFY(!frame.View()->IsRunning() && rows.GetCellText(0, 1) != kUncheckedResult &&
                    rows.GetCellText(1, 1) != kUncheckedResult);
        QVERIFY(rig.messages.Boxes().empty());

        {
            std::lock_guard lock(mutex);
            found = false;
        }
        const ProxyRow before = rows.GetRow(1);
        m_now += std::chrono::minutes(30);
        frame.Rechecks().Tick();
        QTRY_VERIFY(frame.GetLogView()->toPlainText().contains(QStringLiteral("ﾘｽﾄの再取得に失敗しました")));
        QCOMPARE(frame.GetLogView()->toPlainText().count(QStringLiteral("ﾘｽﾄの再取得に失敗しました")), 1);
        QCOMPARE(rows.RowCount(), 2);
        QVERIFY(rows.GetRow(1).cells == before.cells);
        QVERIFY(!frame.View()->IsRunning());
        QVERIFY(rig.messages.Boxes().empty());
    }

    // With no live favourite the notice names the dead proxy and says that nothing was changed: longer than the room
    // the count panes leave, which cut it off. It shows whole, and the panes come back once it is gone.
    void aNoticeWithoutALiveFavouriteShowsWhole() {
        test::EchoJudge judge;
        FakeProxy dead(fake::Refuse());
        FakeProxy deadFavourite(fake::Refuse());
        test::FrameRig rig;
        ui::CMainFrame& frame = MakeFailoverFrame(rig, judge, dead.Address(), deadFavourite.Address());
        frame.Rechecks().Tick();
        Round(frame);
        Round(frame);

        QStatusBar* bar = frame.statusBar();
        const QString notice = bar->currentMessage();
        QVERIFY2(notice.contains(QStringLiteral("ﾌﾟﾛｷｼの設定は変更していません")), qPrintable(notice));
        int room = bar->width();
        const QList<QLabel*> panes = bar->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
        for (const QLabel* pane : panes) {
            if (pane->isVisible()) {
                room = std::min(room, pane->x());
            }
        }
        QVERIFY2(
            bar->fontMetrics().horizontalAdvance(notice) < room,
            qPrintable(
                QStringLiteral("%1 px of text in %2 px").arg(bar->fontMetrics().horizontalAdvance(notice)).arg(room)));
        bar->clearMessage();
        QVERIFY(frame.findChild<QLabel*>(QStringLiteral("rowCountPane"))->isVisible());
        QVERIFY(frame.findChild<QLabel*>(QStringLiteral("selectedCountPane"))->isVisible());
    }

    void nothingHappensWhileTheRechecksAreOff() {
        test::FrameRig rig;
        rig.settings.ProxyOn = true;
        rig.settings.ProxyAddr = "127.0.0.1:9";
        rig.settings.Failover = true;
        ui::CMainFrame& frame = rig.Make();
        frame.Rechecks().SetClock([this] { return m_now; });
        m_now += std::chrono::hours(48);
        frame.Rechecks().Tick();
        QVERIFY(frame.Rechecks().Scheduler() == nullptr);
        QVERIFY(rig.internet.calls.empty());
        QVERIFY(frame.GetLogView()->toPlainText().isEmpty());
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::RecheckWindowsTest)
#include "RecheckWindowsTest.moc"
