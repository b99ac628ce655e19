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
#include "ui/support/FrameRig.h"
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
    std::unique_ptr<test::FrameRig> m_rig;

    CMainFrame& MakeFrame() { return m_rig->Make(); }
    ui::ProxyListView& View() { return *m_rig->Frame().View(); }
    bool Enabled(const char* name) {
        auto* action = m_rig->Frame().findChild<QAction*>(QString::fromUtf8(name));
        if (action == nullptr) {
            qWarning("no action %s", name);
            return false;
        }
        return action->isEnabled();
    }
    void AddRows(const std::vector<std::string>& addresses) { m_rig->AddRows(addresses); }
    std::string WriteList(const std::string& name, const std::string& text) { return m_rig->dir.Write(name, text); }

private Q_SLOTS:
    void init() { m_rig = std::make_unique<test::FrameRig>(); }
    void cleanup() { m_rig.reset(); }

    // A long list is read a batch at a time: the window is drawn between batches, counts the rows in its status bar,
    // takes no other input, and Esc stops the read with the rows read so far, no message, and no file name (the list
    // is no longer the file, so a plain Save must not overwrite it).
    // Esc is heard in the list, and in the start's splash over the window (a list named on the command line is read
    // while the splash is up).
    void escStopsTheReadingOfALongListAndKeepsWhatWasRead_data() {
        QTest::addColumn<bool>("inSplash");
        QTest::addRow("list") << false;
        QTest::addRow("splash") << true;
    }
    void escStopsTheReadingOfALongListAndKeepsWhatWasRead() {
        QFETCH(bool, inSplash);
        constexpr int kRows = 300000;
        m_rig->settings.MaxRows = 1000000;
        CMainFrame& frame = MakeFrame();
        std::string list;
        for (int row = 0; row < kRows; ++row) {
            list += "127.0." + std::to_string(row / 250 % 250) + "." + std::to_string(row % 250) + ":8080\r\n";
        }
        const std::string path = m_rig->dir.Write("long.txt", list);
        QWidget splash(&frame, Qt::SplashScreen);
        QString shown;
        QTimer::singleShot(0, &frame, [&] {
            shown = frame.findChild<QLabel*>(QStringLiteral("readyText"))->text();
            QTest::keyClick(frame.View(), Qt::Key_Delete); // would ask to delete rows, were it heard
            QTest::keyClick(inSplash ? &splash : static_cast<QWidget*>(frame.View()), Qt::Key_Escape);
        });
        QVERIFY(!frame.Document().OpenListFile(path, OpenReplace));
        QVERIFY2(shown.startsWith(QStringLiteral("ﾘｽﾄを読み込んでいます : ")), qPrintable(shown));
        const int read = frame.View()->Rows().RowCount();
        QVERIFY2(read > 0 && read < kRows, qPrintable(QString::number(read)));
        QVERIFY(m_rig->messages.Boxes().empty());
        QVERIFY(frame.Document().IsModified());
        QCOMPARE(frame.findChild<QLabel*>(QStringLiteral("readyText"))->text(), QStringLiteral("ﾚﾃﾞｨ"));
    }

    void toolbarHoldsSixteenDrawnButtonsInOrder() {
        MakeFrame();
        auto* toolBar = m_rig->Frame().findChild<QToolBar*>(QStringLiteral("mainToolBar"));
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
        QCOMPARE(m_rig->Frame().toolBarArea(m_rig->Frame().GetProxyBar()), Qt::TopToolBarArea);
        QCOMPARE(m_rig->Frame().toolBarArea(m_rig->Frame().GetCheckBar()), Qt::TopToolBarArea);
    }

    void menusStandByPosition() {
        MakeFrame();
        QStringList titles;
        for (QAction* action : m_rig->Frame().menuBar()->actions()) {
            titles << action->text();
        }
        QCOMPARE(titles, (QStringList{QStringLiteral("ﾌｧｲﾙ(&F)"), QStringLiteral("編集(&E)"),
                                      QStringLiteral("表示(&V)"), QStringLiteral("オプション(&O)"),
                                      QStringLiteral("多段接続(&D)..."), QStringLiteral("ﾍﾙﾌﾟ(&H)")}));
        auto* file = m_rig->Frame().findChild<QMenu*>(QStringLiteral("menuFile"));
        QCOMPARE(
            ActionNames(file->actions()).join(QLatin1Char(' ')),
            QStringLiteral("fileNew | fileOpen fileOpenUrl fileSave fileSaveAs fileAppend | menuSaveWithoutResults "
                           "fileExport | recentFilesPlaceholder | appExit"));
        auto* saves = m_rig->Frame().findChild<QMenu*>(QStringLiteral("menuSaveWithoutResults"));
        QCOMPARE(saves->title(), QStringLiteral("ﾌｧｲﾙの保存(ﾁｪｯｸ結果無し)(&E)"));
        QCOMPARE(ActionNames(saves->actions()).join(QLatin1Char(' ')),
                 QStringLiteral("saveAllAddresses saveNotNG saveAnonymous saveNonAnonymous saveHttps saveHttpProxies "
                                "saveSocksProxies"));
        QCOMPARE(m_rig->Frame().findChild<QAction*>(QStringLiteral("selectAll"))->shortcut(),
                 QKeySequence(QStringLiteral("Ctrl+A")));
        QCOMPARE(m_rig->Frame().findChild<QAction*>(QStringLiteral("editPaste"))->shortcuts().size(), 2);
    }

    void recentFilesTakeTheMenuPlaceOfTheirLabel() {
        const std::string a = WriteList("a.txt", "10.0.0.1:80\r\n");
        const std::string b = WriteList("b.txt", "10.0.0.2:80\r\n");
        MakeFrame();
        QVERIFY(m_rig->Frame().Files().OpenPath(a));
        QVERIFY(m_rig->Frame().Files().OpenPath(b));
        auto* file = m_rig->Frame().findChild<QMenu*>(QStringLiteral("menuFile"));
        QCOMPARE(ActionNames(file->actions()).mid(11, 3).join(QLatin1Char(' ')),
                 QStringLiteral("recentFile1 recentFile2 |"));
        QVERIFY(m_rig->Frame()
                    .findChild<QAction*>(QStringLiteral("recentFile1"))
                    ->text()
                    .endsWith(QStringLiteral("b.txt")));
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("recentFile2"))->trigger();
        QCOMPARE(m_rig->Frame().Document().PathName(), a);
        QCOMPARE(View().Rows().GetCellText(0, 0), std::string("10.0.0.1:80"));
    }

    void emptyListLeavesOnlyAddAndAppend() {
        MakeFrame();
        m_rig->Frame().MenuBarOpened();
        for (const char* name :
             {"editAddress", "insertRow", "deleteRows", "selectAll", "clearResults", "moveUp", "moveDown"}) {
            QVERIFY2(!Enabled(name), name);
        }
        QVERIFY(Enabled("addRow"));
        QVERIFY(Enabled("fileAppend"));
        QVERIFY(Enabled("fileSave"));
        QVERIFY(!m_rig->Frame().GetCheckBar()->StartStopButton()->isEnabled());
        QVERIFY(!m_rig->Frame().GetCheckBar()->SkipButton()->isEnabled());
    }

    void runGreysFileAndEditCommandsAndTheCloseQuestionDecides() {
        test::FakeProxy silent(test::fake::NeverAnswer());
        m_rig->settings.WebPage = "http://127.0.0.1:9/envchk.cgi";
        m_rig->settings.TimeOut = 30;
        MakeFrame();
        AddRows({silent.Address(), silent.Address(), silent.Address()});
        for (int row = 0; row < 3; ++row) {
            View().Rows().SetRowSelected(row, true);
        }
        m_rig->Frame().UpdateCommandUi();
        QVERIFY(m_rig->Frame().GetCheckBar()->StartStopButton()->isEnabled());
        QTest::mouseClick(m_rig->Frame().GetCheckBar()->StartStopButton(), Qt::LeftButton);
        QTRY_VERIFY(View().IsRunning());
        QTRY_COMPARE(m_rig->Frame().GetCheckBar()->StartStopButton()->text(), QStringLiteral("停止(&T)"));

        m_rig->Frame().MenuBarOpened();
        for (const char* name :
             {"fileNew", "fileOpen", "fileSave", "fileSaveAs", "fileAppend", "editAddress", "insertRow", "addRow",
              "deleteRows", "selectAll", "clearResults", "moveUp", "moveDown", "clearLog"}) {
            QVERIFY2(!Enabled(name), name);
        }
        QVERIFY(!m_rig->Frame().findChild<QMenu*>(QStringLiteral("menuSaveWithoutResults"))->menuAction()->isEnabled());
        for (const char* name : {"settings", "multiStage", "openBrowser", "helpManual", "appAbout", "hideToTray",
                                 "alwaysOnTop", "logFont"}) {
            QVERIFY2(Enabled(name), name);
        }
        QTRY_VERIFY((m_rig->Frame().UpdateCommandUi(), m_rig->Frame().GetCheckBar()->SkipButton()->isEnabled()));
        QTRY_VERIFY(m_rig->Frame().windowTitle().contains(QStringLiteral("ﾁｪｯｸ中…")));

        m_rig->messages.QueueAnswer(MbResult::Cancel);
        QVERIFY(!m_rig->Frame().close());
        QVERIFY(View().IsRunning());
        QCOMPARE(m_rig->messages.Boxes().size(), std::size_t{1});
        QCOMPARE(m_rig->messages.Boxes()[0].text, std::string(texts::kCloseDuringRun));
        QCOMPARE(m_rig->messages.Boxes()[0].buttons, MbButtons::OkCancel);

        m_rig->messages.QueueAnswer(MbResult::Ok);
        // Closing stops the run and waits for its thread, which a proxy that never answers cannot hold up.
        QVERIFY(m_rig->Frame().close());
        QVERIFY(!m_rig->Frame().isVisible());
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
        m_rig->settings.WebPage = "http://127.0.0.1:9/envchk.cgi";
        m_rig->settings.TimeOut = 37; // its wait (ten seconds more) is told from every other poll()
        m_rig->settings.ParallelChecks = atOnce;
        MakeFrame();
        AddRows({answering.Address(), silent.Address(), silent.Address()});
        View().Rows().SelectAllRows();
        auto* progress = m_rig->Frame().findChild<QLabel*>(QStringLiteral("progressPane"));
        auto* running = m_rig->Frame().findChild<QLabel*>(QStringLiteral("runningCountPane"));
        QVERIFY(progress != nullptr && running != nullptr);

        View().StartCheck();
        QTRY_COMPARE(QString::fromStdString(View().Rows().GetCellText(0, 1)), QStringLiteral("NG"));
        QTRY_COMPARE(QString::fromStdString(View().Rows().GetCellText(1, 1)), QStringLiteral("ﾁｪｯｸ中…"));
        if (atOnce > 1) {
            QTRY_COMPARE(m_rig->Frame().windowTitle(), QStringLiteral("Zandel - 1/3ﾁｪｯｸ中…"));
            // The counts keep the title's pace: the latest shows at the end of its pause.
            QTRY_COMPARE(progress->text(), QStringLiteral("ﾁｪｯｸ済 : 1/3"));
            QVERIFY(!progress->isHidden());
            QTRY_COMPARE(running->text(), QStringLiteral("ﾁｪｯｸ中 : 2"));
            QVERIFY(!running->isHidden());
        } else {
            QTRY_COMPARE(m_rig->Frame().windowTitle(),
                         QStringLiteral("Zandel - %1ﾁｪｯｸ中…").arg(QString::fromStdString(silent.Address())));
            QVERIFY(progress->isHidden());
            QVERIFY(running->isHidden());
            // A stop that comes before the probe waits for the silent proxy would wait for the time-out.
            QVERIFY(test::WaitUntilSomeThreadPolls(47000));
        }

        View().StopCheck();
        QTRY_VERIFY(!View().IsRunning());
        QTRY_COMPARE(m_rig->Frame().windowTitle(), QStringLiteral("Zandel - 無題"));
        QVERIFY(progress->isHidden());
        QVERIFY(running->isHidden());
    }

    void unsavedListIsOfferedForSavingOnClose() {
        MakeFrame();
        AddRows({"10.0.0.1:80"});
        m_rig->Frame().Document().SetModified(true);
        m_rig->messages.QueueAnswer(MbResult::Cancel);
        QVERIFY(!m_rig->Frame().close());
        QVERIFY(m_rig->Frame().isVisible());
        m_rig->messages.QueueAnswer(MbResult::No);
        QVERIFY(m_rig->Frame().close());
        QCOMPARE(m_rig->messages.Boxes().front().text, std::string("無題 への変更を保存しますか?"));
        QCOMPARE(m_rig->dialogs.proposedNames.size(), std::size_t{0});
    }

    // The commands' rules are the core's; here they reach the window's caption, panes and recent files.
    void fileCommandsReachTheWindow() {
        const std::string a = WriteList("a.txt", "10.0.0.1:80 OK 0.100 2024/01/02(03:04:05)\r\n10.0.0.2:80 NG\r\n");
        const std::string b = WriteList("b.txt", "10.0.0.3:80 Anonymous(A)\r\n");
        MakeFrame();
        m_rig->dialogs.openAnswers = {a, b};
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("fileOpen"))->trigger();
        QCOMPARE(m_rig->Frame().windowTitle(), QStringLiteral("Zandel - a.txt"));
        QCOMPARE(m_rig->settings.ProxyFile, a);
        QCOMPARE(m_rig->Frame().findChild<QLabel*>(QStringLiteral("rowCountPane"))->text(),
                 QStringLiteral("ﾌﾟﾛｷｼ : 2"));
        QCOMPARE(m_rig->Frame().findChild<QLabel*>(QStringLiteral("selectedCountPane"))->text(),
                 QStringLiteral("選択 : 1  "));

        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("fileAppend"))->trigger();
        QCOMPARE(View().Rows().RowCount(), 3);
        QCOMPARE(m_rig->Frame().windowTitle(), QStringLiteral("Zandel - a.txt"));

        m_rig->dialogs.saveAnswers = {m_rig->dir.File("c.txt")};
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("saveNotNG"))->trigger();
        QCOMPARE(m_rig->dir.Read("c.txt"), std::string("10.0.0.1:80\r\n10.0.0.3:80\r\n"));
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("fileSave"))->trigger();
        QCOMPARE(m_rig->dir.Read("a.txt"), std::string("10.0.0.1:80 OK 0.100 2024/01/02(03:04:05)\r\n"
                                                       "10.0.0.2:80 NG --:--- ----/--/--(-:-:-)\r\n"
                                                       "10.0.0.3:80 Anonymous(A) --:--- ----/--/--(-:-:-)\r\n"));

        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("fileNew"))->trigger();
        QCOMPARE(m_rig->Frame().windowTitle(), QStringLiteral("Zandel - 無題"));
        AddRows({"10.0.0.5:80"});
        m_rig->dialogs.saveAnswers = {m_rig->dir.File("named.txt")};
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("fileSave"))->trigger();
        QCOMPARE(m_rig->Frame().windowTitle(), QStringLiteral("Zandel - named.txt"));
        QCOMPARE(m_rig->recent.Entries().front(), m_rig->dir.File("named.txt"));
    }

    // The export writes the console tool's CSV or JSON by the name's extension, never a password, and leaves
    // the document as it was; a folder that is not there is told once.
    void exportWritesCsvOrJsonWithoutPasswords() {
        const std::string a =
            WriteList("a.txt", "user:secret@10.0.0.1:80 OK 0.100 2024/01/02(03:04:05)\r\n10.0.0.2:80 NG\r\n");
        MakeFrame();
        m_rig->dialogs.openAnswers = {a};
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("fileOpen"))->trigger();
        QCOMPARE(View().Rows().RowCount(), 2);
        // A check's reason, kept by the window as the result's tip, is exported with its row.
        ProxyRow graded = View().Rows().GetRow(1);
        graded.reason = "page without REMOTE_ADDR";
        View().Rows().SetRowResult(1, graded);

        m_rig->dialogs.exportAnswers = {m_rig->dir.File("out.csv"), m_rig->dir.File("out.JSON"),
                                        m_rig->dir.File("none/out.csv")};
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("fileExport"))->trigger();
        QCOMPARE(m_rig->dialogs.proposedNames.back(), m_rig->dir.File("a.csv"));
        const std::string csv = m_rig->dir.Read("out.csv");
        QVERIFY2(csv.starts_with("address,kind,result,response_ms,https,checked_at,reason\r\n"), csv.c_str());
        QVERIFY2(csv.find("user@10.0.0.1:80,") != std::string::npos, csv.c_str());
        QVERIFY2(csv.find("10.0.0.2:80,") != std::string::npos, csv.c_str());
        QVERIFY2(csv.find(",page without REMOTE_ADDR\r\n") != std::string::npos, csv.c_str());

        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("fileExport"))->trigger();
        const std::string json = m_rig->dir.Read("out.JSON");
        QVERIFY2(json.starts_with("[") && json.find("\"address\":\"user@10.0.0.1:80\"") != std::string::npos,
                 json.c_str());
        for (const std::string& text : {csv, json}) {
            QVERIFY2(text.find("secret") == std::string::npos, text.c_str());
        }
        QVERIFY(m_rig->messages.Boxes().empty());

        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("fileExport"))->trigger();
        QCOMPARE(m_rig->messages.Boxes().size(), std::size_t{1});
        QVERIFY2(m_rig->messages.Boxes()[0].text.find("out.csv") != std::string::npos,
                 m_rig->messages.Boxes()[0].text.c_str());
        QCOMPARE(m_rig->Frame().windowTitle(), QStringLiteral("Zandel - a.txt"));
        QCOMPARE(m_rig->dir.Read("a.txt"),
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
        auto* ready = m_rig->Frame().findChild<QLabel*>(QStringLiteral("readyText"));
        m_rig->dialogs.urlAnswers = {{base + "/lists/http.txt", false}, {base + "/gone.txt", false}};
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("fileOpenUrl"))->trigger();
        QTRY_COMPARE(View().Rows().RowCount(), 2);
        QCOMPARE(View().Rows().GetCellText(1, 1), std::string("OK"));
        QCOMPARE(m_rig->Frame().windowTitle(), QStringLiteral("Zandel - http.txt"));
        QCOMPARE(ready->text(), QStringLiteral("ﾚﾃﾞｨ"));
        QCOMPARE(m_rig->recent.Entries().front(), base + "/lists/http.txt");
        QVERIFY(m_rig->settings.ProxyFile.empty());

        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("fileOpenUrl"))->trigger();
        QTRY_COMPARE(m_rig->messages.Boxes().size(), std::size_t{1});
        QVERIFY2(m_rig->messages.Boxes()[0].text.find("404") != std::string::npos,
                 m_rig->messages.Boxes()[0].text.c_str());
        QCOMPARE(View().Rows().RowCount(), 2);
        QCOMPARE(m_rig->Frame().windowTitle(), QStringLiteral("Zandel - http.txt"));

        View().Rows().RemoveAllRows();
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("recentFile1"))->trigger();
        QTRY_COMPARE(View().Rows().RowCount(), 2);
        QCOMPARE(m_rig->messages.Boxes().size(), std::size_t{1});
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
        auto* ready = m_rig->Frame().findChild<QLabel*>(QStringLiteral("readyText"));
        m_rig->dialogs.urlAnswers = {{"http://127.0.0.1:" + std::to_string(server.Port()) + "/drip.txt", false}};
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("fileOpenUrl"))->trigger();
        QVERIFY(ready->text().contains(QStringLiteral("drip.txt")));
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        QTRY_VERIFY(asked.load());
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("fileNew"))->trigger();
        QCOMPARE(ready->text(), QStringLiteral("ﾚﾃﾞｨ"));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QTRY_VERIFY(closed.load());
        QCoreApplication::processEvents();
        QVERIFY(m_rig->messages.Boxes().empty());
        QCOMPARE(m_rig->Frame().windowTitle(), QStringLiteral("Zandel - 無題"));
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
        m_rig->dir.Write("PrxSet.ini", "[Window]\n" + window.toStdString());
        MakeFrame();
        if (expected.isValid()) {
            QCOMPARE(m_rig->Frame().frameGeometry(), expected);
        } else {
            QCOMPARE(m_rig->Frame().size(), QSize(760, 560));
        }
    }

    // The rectangle goes to disk with the other settings in one step; the window itself writes nothing.
    void destructionHandsTheRectangleToTheSettings() {
        const std::string before = "[ProxyTimeOut]\r\nTimeOut=5\r\n";
        m_rig->dir.Write("PrxSet.ini", before);
        MakeFrame();
        m_rig->Frame().setGeometry(40, 50, 640, 480);
        const QRect outer = m_rig->Frame().frameGeometry();
        m_rig->Frame().close();
        m_rig->Destroy();
        QCOMPARE(m_rig->dir.Read("PrxSet.ini"), before);
        QVERIFY(m_rig->settings.Window.has_value());
        QCOMPARE(QRect(QPoint(m_rig->settings.Window->Left, m_rig->settings.Window->Top),
                       QPoint(m_rig->settings.Window->Right - 1, m_rig->settings.Window->Bottom - 1)),
                 outer);
    }

    void alwaysOnTopTogglesWithoutMoving() {
        MakeFrame();
        m_rig->Frame().setGeometry(30, 40, 700, 500);
        const QRect before = m_rig->Frame().geometry();
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("alwaysOnTop"))->trigger();
        QVERIFY(m_rig->settings.ForegroundWindow);
        QVERIFY(m_rig->Frame().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(m_rig->Frame().findChild<QAction*>(QStringLiteral("alwaysOnTop"))->isChecked());
        QVERIFY(m_rig->Frame().isVisible());
        QCOMPARE(m_rig->Frame().geometry(), before);
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("alwaysOnTop"))->trigger();
        QVERIFY(!m_rig->settings.ForegroundWindow);
        QVERIFY(!m_rig->Frame().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
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
            QVERIFY2(m_rig->Frame().IsCommandBound(id), QByteArray::number(id).constData());
        }
        QVERIFY(!m_rig->Frame().IsCommandBound(cmd::kFavouriteLast + 1));
        QVERIFY(!m_rig->Frame().IsCommandBound(cmd::kFileMru1 + 4));
        m_rig->Frame().close();
        QVERIFY(!m_rig->Frame().IsCommandBound(cmd::kEdit));
        QVERIFY(!m_rig->Frame().IsCommandBound(cmd::kOpenBrowser));
        QVERIFY(!m_rig->Frame().OnCommand(cmd::kDelete));
    }

    void panesSplitSixToFourAndF6SwitchesBetweenThem() {
        MakeFrame();
        QVERIFY(QTest::qWaitForWindowExposed(&m_rig->Frame()));
        const QList<int> sizes = m_rig->Frame().Splitter()->sizes();
        const int total = sizes[0] + sizes[1];
        QVERIFY(qAbs(sizes[0] - total * 6 / 10) <= m_rig->Frame().Splitter()->handleWidth() + 1);
        m_rig->Frame().activateWindow();
        View().setFocus();
        m_rig->Frame().OnCommand(cmd::kNextPane);
        QTRY_VERIFY(m_rig->Frame().GetLogView()->hasFocus());
        m_rig->Frame().OnCommand(cmd::kPrevPane);
        QTRY_VERIFY(View().hasFocus());
    }

    void logCommandsReachTheLogPane() {
        MakeFrame();
        m_rig->Frame().GetLogView()->AppendText("line\r\n");
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("clearLog"))->trigger();
        QVERIFY(m_rig->Frame().GetLogView()->toPlainText().isEmpty());
        QCOMPARE(m_rig->Frame().findChild<QLabel*>(QStringLiteral("readyText"))->text(), QStringLiteral("ﾚﾃﾞｨ"));
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
        QTimer::singleShot(0, &m_rig->Frame(), [&shown] {
            if (auto* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                shown = sheet->windowTitle();
                sheet->reject();
            }
        });
        test::RequireEnabledAction(&m_rig->Frame(), action)->trigger();
        QCOMPARE(shown, caption);
    }

    // The desktop refuses the proxy (KDE's settings locked): the user is told once for each attempt, and only then.
    void proxyTheDesktopRefusesIsToldOnce() {
        m_rig->internet.dialUpProfile = "dial-up"; // four calls to the desktop, still one message
        MakeFrame();
        auto* box = m_rig->Frame().GetProxyBar()->findChild<QCheckBox*>(QStringLiteral("useProxyBox"));
        box->click();
        QCOMPARE(m_rig->internet.calls.size(), std::size_t{4});
        QVERIFY(m_rig->messages.Boxes().empty());
        m_rig->internet.changes = false;
        box->click();
        QCOMPARE(m_rig->internet.calls.size(), std::size_t{8});
        QCOMPARE(m_rig->messages.Boxes().size(), std::size_t{1});
        QCOMPARE(m_rig->messages.Boxes()[0].text, std::string(kProxyNotChanged));
    }

    void helpWithoutBrowserPathSaysSoAndLaunchesNothing() {
        m_rig->settings.BwPath.clear();
        MakeFrame();
        test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("helpManual"))->trigger();
        QCOMPARE(m_rig->messages.Boxes().size(), std::size_t{1});
        QCOMPARE(m_rig->messages.Boxes()[0].text, std::string(texts::kNoBrowserPath));
        QVERIFY(m_rig->launcher.launches.empty());
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::MainFrameTest)
#include "MainFrameTest.moc"
#include "support/RecordingServices.h"
