#include <atomic>
#include <memory>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QTimer>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QToolBar>

#include "core/settings/AppSettings.h"
#include "core/frame/CommandIds.h"
#include "core/frame/CommandTable.h"
#include "core/proxy/InternetSettings.h"
#include "core/util/Texts.h"
#include "platform/ProgramLauncher.h"
#include "platform/RecentFileList.h"
#include "support/FakeFileDialogs.h"
#include "support/FakeProxy.h"
#include "support/HttpHead.h"
#include "support/LoopbackServer.h"
#include "support/ServerConnection.h"
#include "support/RecordingServices.h"
#include "support/TempDir.h"
#include "support/ThreadState.h"
#include "ui/UiTestSupport.h"
#include "ui/frame/CheckBar.h"
#include "core/frame/FileCommands.h"
#include "ui/frame/FileDialogs.h"
#include "ui/frame/MainFrame.h"
#include "ui/frame/ProxyBar.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "ui/log/LogView.h"

namespace zandel {
namespace {

using ui::CMainFrame;

QStringList ActionNames(const QList<QAction*>& actions) {
    QStringList names;
    for (const QAction* action : actions) {
        if (action->isSeparator()) {
            names << QStringLiteral("|");
        } else if (action->isVisible()) {
            names << (action->menu() != nullptr ? action->menu()->objectName() : action->objectName());
        }
    }
    return names;
}

class MainFrameTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<test::TempDir> m_dir;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<test::MessageRecorder> m_messages;
    std::unique_ptr<RecordingInternetSettings> m_internet;
    std::unique_ptr<RecordingLauncher> m_launcher;
    std::unique_ptr<RecentFileList> m_recent;
    std::unique_ptr<test::FakeFileDialogs> m_dialogs;
    std::unique_ptr<CMainFrame> m_frame;

    CMainFrame& MakeFrame() {
        m_frame = std::make_unique<CMainFrame>(*m_settings, *m_internet, *m_launcher, *m_recent, m_dialogs.get());
        m_frame->show();
        return *m_frame;
    }
    ui::ProxyListView& View() { return *m_frame->View(); }
    bool Enabled(const char* name) {
        auto* action = m_frame->findChild<QAction*>(QString::fromUtf8(name));
        if (action == nullptr) {
            qWarning("no action %s", name);
            return false;
        }
        return action->isEnabled();
    }
    void AddRows(const std::vector<std::string>& addresses) {
        for (const std::string& address : addresses) {
            View().Rows().InsertRow(View().Rows().RowCount(), address, 3, View().Rows().RowCount());
        }
    }
    std::string WriteList(const std::string& name, const std::string& text) { return m_dir->Write(name, text); }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<test::TempDir>();
        m_settings = std::make_unique<AppSettings>();
        m_settings->StartDir = m_dir->Path();
        m_messages = std::make_unique<test::MessageRecorder>();
        m_internet = std::make_unique<RecordingInternetSettings>();
        m_launcher = std::make_unique<RecordingLauncher>();
        m_recent = std::make_unique<RecentFileList>(m_dir->File("config/Zandel.ini"));
        m_dialogs = std::make_unique<test::FakeFileDialogs>();
    }

    void cleanup() {
        m_frame.reset();
        m_messages.reset();
    }

    void toolbarHoldsSixteenDrawnButtonsInOrder() {
        MakeFrame();
        auto* toolBar = m_frame->findChild<QToolBar*>(QStringLiteral("mainToolBar"));
        QVERIFY(toolBar != nullptr);
        QCOMPARE(
            ActionNames(toolBar->actions()).join(QLatin1Char(' ')),
            QStringLiteral("fileNew fileOpen fileSave | editAddress selectAll clearResults deleteRows moveUp "
                           "moveDown | openBrowser hideToTray | settings alwaysOnTop logFont clearLog | appAbout"));
        for (QAction* action : toolBar->actions()) {
            if (!action->isSeparator()) {
                QVERIFY2(!action->icon().pixmap(16, 16).isNull(), qPrintable(action->objectName()));
                QVERIFY(!action->toolTip().isEmpty());
                QVERIFY(!action->statusTip().isEmpty());
            }
        }
        // The two bars stand beside the toolbar at the top.
        QCOMPARE(m_frame->toolBarArea(m_frame->GetProxyBar()), Qt::TopToolBarArea);
        QCOMPARE(m_frame->toolBarArea(m_frame->GetCheckBar()), Qt::TopToolBarArea);
    }

    void menusStandByPosition() {
        MakeFrame();
        QStringList titles;
        for (QAction* action : m_frame->menuBar()->actions()) {
            titles << action->text();
        }
        QCOMPARE(titles, (QStringList{QStringLiteral("ﾌｧｲﾙ(&F)"), QStringLiteral("編集(&E)"),
                                      QStringLiteral("表示(&V)"), QStringLiteral("オプション(&O)"),
                                      QStringLiteral("多段接続(&D)..."), QStringLiteral("ﾍﾙﾌﾟ(&H)")}));
        auto* file = m_frame->findChild<QMenu*>(QStringLiteral("menuFile"));
        QCOMPARE(
            ActionNames(file->actions()).join(QLatin1Char(' ')),
            QStringLiteral("fileNew | fileOpen fileOpenUrl fileSave fileSaveAs fileAppend | menuSaveWithoutResults "
                           "fileExport | recentFilesPlaceholder | appExit"));
        auto* saves = m_frame->findChild<QMenu*>(QStringLiteral("menuSaveWithoutResults"));
        QCOMPARE(saves->title(), QStringLiteral("ﾌｧｲﾙの保存(ﾁｪｯｸ結果無し)(&E)"));
        QCOMPARE(ActionNames(saves->actions()).join(QLatin1Char(' ')),
                 QStringLiteral("saveAllAddresses saveNotNG saveAnonymous saveNonAnonymous saveHttps saveHttpProxies "
                                "saveSocksProxies"));
        QCOMPARE(m_frame->findChild<QAction*>(QStringLiteral("selectAll"))->shortcut(),
                 QKeySequence(QStringLiteral("Ctrl+A")));
        QCOMPARE(m_frame->findChild<QAction*>(QStringLiteral("editPaste"))->shortcuts().size(), 2);
    }

    void recentFilesTakeTheMenuPlaceOfTheirLabel() {
        const std::string a = WriteList("a.txt", "10.0.0.1:80\r\n");
        const std::string b = WriteList("b.txt", "10.0.0.2:80\r\n");
        MakeFrame();
        QVERIFY(m_frame->Files().OpenPath(a));
        QVERIFY(m_frame->Files().OpenPath(b));
        auto* file = m_frame->findChild<QMenu*>(QStringLiteral("menuFile"));
        QCOMPARE(ActionNames(file->actions()).mid(11, 3).join(QLatin1Char(' ')),
                 QStringLiteral("recentFile1 recentFile2 |"));
        QVERIFY(m_frame->findChild<QAction*>(QStringLiteral("recentFile1"))->text().endsWith(QStringLiteral("b.txt")));
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("recentFile2"))->trigger();
        QCOMPARE(m_frame->Document().PathName(), a);
        QCOMPARE(View().Rows().GetCellText(0, 0), std::string("10.0.0.1:80"));
    }

    void emptyListLeavesOnlyAddAndAppend() {
        MakeFrame();
        m_frame->MenuBarOpened();
        for (const char* name :
             {"editAddress", "insertRow", "deleteRows", "selectAll", "clearResults", "moveUp", "moveDown"}) {
            QVERIFY2(!Enabled(name), name);
        }
        QVERIFY(Enabled("addRow"));
        QVERIFY(Enabled("fileAppend"));
        QVERIFY(Enabled("fileSave"));
        QVERIFY(!m_frame->GetCheckBar()->StartStopButton()->isEnabled());
        QVERIFY(!m_frame->GetCheckBar()->SkipButton()->isEnabled());
    }

    void runGreysFileAndEditCommandsAndTheCloseQuestionDecides() {
        test::FakeProxy silent(test::fake::NeverAnswer());
        m_settings->WebPage = "http://127.0.0.1:9/envchk.cgi";
        m_settings->TimeOut = 30;
        MakeFrame();
        AddRows({silent.Address(), silent.Address(), silent.Address()});
        for (int row = 0; row < 3; ++row) {
            View().Rows().SetRowSelected(row, true);
        }
        m_frame->UpdateCommandUi();
        QVERIFY(m_frame->GetCheckBar()->StartStopButton()->isEnabled());
        QTest::mouseClick(m_frame->GetCheckBar()->StartStopButton(), Qt::LeftButton);
        QTRY_VERIFY(View().IsRunning());
        QTRY_COMPARE(m_frame->GetCheckBar()->StartStopButton()->text(), QStringLiteral("停止(&T)"));

        m_frame->MenuBarOpened();
        for (const char* name :
             {"fileNew", "fileOpen", "fileSave", "fileSaveAs", "fileAppend", "editAddress", "insertRow", "addRow",
              "deleteRows", "selectAll", "clearResults", "moveUp", "moveDown", "clearLog"}) {
            QVERIFY2(!Enabled(name), name);
        }
        QVERIFY(!m_frame->findChild<QMenu*>(QStringLiteral("menuSaveWithoutResults"))->menuAction()->isEnabled());
        for (const char* name : {"settings", "multiStage", "openBrowser", "helpManual", "appAbout", "hideToTray",
                                 "alwaysOnTop", "logFont"}) {
            QVERIFY2(Enabled(name), name);
        }
        QTRY_VERIFY((m_frame->UpdateCommandUi(), m_frame->GetCheckBar()->SkipButton()->isEnabled()));
        QTRY_VERIFY(m_frame->windowTitle().contains(QStringLiteral("ﾁｪｯｸ中…")));

        m_messages->QueueAnswer(MbResult::Cancel);
        QVERIFY(!m_frame->close());
        QVERIFY(View().IsRunning());
        QCOMPARE(m_messages->Boxes().size(), std::size_t{1});
        QCOMPARE(m_messages->Boxes()[0].text, std::string(texts::kCloseDuringRun));
        QCOMPARE(m_messages->Boxes()[0].buttons, MbButtons::OkCancel);

        m_messages->QueueAnswer(MbResult::Ok);
        // Closing stops the run and waits for its thread, which a proxy that never answers cannot hold up.
        QVERIFY(m_frame->close());
        QVERIFY(!m_frame->isVisible());
    }

    // A run of many at once counts its rows in the status bar beside the running count, and in the title, whose
    // start a taskbar shows, in place of an address that would change for every proxy; one at a time, the window
    // shows the run as it always has. Neither count stays once the run is over.
    void aRunOfManyCountsItsRowsWhereOneAtATimeShowsItsProxy_data() {
        QTest::addColumn<int>("atOnce");
        QTest::newRow("one at a time") << 1;
        QTest::newRow("three at once") << 3;
    }
    void aRunOfManyCountsItsRowsWhereOneAtATimeShowsItsProxy() {
        QFETCH(int, atOnce);
        test::FakeProxy answering(test::fake::AnswerAndClose("HTTP/1.0 403 Forbidden\r\n\r\n"));
        test::FakeProxy silent(test::fake::NeverAnswer());
        m_settings->WebPage = "http://127.0.0.1:9/envchk.cgi";
        m_settings->TimeOut = 37; // its wait (ten seconds more) is told from every other poll()
        m_settings->ParallelChecks = atOnce;
        MakeFrame();
        AddRows({answering.Address(), silent.Address(), silent.Address()});
        View().Rows().SelectAllRows();
        auto* progress = m_frame->findChild<QLabel*>(QStringLiteral("progressPane"));
        auto* running = m_frame->findChild<QLabel*>(QStringLiteral("runningCountPane"));
        QVERIFY(progress != nullptr && running != nullptr);

        View().StartCheck();
        QTRY_COMPARE(QString::fromStdString(View().Rows().GetCellText(0, 1)), QStringLiteral("NG"));
        QTRY_COMPARE(QString::fromStdString(View().Rows().GetCellText(1, 1)), QStringLiteral("ﾁｪｯｸ中…"));
        if (atOnce > 1) {
            QTRY_COMPARE(m_frame->windowTitle(), QStringLiteral("Zandel - 1/3ﾁｪｯｸ中…"));
            QCOMPARE(progress->text(), QStringLiteral("ﾁｪｯｸ済 : 1/3"));
            QVERIFY(!progress->isHidden());
            QCOMPARE(running->text(), QStringLiteral("ﾁｪｯｸ中 : 2"));
            QVERIFY(!running->isHidden());
        } else {
            QTRY_COMPARE(m_frame->windowTitle(),
                         QStringLiteral("Zandel - %1ﾁｪｯｸ中…").arg(QString::fromStdString(silent.Address())));
            QVERIFY(progress->isHidden());
            QVERIFY(running->isHidden());
            // A stop that comes before the probe waits for the silent proxy would wait for the time-out.
            QVERIFY(test::WaitUntilSomeThreadPolls(47000));
        }

        View().StopCheck();
        QTRY_VERIFY(!View().IsRunning());
        QTRY_COMPARE(m_frame->windowTitle(), QStringLiteral("Zandel - 無題"));
        QVERIFY(progress->isHidden());
        QVERIFY(running->isHidden());
    }

    void unsavedListIsOfferedForSavingOnClose() {
        MakeFrame();
        AddRows({"10.0.0.1:80"});
        m_frame->Document().SetModified(true);
        m_messages->QueueAnswer(MbResult::Cancel);
        QVERIFY(!m_frame->close());
        QVERIFY(m_frame->isVisible());
        m_messages->QueueAnswer(MbResult::No);
        QVERIFY(m_frame->close());
        QCOMPARE(m_messages->Boxes().front().text, std::string("無題 への変更を保存しますか?"));
        QCOMPARE(m_dialogs->proposedNames.size(), std::size_t{0});
    }

    // The commands' rules are the core's; here they reach the window's caption, panes and recent files.
    void fileCommandsReachTheWindow() {
        const std::string a = WriteList("a.txt", "10.0.0.1:80 OK 0.100 2024/01/02(03:04:05)\r\n10.0.0.2:80 NG\r\n");
        const std::string b = WriteList("b.txt", "10.0.0.3:80 Anonymous(A)\r\n");
        MakeFrame();
        m_dialogs->openAnswers = {a, b};
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("fileOpen"))->trigger();
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Zandel - a.txt"));
        QCOMPARE(m_settings->ProxyFile, a);
        QCOMPARE(m_frame->findChild<QLabel*>(QStringLiteral("rowCountPane"))->text(), QStringLiteral("ﾌﾟﾛｷｼ : 2"));
        QCOMPARE(m_frame->findChild<QLabel*>(QStringLiteral("selectedCountPane"))->text(),
                 QStringLiteral("選択 : 1  "));

        test::RequireEnabledAction(m_frame.get(), QStringLiteral("fileAppend"))->trigger();
        QCOMPARE(View().Rows().RowCount(), 3);
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Zandel - a.txt"));

        m_dialogs->saveAnswers = {m_dir->File("c.txt")};
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("saveNotNG"))->trigger();
        QCOMPARE(m_dir->Read("c.txt"), std::string("10.0.0.1:80\r\n10.0.0.3:80\r\n"));
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("fileSave"))->trigger();
        QCOMPARE(m_dir->Read("a.txt"), std::string("10.0.0.1:80 OK 0.100 2024/01/02(03:04:05)\r\n"
                                                   "10.0.0.2:80 NG --:--- ----/--/--(-:-:-)\r\n"
                                                   "10.0.0.3:80 Anonymous(A) --:--- ----/--/--(-:-:-)\r\n"));

        test::RequireEnabledAction(m_frame.get(), QStringLiteral("fileNew"))->trigger();
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Zandel - 無題"));
        AddRows({"10.0.0.5:80"});
        m_dialogs->saveAnswers = {m_dir->File("named.txt")};
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("fileSave"))->trigger();
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Zandel - named.txt"));
        QCOMPARE(m_recent->Entries().front(), m_dir->File("named.txt"));
    }

    // The export writes the console tool's CSV or JSON by the name's extension, never a password, and leaves
    // the document as it was; a folder that is not there is told once.
    void exportWritesCsvOrJsonWithoutPasswords() {
        const std::string a =
            WriteList("a.txt", "user:secret@10.0.0.1:80 OK 0.100 2024/01/02(03:04:05)\r\n10.0.0.2:80 NG\r\n");
        MakeFrame();
        m_dialogs->openAnswers = {a};
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("fileOpen"))->trigger();
        QCOMPARE(View().Rows().RowCount(), 2);
        // A check's reason, kept by the window as the result's tip, is exported with its row.
        ProxyRow graded = View().Rows().GetRow(1);
        graded.reason = "page without REMOTE_ADDR";
        View().Rows().SetRowResult(1, graded);

        m_dialogs->exportAnswers = {m_dir->File("out.csv"), m_dir->File("out.JSON"), m_dir->File("none/out.csv")};
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("fileExport"))->trigger();
        QCOMPARE(m_dialogs->proposedNames.back(), m_dir->File("a.csv"));
        const std::string csv = m_dir->Read("out.csv");
        QVERIFY2(csv.starts_with("address,kind,result,response_ms,https,checked_at,reason\r\n"), csv.c_str());
        QVERIFY2(csv.find("user@10.0.0.1:80,") != std::string::npos, csv.c_str());
        QVERIFY2(csv.find("10.0.0.2:80,") != std::string::npos, csv.c_str());
        QVERIFY2(csv.find(",page without REMOTE_ADDR\r\n") != std::string::npos, csv.c_str());

        test::RequireEnabledAction(m_frame.get(), QStringLiteral("fileExport"))->trigger();
        const std::string json = m_dir->Read("out.JSON");
        QVERIFY2(json.starts_with("[") && json.find("\"address\":\"user@10.0.0.1:80\"") != std::string::npos,
                 json.c_str());
        for (const std::string& text : {csv, json}) {
            QVERIFY2(text.find("secret") == std::string::npos, text.c_str());
        }
        QVERIFY(m_messages->Boxes().empty());

        test::RequireEnabledAction(m_frame.get(), QStringLiteral("fileExport"))->trigger();
        QCOMPARE(m_messages->Boxes().size(), std::size_t{1});
        QVERIFY2(m_messages->Boxes()[0].text.find("out.csv") != std::string::npos, m_messages->Boxes()[0].text.c_str());
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Zandel - a.txt"));
        QCOMPARE(m_dir->Read("a.txt"),
                 std::string("user:secret@10.0.0.1:80 OK 0.100 2024/01/02(03:04:05)\r\n10.0.0.2:80 NG\r\n"));
    }

    // A list on the web comes off the window's thread and reopens from the recent files; a missing one is told
    // once and the list stays.
    void listFromAUrlOpensAndAMissingOneIsToldOnce() {
        test::LoopbackServer server([](test::ServerConnection& connection) {
            test::RequestHead head;
            if (!connection.ReadRequestHead() || !test::ParseRequestHead(connection.RequestHead(), head)) {
                return;
            }
            const bool found = head.target == "/lists/http.txt";
            const std::string body = found ? "10.0.0.1:80\n10.0.0.2:8080 OK\n" : "no such list";
            connection.Send(std::string("HTTP/1.1 ") + (found ? "200 OK" : "404 Not Found") + "\r\nContent-Length: " +
                            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        });
        const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
        MakeFrame();
        auto* ready = m_frame->findChild<QLabel*>(QStringLiteral("readyText"));
        m_dialogs->urlAnswers = {{base + "/lists/http.txt", false}, {base + "/gone.txt", false}};
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("fileOpenUrl"))->trigger();
        QTRY_COMPARE(View().Rows().RowCount(), 2);
        QCOMPARE(View().Rows().GetCellText(1, 1), std::string("OK"));
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Zandel - http.txt"));
        QCOMPARE(ready->text(), QStringLiteral("ﾚﾃﾞｨ"));
        QCOMPARE(m_recent->Entries().front(), base + "/lists/http.txt");
        QVERIFY(m_settings->ProxyFile.empty());

        test::RequireEnabledAction(m_frame.get(), QStringLiteral("fileOpenUrl"))->trigger();
        QTRY_COMPARE(m_messages->Boxes().size(), std::size_t{1});
        QVERIFY2(m_messages->Boxes()[0].text.find("404") != std::string::npos, m_messages->Boxes()[0].text.c_str());
        QCOMPARE(View().Rows().RowCount(), 2);
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Zandel - http.txt"));

        View().Rows().RemoveAllRows();
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("recentFile1"))->trigger();
        QTRY_COMPARE(View().Rows().RowCount(), 2);
        QCOMPARE(m_messages->Boxes().size(), std::size_t{1});
    }

    // A new list gives up a fetch under way: the connection goes, the window is ready again at once and what the
    // fetch would have brought never arrives.
    void aFetchGivenUpNeverArrives() {
        std::atomic<bool> asked{false};
        std::atomic<bool> closed{false};
        test::LoopbackServer server([&asked, &closed](test::ServerConnection& connection) {
            if (connection.ReadRequestHead() && connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n")) {
                asked = true;
                while (connection.Pause(20) && connection.Send("1")) {
                }
                closed = true;
            }
        });
        MakeFrame();
        auto* ready = m_frame->findChild<QLabel*>(QStringLiteral("readyText"));
        m_dialogs->urlAnswers = {{"http://127.0.0.1:" + std::to_string(server.Port()) + "/drip.txt", false}};
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("fileOpenUrl"))->trigger();
        QVERIFY(ready->text().contains(QStringLiteral("drip.txt")));
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        QTRY_VERIFY(asked.load());
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("fileNew"))->trigger();
        QCOMPARE(ready->text(), QStringLiteral("ﾚﾃﾞｨ"));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QTRY_VERIFY(closed.load());
        QCoreApplication::processEvents();
        QVERIFY(m_messages->Boxes().empty());
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Zandel - 無題"));
    }

    void dialogFiltersMatchEveryFileForAllFiles() {
        QCOMPARE(ui::NameFilters(ui::kListFileFilter),
                 (QStringList{QStringLiteral("Text Files (*.txt) (*.txt)"), QStringLiteral("All Files (*.*) (*)")}));
    }

    void windowRectangleIsRestoredWhenItHasAnArea_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("saved") << QStringLiteral("Left=100\nTop=80\nRight=600\nBottom=480\n")
                               << QRect(100, 80, 500, 400);
        QTest::newRow("zero width") << QStringLiteral("Left=100\nTop=100\nRight=100\nBottom=500\n") << QRect();
        QTest::newRow("none") << QString() << QRect();
    }

    void windowRectangleIsRestoredWhenItHasAnArea() {
        QFETCH(QString, window);
        QFETCH(QRect, expected);
        m_dir->Write("PrxSet.ini", "[Window]\n" + window.toStdString());
        MakeFrame();
        if (expected.isValid()) {
            QCOMPARE(m_frame->frameGeometry(), expected);
        } else {
            QCOMPARE(m_frame->size(), QSize(760, 560));
        }
    }

    // The rectangle goes to disk with the other settings in one step; the window itself writes nothing.
    void destructionHandsTheRectangleToTheSettings() {
        const std::string before = "[ProxyTimeOut]\r\nTimeOut=5\r\n";
        m_dir->Write("PrxSet.ini", before);
        MakeFrame();
        m_frame->setGeometry(40, 50, 640, 480);
        const QRect outer = m_frame->frameGeometry();
        m_frame->close();
        m_frame.reset();
        QCOMPARE(m_dir->Read("PrxSet.ini"), before);
        QVERIFY(m_settings->Window.has_value());
        QCOMPARE(QRect(QPoint(m_settings->Window->Left, m_settings->Window->Top),
                       QPoint(m_settings->Window->Right - 1, m_settings->Window->Bottom - 1)),
                 outer);
    }

    void alwaysOnTopTogglesWithoutMoving() {
        MakeFrame();
        m_frame->setGeometry(30, 40, 700, 500);
        const QRect before = m_frame->geometry();
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("alwaysOnTop"))->trigger();
        QVERIFY(m_settings->ForegroundWindow);
        QVERIFY(m_frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(m_frame->findChild<QAction*>(QStringLiteral("alwaysOnTop"))->isChecked());
        QVERIFY(m_frame->isVisible());
        QCOMPARE(m_frame->geometry(), before);
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("alwaysOnTop"))->trigger();
        QVERIFY(!m_settings->ForegroundWindow);
        QVERIFY(!m_frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }

    // A command in a menu or the table that no window bound would do nothing when chosen.
    void everyCommandHasAnOwnerUntilTheListGoes() {
        MakeFrame();
        std::vector<int> ids = {cmd::kFileMru1,      cmd::kFileMru1 + 3,   cmd::kFavouriteFirst,
                                cmd::kFavouriteLast, cmd::kCheckStartStop, cmd::kCheckSkip};
        for (const CommandInfo& info : Commands()) {
            ids.push_back(info.id);
        }
        for (const int id : ids) {
            QVERIFY2(m_frame->IsCommandBound(id), QByteArray::number(id).constData());
        }
        QVERIFY(!m_frame->IsCommandBound(cmd::kFavouriteLast + 1));
        QVERIFY(!m_frame->IsCommandBound(cmd::kFileMru1 + 4));
        m_frame->close();
        QVERIFY(!m_frame->IsCommandBound(cmd::kEdit));
        QVERIFY(!m_frame->IsCommandBound(cmd::kOpenBrowser));
        QVERIFY(!m_frame->OnCommand(cmd::kDelete));
    }

    void panesSplitSixToFourAndF6SwitchesBetweenThem() {
        MakeFrame();
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
        const QList<int> sizes = m_frame->Splitter()->sizes();
        const int total = sizes[0] + sizes[1];
        QVERIFY(qAbs(sizes[0] - total * 6 / 10) <= m_frame->Splitter()->handleWidth() + 1);
        m_frame->activateWindow();
        View().setFocus();
        m_frame->OnCommand(cmd::kNextPane);
        QTRY_VERIFY(m_frame->GetLogView()->hasFocus());
        m_frame->OnCommand(cmd::kPrevPane);
        QTRY_VERIFY(View().hasFocus());
    }

    void logCommandsReachTheLogPane() {
        MakeFrame();
        m_frame->GetLogView()->AppendText("line\r\n");
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("clearLog"))->trigger();
        QVERIFY(m_frame->GetLogView()->toPlainText().isEmpty());
        QCOMPARE(m_frame->findChild<QLabel*>(QStringLiteral("readyText"))->text(), QStringLiteral("ﾚﾃﾞｨ"));
    }

    void settingsCommandsOpenTheirSheets_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("caption");
        QTest::newRow("settings") << QStringLiteral("settings") << QStringLiteral("詳細設定");
        QTest::newRow("multi-stage") << QStringLiteral("multiStage") << QStringLiteral("多段接続を使ってﾌﾞﾗｳｼﾞﾝｸﾞ");
    }

    void settingsCommandsOpenTheirSheets() {
        QFETCH(QString, action);
        QFETCH(QString, caption);
        MakeFrame();
        QString shown;
        QTimer::singleShot(0, m_frame.get(), [&shown] {
            if (auto* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                shown = sheet->windowTitle();
                sheet->reject();
            }
        });
        test::RequireEnabledAction(m_frame.get(), action)->trigger();
        QCOMPARE(shown, caption);
    }

    // The desktop refuses the proxy (KDE's settings locked): the user is told once for each attempt, and only then.
    void proxyTheDesktopRefusesIsToldOnce() {
        m_internet->dialUpProfile = "dial-up"; // four calls to the desktop, still one message
        MakeFrame();
        auto* box = m_frame->GetProxyBar()->findChild<QCheckBox*>(QStringLiteral("useProxyBox"));
        box->click();
        QCOMPARE(m_internet->calls.size(), std::size_t{4});
        QVERIFY(m_messages->Boxes().empty());
        m_internet->changes = false;
        box->click();
        QCOMPARE(m_internet->calls.size(), std::size_t{8});
        QCOMPARE(m_messages->Boxes().size(), std::size_t{1});
        QCOMPARE(m_messages->Boxes()[0].text, std::string(kProxyNotChanged));
    }

    void helpWithoutBrowserPathSaysSoAndLaunchesNothing() {
        m_settings->BwPath.clear();
        MakeFrame();
        test::RequireEnabledAction(m_frame.get(), QStringLiteral("helpManual"))->trigger();
        QCOMPARE(m_messages->Boxes().size(), std::size_t{1});
        QCOMPARE(m_messages->Boxes()[0].text, std::string(texts::kNoBrowserPath));
        QVERIFY(m_launcher->launches.empty());
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::MainFrameTest)
#include "MainFrameTest.moc"
#include "support/RecordingServices.h"
