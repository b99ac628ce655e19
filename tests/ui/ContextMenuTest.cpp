#include <memory>
#include <thread>

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "core/settings/AppSettings.h"
#include "core/frame/BrowserLaunch.h"
#include "core/frame/CommandIds.h"
#include "support/FakeProxy.h"
#include "support/ThreadState.h"
#include "ui/frame/ProxyBar.h"
#include "ui/log/LogView.h"
#include "ui/list/ListPopupMenus.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "ui/support/FrameRig.h"
#include "ui/support/MenuProbe.h"

namespace zandel {
namespace {

using ui::CMainFrame;

const std::string kListFull = "50件登録しています\nこれ以上お気に入りに追加できません";
const std::string kListFilled = "50件以上登録されました\n50件以降のアドレスは無視されます";

QStringList Slots(const AppSettings& settings, SettingsList list) {
    QStringList entries;
    for (const std::string& entry : ListEntries(settings, list)) {
        entries << QString::fromStdString(entry);
    }
    return entries;
}

class ContextMenuTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<test::FrameRig> m_rig;
    CMainFrame* m_frame = nullptr;

    CMainFrame& MakeFrame(const std::vector<std::string>& rows = {}) {
        m_frame = &m_rig->Make();
        m_rig->AddRows(rows);
        return *m_frame;
    }
    ui::ProxyListView& View() { return *m_frame->View(); }
    void Select(std::initializer_list<int> rows) {
        for (int row : rows) {
            View().Rows().SetRowSelected(row, true);
        }
    }
    std::unique_ptr<QMenu> Menu() { return m_frame->Popups().MakeContextMenu(); }
    bool Choose(int id) {
        std::unique_ptr<QMenu> menu = Menu();
        return menu != nullptr && test::ChooseCommand(*menu, id);
    }
    QStringList Favourites() const { return Slots(m_rig->settings, SettingsList::Favourites); }
    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : m_rig->messages.Boxes()) {
            texts.push_back(box.text);
        }
        return texts;
    }
    static void Settle() {
        for (int round = 0; round < 3; ++round) {
            QCoreApplication::processEvents();
        }
    }

private Q_SLOTS:
    void init() { m_rig = std::make_unique<test::FrameRig>(); }
    void cleanup() {
        m_frame = nullptr;
        m_rig.reset();
    }

    void rightClickOnARowOpensTheWholeMenu() {
        m_rig->SetList(SettingsList::Favourites, {"10.0.0.5:8080", "10.0.0.5:8080"});
        m_rig->settings.FavoSel = true;
        m_rig->settings.ProxyOn = true;
        m_rig->settings.ProxyAddr = "10.0.0.5:8080";
        m_rig->settings.ForegroundWindow = true;
        MakeFrame({"10.0.0.1:80", "10.0.0.2:80"});

        QStringList shown;
        QTimer::singleShot(0, m_frame, [&shown] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                shown = test::DescribeMenu(*menu);
                menu->close();
            }
        });
        QWidget* viewport = View().viewport();
        const QPoint onRow = View().visualRect(View().model()->index(1, 0)).center();
        // A right click: the press marks the row, then the desktop asks for the context menu.
        QTest::mouseClick(viewport, Qt::RightButton, {}, onRow);
        QContextMenuEvent request(QContextMenuEvent::Mouse, onRow, viewport->mapToGlobal(onRow));
        QApplication::sendEvent(viewport, &request);
        QTRY_VERIFY(!shown.isEmpty());
        const QStringList expected = {
            QStringLiteral("32777 ﾌﾟﾛｷｼﾁｪｯｸ開始(&S)"),
            QStringLiteral("32781 ﾌﾟﾛｷｼﾁｪｯｸ停止(&T) (off)"),
            QStringLiteral("32831 ﾌﾟﾛｷｼﾁｪｯｸのｽｷｯﾌﾟ(&K) (off)"),
            QStringLiteral("-"),
            QStringLiteral("32780 ﾌﾟﾛｷｼのON/OFF(&N) [x]"),
            QStringLiteral("32779 ﾌﾟﾛｷｼをﾁｪﾝｼﾞする(&G)"),
            QStringLiteral("-"),
            QStringLiteral("> お気に入りﾌﾟﾛｷｼﾘｽﾄから選択(&L)"),
            QStringLiteral("  100 10.0.0.5:8080 [x]"),
            QStringLiteral("  101 10.0.0.5:8080"),
            QStringLiteral("32836 お気に入りﾌﾟﾛｷｼﾘｽﾄへ登録(P)"),
            QStringLiteral("-"),
            QStringLiteral("32865 ﾛｰｶﾙﾌﾟﾛｷｼを開始(&R)"),
            QStringLiteral("32866 ﾛｰｶﾙﾌﾟﾛｷｼを停止(&T) (off)"),
            QStringLiteral("32867 ﾃﾞｽｸﾄｯﾌﾟのﾌﾟﾛｷｼをﾛｰｶﾙﾌﾟﾛｷｼに(&K) (off)"),
            QStringLiteral("-"),
            QStringLiteral("32853 多段接続用ﾌﾟﾛｷｼﾘｽﾄへ登録(Q)"),
            QStringLiteral("-"),
            QStringLiteral("32774 編集(&E)"),
            QStringLiteral("32859 ﾁｪｯｸ履歴(&Y)..."),
            QStringLiteral("32784 ﾁｪｯｸ結果をｸﾘｱ(&R)"),
            QStringLiteral("-"),
            QStringLiteral("32782 すべて選択 (&A)               Ctrl+A"),
            QStringLiteral("32861 使用可能なｱﾄﾞﾚｽを選択(&V)"),
            QStringLiteral("32862 NGのｱﾄﾞﾚｽを選択(&B)"),
            QStringLiteral("-"),
            QStringLiteral("32775 現在の位置に追加(&I)"),
            QStringLiteral("32778 最後に追加(&L)"),
            QStringLiteral("32776 削除(&D)"),
            QStringLiteral("32863 NGのｱﾄﾞﾚｽを削除(&X)"),
            QStringLiteral("-"),
            QStringLiteral("32848 上へ移動(&U)"),
            QStringLiteral("32849 下へ移動(&M)"),
            QStringLiteral("-"),
            QStringLiteral("32785 常に前面に表示(&F) [x]"),
            QStringLiteral("-"),
            QStringLiteral("32787 ﾌﾞﾗｳｻﾞの起動(&W)"),
            QStringLiteral("-"),
            QStringLiteral("32845 ﾀｽｸﾄﾚｲに収納(&H)"),
        };
        QCOMPARE(shown, expected);
        // The right click marked the row it hit.
        QCOMPARE(View().Rows().SelectionMark(), 1);
    }

    void emptyListOffersOnlyAddingAmongTheRowCommands() {
        MakeFrame();
        std::unique_ptr<QMenu> menu = Menu();
        QVERIFY(menu != nullptr);
        for (int id : {cmd::kStartCheck, cmd::kStopCheck, cmd::kSkipCheck, cmd::kEdit, cmd::kInsert, cmd::kDelete,
                       cmd::kSelectAll, cmd::kClearResults, cmd::kMoveUp, cmd::kMoveDown}) {
            QVERIFY2(!test::FindCommand(*menu, id)->isEnabled(), qPrintable(QString::number(id)));
        }
        QVERIFY(test::FindCommand(*menu, cmd::kFavouriteFirst)->text() == QStringLiteral("なし"));
        QVERIFY(test::ChooseCommand(*menu, cmd::kAddAtEnd));
        QCOMPARE(View().Rows().RowCount(), 1);
        QCOMPARE(View().Rows().GetCellText(0, 0), std::string("0.0.0.0:0"));
    }

    void rowsWithoutASelectionMarkShowNoMenu() {
        MakeFrame({"10.0.0.1:80"});
        View().setCurrentIndex(QModelIndex());
        View().clearSelection();
        QVERIFY(Menu() == nullptr);
    }

    void runOffersStopAndSkipWhileMoreThanOneRemains() {
        test::FakeProxy silent(test::fake::NeverAnswer());
        m_rig->settings.WebPage = "http://127.0.0.1:9/envchk.cgi";
        m_rig->settings.TimeOut = 30;
        MakeFrame({silent.Address(), silent.Address()});
        Select({0, 1});
        View().StartCheck();
        QTRY_COMPARE(View().RemainingCount(), 2);
        // A skip counts once the probe waits on the proxy; one that comes while it sets its job up is lost.
        QTRY_VERIFY(m_frame->GetLogView()->toPlainText().contains(QStringLiteral("SEND>")));
        QVERIFY(test::WaitUntilSomeThreadPolls(m_rig->settings.TimeOut * 1000 + 10000));
        {
            std::unique_ptr<QMenu> menu = Menu();
            QVERIFY(!test::FindCommand(*menu, cmd::kStartCheck)->isEnabled());
            QVERIFY(test::FindCommand(*menu, cmd::kStopCheck)->isEnabled());
            QVERIFY(test::FindCommand(*menu, cmd::kSkipCheck)->isEnabled());
            for (int id : {cmd::kEdit, cmd::kInsert, cmd::kAddAtEnd, cmd::kDelete, cmd::kSelectAll, cmd::kClearResults,
                           cmd::kMoveUp, cmd::kMoveDown}) {
                QVERIFY2(!test::FindCommand(*menu, id)->isEnabled(), qPrintable(QString::number(id)));
            }
            QVERIFY(test::ChooseCommand(*menu, cmd::kSkipCheck));
        }
        QTRY_COMPARE(View().RemainingCount(), 1);
        QVERIFY(!test::FindCommand(*Menu(), cmd::kSkipCheck)->isEnabled());
        QVERIFY(Choose(cmd::kStopCheck));
        QTRY_VERIFY((View().StopCheck(), !View().IsRunning()));
    }

    void favouriteChosenFromTheSubmenuCarriesTheMark_data() {
        QTest::addColumn<bool>("favoOn");
        QTest::newRow("FavoOn on") << true;
        QTest::newRow("FavoOn off") << false;
    }

    void favouriteChosenFromTheSubmenuCarriesTheMark() {
        QFETCH(bool, favoOn);
        m_rig->SetList(SettingsList::Favourites, {"10.0.0.5:8080", "10.0.0.6:3128"});
        m_rig->settings.FavoOn = favoOn;
        MakeFrame({"10.0.0.1:80"});
        Select({0});
        ui::CProxyBar* bar = m_frame->GetProxyBar();

        QVERIFY(Choose(cmd::kFavouriteFirst + 1));
        QVERIFY(m_rig->settings.FavoSel);
        QCOMPARE(bar->GetAddr(), std::string("10.0.0.6:3128"));
        // The mark follows the choice, and only while the proxy is on.
        QCOMPARE(test::FindCommand(*Menu(), cmd::kFavouriteFirst + 1)->isChecked(), favoOn);
        QVERIFY(!test::FindCommand(*Menu(), cmd::kFavouriteFirst)->isChecked());
        // Another command is no favourite choice: FavoSel stays as the choice left it.
        m_rig->settings.FavoSel = false;
        QVERIFY(Choose(cmd::kProxyOnOff));
        QVERIFY(!m_rig->settings.FavoSel);
    }

    void registeringFillsTheFavouritesUpToFifty() {
        std::vector<std::string> favourites;
        for (int slot = 0; slot < 48; ++slot) {
            favourites.push_back("10.1.0." + std::to_string(slot) + ":80");
        }
        m_rig->SetList(SettingsList::Favourites, favourites);
        MakeFrame({"10.0.0.0:80", "10.0.0.1:80", "10.0.0.2:80", "10.0.0.3:80"});
        Select({1, 2, 3});

        QVERIFY(Choose(cmd::kRegisterFavourites));
        QCOMPARE(Favourites().size(), 50);
        QCOMPARE(Favourites().mid(48), (QStringList{QStringLiteral("10.0.0.1:80"), QStringLiteral("10.0.0.2:80")}));
        QCOMPARE(MessageTexts(), std::vector<std::string>{kListFilled});
        QCOMPARE(m_rig->messages.Boxes()[0].icon, MbIcon::Warning);
        QVERIFY(!m_frame->Document().IsModified());
        // The new entries are in the submenu the next time it is built.
        QCOMPARE(test::FindCommand(*Menu(), cmd::kFavouriteLast)->text(), QStringLiteral("10.0.0.2:80"));

        // Full: refused before the rows are looked at, also on an empty list.
        m_rig->messages.Clear();
        QVERIFY(Choose(cmd::kRegisterFavourites));
        View().Rows().RemoveAllRows();
        QVERIFY(Choose(cmd::kRegisterFavourites));
        QCOMPARE(MessageTexts(), (std::vector<std::string>{kListFull, kListFull}));
        QCOMPARE(Favourites().size(), 50);
    }

    void registeringChainProxiesTakesDuplicatesUntilFull() {
        MakeFrame({"10.0.0.1:80", "10.0.0.2:80"});
        Select({0});
        QVERIFY(Choose(cmd::kRegisterChainProxies));
        QVERIFY(Choose(cmd::kRegisterChainProxies));
        QCOMPARE(Slots(m_rig->settings, SettingsList::ChainProxies),
                 (QStringList{QStringLiteral("10.0.0.1:80"), QStringLiteral("10.0.0.1:80")}));

        m_rig->SetList(SettingsList::ChainProxies, std::vector<std::string>(50, "10.9.9.9:80"));
        Select({1});
        QVERIFY(Choose(cmd::kRegisterChainProxies));
        QCOMPARE(MessageTexts(), std::vector<std::string>{kListFilled});
        QVERIFY(!Slots(m_rig->settings, SettingsList::ChainProxies).contains(QStringLiteral("10.0.0.2:80")));
    }

    void windowCommandsReachTheMainWindow() {
        m_rig->settings.BwPath = "/opt/browser";
        m_rig->settings.BwUrl = "http://127.0.0.1/start";
        MakeFrame({"10.0.0.1:80"});
        Select({0});

        QVERIFY(Choose(cmd::kOpenBrowser));
        QCOMPARE(m_rig->launcher.launches.size(), std::size_t{1});
        QCOMPARE(m_rig->launcher.launches[0].parameter, std::string("http://127.0.0.1/start"));
        QVERIFY(MessageTexts().empty());
        // A browser that cannot be started is told, not passed over.
        m_rig->launcher.starts = false;
        QVERIFY(Choose(cmd::kOpenBrowser));
        QCOMPARE(MessageTexts(), std::vector<std::string>{LaunchFailedText("/opt/browser")});
        // So is one that started and failed at once, seen by a thread of the launcher's.
        m_rig->launcher.starts = true;
        QVERIFY(Choose(cmd::kOpenBrowser));
        std::thread(m_rig->launcher.lastFailed).join();
        QTRY_COMPARE(MessageTexts(), std::vector<std::string>(2, LaunchFailedText("/opt/browser")));

        QVERIFY(Choose(cmd::kAlwaysOnTop));
        QTRY_VERIFY(m_rig->settings.ForegroundWindow);
        QVERIFY(Choose(cmd::kHideToTray));
        QTRY_VERIFY(m_rig->settings.TaskTray);
        QVERIFY(m_frame->isVisible());
    }

    void proxyOffFromTheTraySwitchesOffKeepingTheAddress() {
        m_rig->SetList(SettingsList::Favourites, {"10.0.0.5:8080"});
        m_rig->settings.ProxyOn = true;
        m_rig->settings.ProxyAddr = "10.0.0.7:3128";
        MakeFrame();
        std::unique_ptr<QMenu> tray = m_frame->Popups().MakeTrayMenu();
        QVERIFY(test::ChooseCommand(*tray, cmd::kProxyOff));
        ui::CProxyBar* bar = m_frame->GetProxyBar();
        QCOMPARE(bar->GetUseProxy(), 0);
        QCOMPARE(bar->GetAddr(), std::string("10.0.0.7:3128"));
        QVERIFY(!bar->findChild<QWidget*>(QStringLiteral("proxyAddressEdit"))->isEnabled());
        QCOMPARE(m_rig->internet.calls.back().list.proxyServer, std::string("10.0.0.7:3128"));
        QCOMPARE(m_rig->internet.calls.back().list.flags, kProxyTypeDirect);
        QVERIFY(test::FindCommand(*m_frame->Popups().MakeTrayMenu(), cmd::kProxyOff)->isChecked());
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::ContextMenuTest)
#include "ContextMenuTest.moc"
