#include <functional>
#include <memory>

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "core/settings/AppSettings.h"
#include "core/frame/BrowserLaunch.h"
#include "core/frame/CommandIds.h"
#include "support/FakeProxy.h"
#include "ui/support/FrameRig.h"
#include "ui/support/MenuProbe.h"
#include "ui/UiTestSupport.h"
#include "ui/frame/MainFrame.h"
#include "ui/frame/ProxyBar.h"
#include "ui/frame/TrayIcon.h"
#include "ui/list/ListPopupMenus.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"

namespace zandel {
namespace {

using ui::CMainFrame;

bool SameImage(const QIcon& a, const QIcon& b) {
    return a.pixmap(16, 16).toImage() == b.pixmap(16, 16).toImage();
}

QIcon IconA() {
    return QIcon(QStringLiteral(":/icons/tray-a.png"));
}

QIcon IconB() {
    return QIcon(QStringLiteral(":/icons/tray-b.png"));
}

class TrayIconTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<test::FrameRig> m_rig;
    CMainFrame* m_frame = nullptr;

    CMainFrame& MakeFrame() {
        m_frame = &m_rig->Make();
        return *m_frame;
    }
    ui::ProxyListView& View() { return *m_frame->View(); }
    ui::TrayIcon& Tray() { return m_frame->Tray(); }
    QSystemTrayIcon* SystemIcon() { return m_frame->findChild<QSystemTrayIcon*>(QStringLiteral("systemTrayIcon")); }
    void Favourites(const std::vector<std::string>& entries) { m_rig->SetList(SettingsList::Favourites, entries); }
    void TickBlinkTimer() { QVERIFY(QMetaObject::invokeMethod(Tray().BlinkTimer(), "timeout")); }
    // Lets the commands the menus posted to the main window run.
    static void Settle() {
        for (int round = 0; round < 3; ++round) {
            QCoreApplication::processEvents();
        }
    }
    // The popup that a right click on the icon opens, described, then closed again.
    QStringList RightClickMenu() {
        QStringList shown;
        QTimer::singleShot(0, m_frame, [&shown] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                shown = test::DescribeMenu(*menu);
                shown.prepend(menu->objectName());
                menu->close();
            }
        });
        Q_EMIT SystemIcon()->activated(QSystemTrayIcon::Context);
        Settle();
        return shown;
    }

private Q_SLOTS:
    void init() { m_rig = std::make_unique<test::FrameRig>(); }
    void cleanup() {
        m_frame = nullptr;
        m_rig.reset();
    }

    void blinkingStopsOnIconAWhateverFrameShows_data() {
        QTest::addColumn<int>("ticks");
        for (int ticks = 0; ticks <= 3; ++ticks) {
            QTest::addRow("%d ticks", ticks) << ticks;
        }
    }

    void blinkingStopsOnIconAWhateverFrameShows() {
        QFETCH(int, ticks);
        MakeFrame();
        QVERIFY(Tray().IsPresent());
        QVERIFY(SameImage(Tray().CurrentIcon(), IconA()));
        QCOMPARE(Tray().ToolTip(), QStringLiteral("Zandel"));
        QVERIFY(!SameImage(IconA(), IconB()));

        m_frame->StartCheckIndicator();
        QCOMPARE(Tray().ToolTip(), QStringLiteral("Zandel\nﾌﾟﾛｷｼﾁｪｯｸ中"));
        QVERIFY(Tray().BlinkTimer()->isActive());
        QCOMPARE(Tray().BlinkTimer()->interval(), 700);
        for (int tick = 1; tick <= ticks; ++tick) {
            TickBlinkTimer();
            QVERIFY(SameImage(Tray().CurrentIcon(), tick % 2 == 1 ? IconB() : IconA()));
        }
        m_frame->StopCheckIndicator();
        QVERIFY(!Tray().BlinkTimer()->isActive());
        QVERIFY(SameImage(Tray().CurrentIcon(), IconA()));
        QCOMPARE(Tray().ToolTip(), QStringLiteral("Zandel"));
    }

    void runBlinksAndGreysTheTrayMenusFileCommands() {
        test::FakeProxy silent(test::fake::NeverAnswer());
        m_rig->settings.WebPage = "http://127.0.0.1:9/envchk.cgi";
        m_rig->settings.TimeOut = 30;
        MakeFrame();
        View().Rows().InsertRow(0, silent.Address(), 3, 0);
        View().Rows().InsertRow(1, silent.Address(), 3, 1);
        View().Rows().SetRowSelected(0, true);
        View().Rows().SetRowSelected(1, true);
        View().StartCheck();
        QTRY_COMPARE(Tray().ToolTip(), QStringLiteral("Zandel\nﾌﾟﾛｷｼﾁｪｯｸ中"));

        std::unique_ptr<QMenu> menu = m_frame->Popups().MakeTrayMenu();
        const QStringList lines = test::DescribeMenu(*menu);
        for (int id : {cmd::kFileNew, cmd::kFileOpen, cmd::kFileSave, cmd::kFileSaveAs, cmd::kAppendFile}) {
            QVERIFY2(!test::FindCommand(*menu, id)->isEnabled(), qPrintable(QString::number(id)));
        }
        QVERIFY(lines.contains(QStringLiteral("> ﾌｧｲﾙの保存(ﾁｪｯｸ結果無し)(&E) (off)")));
        for (int id : {cmd::kRestoreFromTray, cmd::kMultiStage, cmd::kFavouriteFirst, cmd::kAppExit}) {
            QVERIFY2(test::FindCommand(*menu, id)->isEnabled(), qPrintable(QString::number(id)));
        }

        // The run ends while the second frame shows.
        Tray().Blink();
        if (!Tray().ShowsIconB()) {
            Tray().Blink();
        }
        QTRY_VERIFY((View().StopCheck(), !View().IsRunning()));
        QTRY_COMPARE(Tray().ToolTip(), QStringLiteral("Zandel"));
        QVERIFY(!Tray().BlinkTimer()->isActive());
        QVERIFY(SameImage(Tray().CurrentIcon(), IconA()));
    }

    void hideMinimizesWithoutATrayAndDoubleClickRestores_data() {
        QTest::addColumn<bool>("trayAvailable");
        QTest::newRow("no tray") << false;
        QTest::newRow("tray") << true;
    }

    void hideMinimizesWithoutATrayAndDoubleClickRestores() {
        QFETCH(bool, trayAvailable);
        MakeFrame();
        Tray().SetTrayAvailable([trayAvailable] { return trayAvailable; });
        test::RequireEnabledAction(m_frame, QStringLiteral("hideToTray"))->trigger();
        QVERIFY(m_rig->settings.TaskTray);
        if (trayAvailable) {
            QVERIFY(!m_frame->isVisible());
        } else {
            // Nothing to bring it back from: it stays on the task bar.
            QVERIFY(m_frame->isVisible());
            QTRY_VERIFY(m_frame->isMinimized());
        }
        QVERIFY(Tray().IsPresent());

        Q_EMIT SystemIcon()->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(m_frame->isVisible());
        QVERIFY(!m_frame->isMinimized());
        QVERIFY(!m_rig->settings.TaskTray);

        // Double-clicking while the window shows leaves it showing.
        Q_EMIT SystemIcon()->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(m_frame->isVisible());
        QVERIFY(Tray().IsPresent());
    }

    void rightClickShowsTheTrayMenuWithOneCheckMark() {
        Favourites({"10.0.0.5:8080", "10.0.0.5:8080", "10.0.0.6:3128"});
        m_rig->settings.FavoSel = true;
        m_rig->settings.ProxyOn = true;
        m_rig->settings.ProxyAddr = "10.0.0.5:8080";
        MakeFrame();
        const QStringList expected = {
            QStringLiteral("trayMenu"),
            QStringLiteral("32846 Zandelを元のｻｲｽﾞの戻す(&R)"),
            QStringLiteral("-"),
            QStringLiteral("57600 新規作成(&N)\tCtrl+N"),
            QStringLiteral("-"),
            QStringLiteral("57601 ﾌｧｲﾙを開く(&O)...\tCtrl+O"),
            QStringLiteral("57603 ﾌｧｲﾙの保存(ﾁｪｯｸ結果付き)(&S)\tCtrl+S"),
            QStringLiteral("57604 別名で保存(&A)..."),
            QStringLiteral("32832 現在のﾌｧｲﾙに別のﾌｧｲﾙを追加(&F)"),
            QStringLiteral("-"),
            QStringLiteral("32852 多段ﾌﾟﾛｷｼを使ってﾌﾞﾗｳｼﾞﾝｸﾞ(&D)..."),
            QStringLiteral("-"),
            QStringLiteral("> ﾌｧｲﾙの保存(ﾁｪｯｸ結果無し)(&E)"),
            QStringLiteral("  32828 全てのｱﾄﾞﾚｽ(&A)..."),
            QStringLiteral("  32829 ﾌﾟﾛｷｼﾁｪｯｸが成功したｱﾄﾞﾚｽすべて(&S)..."),
            QStringLiteral("  32835 AnonymousAとBのみ (&T)..."),
            QStringLiteral("  32834 Non-Anonymousのみ(&N)"),
            QStringLiteral("  32854 HTTPSが使えるｱﾄﾞﾚｽのみ(&H)..."),
            QStringLiteral("  32855 HTTPﾌﾟﾛｷｼのｱﾄﾞﾚｽのみ(&P)..."),
            QStringLiteral("  32856 SOCKSﾌﾟﾛｷｼのｱﾄﾞﾚｽのみ(&K)..."),
            QStringLiteral("-"),
            QStringLiteral("100 10.0.0.5:8080 [x]"),
            QStringLiteral("101 10.0.0.5:8080"),
            QStringLiteral("102 10.0.0.6:3128"),
            QStringLiteral("-"),
            QStringLiteral("200 ﾌﾟﾛｷｼ無効(&P)"),
            QStringLiteral("-"),
            QStringLiteral("32865 ﾛｰｶﾙﾌﾟﾛｷｼを開始(&R)"),
            QStringLiteral("32866 ﾛｰｶﾙﾌﾟﾛｷｼを停止(&T) (off)"),
            QStringLiteral("32867 ﾃﾞｽｸﾄｯﾌﾟのﾌﾟﾛｷｼをﾛｰｶﾙﾌﾟﾛｷｼに(&K) (off)"),
            QStringLiteral("-"),
            QStringLiteral("57665 ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)"),
        };
        QCOMPARE(RightClickMenu(), expected);

        // Proxy off: no favourite carries the mark, "ﾌﾟﾛｷｼ無効(&P)" does.
        m_frame->GetProxyBar()->SetUseProxy(0);
        const QStringList off = RightClickMenu();
        QVERIFY(off.contains(QStringLiteral("100 10.0.0.5:8080")));
        QVERIFY(off.contains(QStringLiteral("200 ﾌﾟﾛｷｼ無効(&P) [x]")));
    }

    void withoutFavouritesTheTrayMenuEndsWithNoneAndExit() {
        MakeFrame();
        const QStringList lines = RightClickMenu();
        QCOMPARE(
            lines.mid(lines.size() - 8),
            (QStringList{QStringLiteral("-"), QStringLiteral("100 なし"), QStringLiteral("-"),
                         QStringLiteral("32865 ﾛｰｶﾙﾌﾟﾛｷｼを開始(&R)"), QStringLiteral("32866 ﾛｰｶﾙﾌﾟﾛｷｼを停止(&T) (off)"),
                         QStringLiteral("32867 ﾃﾞｽｸﾄｯﾌﾟのﾌﾟﾛｷｼをﾛｰｶﾙﾌﾟﾛｷｼに(&K) (off)"), QStringLiteral("-"),
                         QStringLiteral("57665 ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)")}));
        std::unique_ptr<QMenu> menu = m_frame->Popups().MakeTrayMenu();
        QVERIFY(test::ChooseCommand(*menu, cmd::kFavouriteFirst));
        Settle();
        QVERIFY(m_rig->internet.calls.empty());
        QVERIFY(!m_rig->settings.FavoSel);
    }

    // Without a tray the window is only minimized, and the user brings it back through the window manager.
    void aMinimizedWindowBroughtBackByTheWindowManagerIsOutOfTheTray() {
        MakeFrame();
        Tray().SetTrayAvailable([] { return false; });
        m_frame->ShowInTray(true);
        QTRY_VERIFY(m_frame->isMinimized());
        QVERIFY(m_rig->settings.TaskTray);
        m_frame->windowHandle()->setWindowState(Qt::WindowNoState);
        QTRY_VERIFY(!m_frame->isMinimized());
        QVERIFY(!m_rig->settings.TaskTray);
    }

    void fileCommandsFromTheTrayRunOnceInTheMainWindow_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("restores");
        QTest::addColumn<int>("openDialogs");
        QTest::addColumn<int>("saveDialogs");
        QTest::newRow("open") << cmd::kFileOpen << true << 1 << 0;
        QTest::newRow("append") << cmd::kAppendFile << true << 1 << 0;
        QTest::newRow("save as") << cmd::kFileSaveAs << true << 0 << 1;
        QTest::newRow("save") << cmd::kFileSave << false << 0 << 1;
        QTest::newRow("save anonymous only") << cmd::kSaveAnonymous << true << 0 << 1;
    }

    void fileCommandsFromTheTrayRunOnceInTheMainWindow() {
        QFETCH(int, command);
        QFETCH(bool, restores);
        QFETCH(int, openDialogs);
        QFETCH(int, saveDialogs);
        MakeFrame();
        View().Rows().InsertRow(0, "10.0.0.1:80", 3, 0);
        Tray().SetTrayAvailable([] { return true; });
        m_frame->ShowInTray(true);
        QVERIFY(!m_frame->isVisible());

        std::unique_ptr<QMenu> menu = m_frame->Popups().MakeTrayMenu();
        QVERIFY(test::ChooseCommand(*menu, command));
        QCOMPARE(m_frame->isVisible(), restores);
        QCOMPARE(m_rig->settings.TaskTray, !restores);
        // The command runs after the menu has gone, in the main window.
        QCOMPARE(m_rig->dialogs.opens + static_cast<int>(m_rig->dialogs.proposedNames.size()), 0);
        QTRY_COMPARE(m_rig->dialogs.opens + static_cast<int>(m_rig->dialogs.proposedNames.size()),
                     openDialogs + saveDialogs);
        Settle();
        QCOMPARE(m_rig->dialogs.opens, openDialogs);
        QCOMPARE(static_cast<int>(m_rig->dialogs.proposedNames.size()), saveDialogs);
    }

    void favouriteFromTheTrayBecomesTheBrowserProxy_data() {
        QTest::addColumn<bool>("favoOn");
        QTest::newRow("FavoOn on") << true;
        QTest::newRow("FavoOn off") << false;
    }

    void favouriteFromTheTrayBecomesTheBrowserProxy() {
        QFETCH(bool, favoOn);
        const std::string longest(259, '7');
        Favourites({"10.0.0.5:8080", longest});
        m_rig->settings.FavoOn = favoOn;
        m_rig->settings.ProxyOn = !favoOn;
        m_rig->settings.ProxyAddr = "10.0.0.9:80";
        MakeFrame();
        ui::CProxyBar* bar = m_frame->GetProxyBar();
        auto* edit = bar->findChild<QWidget*>(QStringLiteral("proxyAddressEdit"));

        for (const std::string& chosen : {std::string("10.0.0.5:8080"), longest}) {
            m_rig->internet.calls.clear();
            m_rig->settings.FavoSel = false;
            std::unique_ptr<QMenu> menu = m_frame->Popups().MakeTrayMenu();
            // The menu shows a long favourite shortened; choosing it applies the whole of it.
            QVERIFY(test::FindCommand(*menu, 101)->text().size() < 70);
            QVERIFY(test::ChooseCommand(*menu, chosen == longest ? 101 : 100));
            QCOMPARE(bar->GetUseProxy(), favoOn ? 1 : 0);
            QCOMPARE(bar->GetAddr(), chosen);
            QCOMPARE(edit->isEnabled(), favoOn);
            QVERIFY(m_rig->settings.FavoSel);
            QCOMPARE(m_rig->internet.calls.size(), std::size_t{2});
            QCOMPARE(m_rig->internet.calls[0].list.proxyServer, chosen);
            QCOMPARE(m_rig->internet.calls[0].list.flags, favoOn ? kProxyTypeProxy : kProxyTypeDirect);
        }
        // The window was not asked to come back for it.
        QVERIFY(!m_rig->settings.TaskTray);
    }

    void trayCommandAfterTheListHasGoneDoesNothing() {
        Favourites({"10.0.0.5:8080"});
        MakeFrame();
        std::unique_ptr<QMenu> menu = m_frame->Popups().MakeTrayMenu();
        QVERIFY(m_frame->close());
        for (int id : {cmd::kFileOpen, cmd::kFavouriteFirst, cmd::kRestoreFromTray, cmd::kAppExit}) {
            QVERIFY(test::ChooseCommand(*menu, id));
        }
        Settle();
        QCOMPARE(m_rig->dialogs.opens, 0);
        QVERIFY(m_rig->internet.calls.empty());
        QVERIFY(!m_frame->isVisible());
        QVERIFY(m_frame->Popups().MakeTrayMenu() == nullptr);
        QVERIFY(RightClickMenu().isEmpty());
    }

    void toolbarBrowserStartsWithoutAnEmptyStartUrl() {
        // The choice of the parameter is the core's; this is the way from the toolbar to the launch.
        m_rig->settings.BwPath = "/opt/My Browser/browser";
        m_rig->settings.BwUrlOn = true;
        m_rig->settings.BwUrl.clear();
        MakeFrame();
        test::RequireEnabledAction(m_frame, QStringLiteral("openBrowser"))->trigger();
        QTRY_COMPARE(m_rig->launcher.launches.size(), std::size_t{1});
        QCOMPARE(m_rig->launcher.launches[0].program, std::string("/opt/My Browser/browser"));
        QCOMPARE(m_rig->launcher.launches[0].parameter, std::string());
    }

    void helpSaysSoWhenTheManualIsMissing() {
        // The tests' own folder has no manual beside them, nor a share folder; an installed Zandel's is not looked at.
        m_rig->settings.BwPath = "/usr/bin/xdg-open";
        MakeFrame();
        qputenv("XDG_DATA_DIRS", QByteArray(m_rig->dir.Path().c_str()));
        test::RequireEnabledAction(m_frame, QStringLiteral("helpManual"))->trigger();
        qunsetenv("XDG_DATA_DIRS");
        QCOMPARE(m_rig->messages.Boxes().size(), std::size_t{1});
        QCOMPARE(m_rig->messages.Boxes()[0].text, std::string(kNoManual));
        QVERIFY(m_rig->launcher.launches.empty());
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::TrayIconTest)
#include "TrayIconTest.moc"
