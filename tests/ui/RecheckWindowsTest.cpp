#include <chrono>
#include <string>

#include <QStatusBar>
#include <QTest>

#include "core/app/AppSettings.h"
#include "core/list/ProxyRow.h"
#include "support/EchoJudge.h"
#include "support/FakeProxy.h"
#include "ui/UiTestSupport.h"
#include "ui/frame/MainFrame.h"
#include "ui/frame/ProxyBar.h"
#include "ui/frame/RecheckWindows.h"
#include "ui/frame/TrayIcon.h"
#include "ui/list/ListRows.h"
#include "ui/list/RidIdiView.h"
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

    Clock::time_point m_now = Clock::now();

private Q_SLOTS:
    void deadDesktopProxyIsReplacedThroughTheBarAndTheListIsLeftAlone() {
        test::EchoJudge judge;
        FakeProxy dead(fake::Refuse());
        FakeProxy live(fake::AnswerAndClose("HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n"));
        test::FrameRig rig;
        rig.settings.WebPage = judge.Url();
        rig.settings.TimeOut = 5;
        rig.settings.ProxyOn = true;
        rig.settings.ProxyAddr = dead.Address();
        rig.settings.AutoRecheck = true;
        rig.settings.Failover = true;
        rig.SetList(SettingsList::Favourites, {live.Address()});
        ui::CMainFrame& frame = rig.Make();
        frame.Rechecks().SetClock([this] { return m_now; });
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
