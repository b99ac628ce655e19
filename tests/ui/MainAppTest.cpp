#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include "core/settings/AppSettings.h"
#include "core/app/CommandLine.h"
#include "core/app/InstanceRequest.h"
#include "core/frame/CommandIds.h"
#include "core/proxy/InternetSettings.h"
#include "core/util/Texts.h"
#include "platform/InstanceLock.h"
#include "platform/ProgramLauncher.h"
#include "platform/RecentFileList.h"
#include "support/FakeProxy.h"
#include "support/OrdinaryUser.h"
#include "support/TempDir.h"
#include "ui/support/AppRig.h"
#include "ui/support/MenuProbe.h"
#include "ui/UiTestSupport.h"
#include "ui/util/AppIdentity.h"
#include "ui/app/InstanceChannel.h"
#include "ui/app/MainApp.h"
#include "ui/app/SplashDlg.h"
#include "ui/frame/MainFrame.h"
#include "ui/frame/ProxyBar.h"
#include "ui/frame/TrayIcon.h"
#include "ui/list/ListPopupMenus.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"

namespace zandel {
namespace {

using ui::CMainApp;

// Whether the process holds an flock, as the kernel lists them.
bool HoldsFlock(qint64 pid) {
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QString marker = QStringLiteral(" %1 ").arg(pid);
    for (const QByteArray& line : locks.readAll().split('\n')) {
        if (line.contains("FLOCK") && QString::fromLatin1(line).contains(marker)) {
            return true;
        }
    }
    return false;
}

// A program of the user's own on the channel's other end: it connects, says `bytes` and keeps its end open.
class Peer final {
public:
    Peer(const std::string& path, const std::string& bytes) : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        m_connected = ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                      ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    ~Peer() { ::close(m_fd); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool Connected() const { return m_connected; }
    // Cut off by the program without a byte of answer.
    bool CutOff() const {
        char byte = 0;
        const ssize_t n = ::recv(m_fd, &byte, 1, MSG_DONTWAIT);
        m_answered = m_answered || n > 0;
        return !m_answered && (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK));
    }

private:
    int m_fd;
    bool m_connected = false;
    mutable bool m_answered = false;
};

// A socket file as a program that was killed leaves it: bound, never removed.
void LeaveStaleSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

class MainAppTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<test::AppRig> m_rig;

private Q_SLOTS:
    void init() { m_rig = std::make_unique<test::AppRig>(); }
    void cleanup() { m_rig.reset(); }

    void startReopensTheLastListAndExitWritesEveryFileInOrder() {
        const std::string list = m_rig->dir.Write("last.txt", "10.0.0.1:80 NG\r\n10.0.0.2:80\r\n");
        m_rig->dir.Write(
            "PrxSet.ini",
            "[ProxyFile]\r\nFile=" + list +
                "\r\n[ProxyForegroundWindow]\r\nForegroundWindow=1\r\n[ProxyAddr]\r\nAddr=10.0.0.7:8080\r\n");
        m_rig->dir.Write("USER2.DAT", "10.0.0.3:3128\r\n");
        m_rig->dir.Write("Access.ini", "[ADDR1]\r\nNo0=10.0.0.4:80\r\n[ADDR2]\r\nNo0=http://127.0.0.1/\r\n");

        auto app = m_rig->MakeApp();
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Running);
        ui::CMainFrame* frame = app->MainFrame();
        QVERIFY(frame->isVisible());
        QCOMPARE(frame->windowTitle(), QStringLiteral("Zandel - last.txt"));
        QCOMPARE(frame->View()->Rows().RowCount(), 2);
        QVERIFY(frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(GetListEntry(app->Settings(), SettingsList::Favourites, 0), std::string("10.0.0.3:3128"));
        QCOMPARE(m_rig->recent.Entries().front(), list);

        // A second instance meanwhile is refused by the lock.
        InstanceLock other(m_rig->dir.File("Zandel.lock"));
        QVERIFY(!other.Acquire());

        frame->close();
        app->ExitInstance();
        const std::string prxSet = m_rig->dir.Read("PrxSet.ini");
        QVERIFY2(prxSet.rfind("[Window]\r\nLeft=", 0) == 0, prxSet.c_str());
        QVERIFY(prxSet.find("[ProxyTimeOut]") > prxSet.find("Right="));
        QVERIFY(prxSet.find("Addr=10.0.0.7:8080") != std::string::npos);
        QVERIFY(prxSet.find("File=" + list) != std::string::npos);
        QCOMPARE(m_rig->dir.Read("USER2.DAT"), std::string("10.0.0.3:3128\r\n"));
        QVERIFY(m_rig->dir.Read("Access.ini").find("No0=http://127.0.0.1/") != std::string::npos);
        QVERIFY(m_rig->dir.Read("config/Zandel.ini").find("File1=" + list) != std::string::npos);
        QVERIFY(other.Acquire());
    }

    // The form it was found in: a click on a row with a login puts the whole entry into the proxy bar, which exit
    // saves in "PrxSet.ini". No file the program makes is readable by another user, whatever the umask lets through:
    // not while it runs (the history with its -wal and -shm) and not after.
    void filesThatMayHoldALoginAreTheUsersAlone() {
        const mode_t umaskBefore = ::umask(022);
        const std::string entry = "127.0.0.1:21004:u2:Tp-7.x_q";
        const std::string list = m_rig->dir.Write("login.txt", entry + "\r\n");
        const auto readableByOthers = [this] {
            QStringList names;
            QDirIterator files(QString::fromStdString(m_rig->dir.Path()), QDir::Files | QDir::Hidden,
                               QDirIterator::Subdirectories);
            while (files.hasNext()) {
                const QString path = files.next();
                struct stat st {};
                if (!path.endsWith(QStringLiteral("/login.txt")) && ::stat(QFile::encodeName(path), &st) == 0 &&
                    (st.st_mode & 077) != 0) {
                    names << path;
                }
            }
            return names.join(QLatin1Char(' '));
        };
        auto app = m_rig->MakeApp({"zandel", list});
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Running);
        ui::ProxyListView* view = app->MainFrame()->View();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(0, 0)).center());
        QCOMPARE(app->MainFrame()->GetProxyBar()->GetAddr(), entry);
        QVERIFY(m_rig->dir.Exists("history.sqlite-wal") && m_rig->dir.Exists("history.sqlite-shm"));
        QCOMPARE(readableByOthers(), QString());
        app->MainFrame()->close();
        app->ExitInstance();
        ::umask(umaskBefore);
        QVERIFY(m_rig->dir.Read("PrxSet.ini").find("[ProxyAddr]\r\nAddr=" + entry) != std::string::npos);
        QVERIFY(m_rig->dir.Exists("config/Zandel.ini"));
        QCOMPARE(readableByOthers(), QString());
    }

    // The list named on the command line is read once: reading it again as the last run's list doubled a long
    // list's wait, and a full one said it was full twice.
    void commandLineListBecomesTheListReopened() {
        const std::string kept = m_rig->dir.Write("kept.txt", "10.0.0.1:80\r\n");
        std::string full;
        for (int i = 0; i < kListRowsDefault; ++i) {
            full += "10.0.0.8:" + std::to_string(1000 + i) + "\r\n";
        }
        const std::string given = m_rig->dir.Write("given.txt", full);
        m_rig->dir.Write("PrxSet.ini", "[ProxyFile]\r\nFile=" + kept + "\r\n");
        auto app = m_rig->MakeApp({"zandel", given});
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Running);
        QCOMPARE(app->MainFrame()->View()->Rows().RowCount(), kListRowsDefault);
        QCOMPARE(app->Settings().ProxyFile, given);
        // What the start has to say shows once the splash has gone, all of it at once.
        QTRY_VERIFY_WITH_TIMEOUT(!m_rig->messages.Boxes().empty(), 5000);
        QCOMPARE(m_rig->messages.Boxes().size(), std::size_t{1});
        QCOMPARE(m_rig->messages.Boxes().at(0).text, std::string(texts::kRowLimit));
    }

    // A name is opened by its bytes; one "PrxSet.ini" cannot hold is opened but not recorded for the next start.
    void commandLineNamesKeepTheirBytes_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("recorded");
        QTest::addRow("not UTF-8") << QByteArray("\xff\x83\x65\r.txt") << true;
        QTest::addRow("line feed") << QByteArray("a\nb.txt") << false;
    }
    void commandLineNamesKeepTheirBytes() {
        QFETCH(QByteArray, name);
        QFETCH(bool, recorded);
        const std::string list = m_rig->dir.Write(name.toStdString(), "10.0.0.8:80\r\n10.0.0.9:80\r\n");
        auto app = m_rig->MakeApp({"zandel", list});
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Running);
        QCOMPARE(app->MainFrame()->View()->Rows().RowCount(), 2);
        QCOMPARE(app->Settings().ProxyFile, recorded ? list : std::string());
        QCOMPARE(m_rig->recent.Entries(), recorded ? std::vector<std::string>{list} : std::vector<std::string>{});
        app->ExitInstance();
        AppSettings reread;
        reread.StartDir = m_rig->dir.Path();
        LoadSettings(reread);
        QCOMPARE(reread.ProxyFile, app->Settings().ProxyFile);
    }

    void commandLineListThatCannotBeOpenedEndsTheStartButKeepsTheSettings() {
        m_rig->dir.Write("PrxSet.ini", "[ProxyTimeOut]\r\nTimeOut=9\r\n");
        auto app = m_rig->MakeApp({"zandel", m_rig->dir.File("list.csv")});
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Failed);
        QCOMPARE(m_rig->messages.Boxes().at(0).text, std::string(texts::kBadListFormat));
        app->ExitInstance();
        QVERIFY(m_rig->dir.Read("PrxSet.ini").find("TimeOut=9") != std::string::npos);
    }

    void startingIntoTheTrayLeavesTheWindowWithinReach() {
        // Without a tray on this desktop, "start in the tray" minimizes: the window must never be unreachable.
        m_rig->dir.Write("PrxSet.ini", "[ProxyTaskTray]\r\nOpenOn=1\r\n");
        auto app = m_rig->MakeApp();
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Running);
        ui::CMainFrame* frame = app->MainFrame();
        QVERIFY(frame->isVisible());
        QTRY_VERIFY(frame->isMinimized());
        QVERIFY(frame->Tray().IsPresent());
        QVERIFY(app->Settings().TaskTray);
        frame->OnCommand(cmd::kRestoreFromTray);
        QVERIFY(!frame->isMinimized());
        QVERIFY(!app->Settings().TaskTray);
    }

    void exitChosenWhileHiddenInTheTrayEndsTheProgram() {
        auto app = m_rig->MakeApp();
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Running);
        ui::CMainFrame* frame = app->MainFrame();
        frame->Tray().SetTrayAvailable([] { return true; });
        frame->ShowInTray(true);
        QVERIFY(!frame->isVisible());
        std::unique_ptr<QMenu> menu = frame->Popups().MakeTrayMenu();
        QVERIFY(test::ChooseCommand(*menu, cmd::kAppExit));
        // Bounded: a program that did not end would be stopped here and the test fail.
        bool stuck = false;
        QTimer::singleShot(10000, qApp, [&stuck] {
            stuck = true;
            QCoreApplication::exit(1);
        });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!stuck);
        app->ExitInstance();
        QVERIFY(m_rig->dir.Read("PrxSet.ini").find("[ProxyTaskTray]\r\nOn=1") != std::string::npos);
    }

    void splashClosesOnAKeyPress() {
        auto app = m_rig->MakeApp();
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Running);
        ui::CSplashDlg* splash = app->Splash();
        QVERIFY(splash != nullptr);
        QCOMPARE(splash->size(), QSize(307, 176));
        QVERIFY(splash->windowFlags().testFlag(Qt::FramelessWindowHint));
        QTest::keyClick(app->MainFrame(), Qt::Key_Shift);
        QTRY_VERIFY(app->Splash() == nullptr);
    }

    void splashClosesByItselfOnceItsSecondIsUp() {
        auto app = m_rig->MakeApp();
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Running);
        QVERIFY(app->Splash() != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(app->Splash() == nullptr, 10000);
    }

    void startupCheckWarnsWhenTheBrowsersProxyFails() {
        test::FakeProxy refusing(test::fake::Refuse());
        m_rig->dir.Write("PrxSet.ini",
                         "[ProxyOn]\r\nOn=1\r\n[OpenCheck]\r\nOn=1\r\n[ProxyAddr]\r\nAddr=" + refusing.Address() +
                             "\r\n[WebPage-Url]\r\nWebPage=http://127.0.0.1:9/envchk.cgi\r\n");
        auto app = m_rig->MakeApp();
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Running);
        QTRY_VERIFY_WITH_TIMEOUT(!m_rig->messages.Boxes().empty(), 20000);
        QCOMPARE(m_rig->messages.Boxes()[0].text, std::string(texts::kStartupCheckWarning));
        QTRY_VERIFY(!app->MainFrame()->View()->IsRunning());
        // The check of the browser's proxy never touches the list.
        QCOMPARE(app->MainFrame()->View()->Rows().RowCount(), 0);
    }

    // What the start has to say comes over the main window once the splash has gone, never over the splash
    // before the window is there: the start notice first, once, then the history that could not be opened (a
    // full disk; here a folder in its place).
    void startWarningsComeOverTheMainWindowOnceItIsUp() {
        QVERIFY(QDir().mkpath(QString::fromStdString(m_rig->dir.File("history.sqlite"))));
        auto app = m_rig->MakeAppIn(StartFolder{m_rig->dir.Path(), "notice", true});
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Running);
        QTRY_COMPARE(m_rig->messages.Boxes().size(), std::size_t{2});
        QCOMPARE(m_rig->messages.Boxes()[0].text, std::string("notice"));
        QVERIFY(m_rig->messages.Boxes()[1].text.find("history.sqlite") != std::string::npos);
        for (const test::MessageRecorder::Box& box : m_rig->messages.Boxes()) {
            QVERIFY2(box.shown == QStringList{QStringLiteral("mainFrame")},
                     qPrintable(box.shown.join(QLatin1Char(' '))));
            QCOMPARE(box.over, QStringLiteral("mainFrame"));
        }
    }

    // A settings folder of another user: the program runs on its defaults, says so once and writes nothing there.
    void settingsFolderThatIsNotUsedStaysAsItWas() {
        QVERIFY(QDir().mkpath(QString::fromStdString(m_rig->dir.File("theirs"))));
        const std::string planted = "[ProxyTimeOut]\r\nTimeOut=11\r\n";
        m_rig->dir.Write("theirs/PrxSet.ini", planted);
        auto app = m_rig->MakeAppIn(StartFolder{m_rig->dir.File("theirs"), "notice", false});
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Running);
        QCOMPARE(app->Settings().TimeOut, 30);
        QTRY_COMPARE(m_rig->messages.Boxes().size(), std::size_t{1});
        app->ExitInstance();
        QCOMPARE(m_rig->dir.Read("theirs/PrxSet.ini"), planted);
        QCOMPARE(test::TempDir::Names(m_rig->dir.File("theirs")), std::string("PrxSet.ini"));
    }

    // The desktop matches the window to the installed entry by the name the program gives, and draws the icon
    // at whichever of the installed sizes it needs.
    void windowIsKnownByTheInstalledEntryAndCarriesEveryIconSize() {
        ui::SetUpAppIdentity();
        const QDir desktop(QStringLiteral(ZANDEL_RES_DIR "/desktop"));
        const QString entry = QGuiApplication::desktopFileName() + QStringLiteral(".desktop");
        QVERIFY2(desktop.exists(entry), qPrintable(entry));
        QFile metainfo(desktop.filePath(QGuiApplication::desktopFileName() + QStringLiteral(".metainfo.xml")));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        const QString appStream = QString::fromUtf8(metainfo.readAll());
        QVERIFY(appStream.contains(QStringLiteral("<id>%1</id>").arg(QGuiApplication::desktopFileName())));
        QVERIFY(appStream.contains(QStringLiteral("<launchable type=\"desktop-id\">%1</launchable>").arg(entry)));

        auto app = m_rig->MakeApp();
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Running);
        const QStringList installed =
            QDir(desktop.filePath(QStringLiteral("icons"))).entryList({QStringLiteral("zandel-*.png")}, QDir::Files);
        QVERIFY(!installed.isEmpty());
        for (const QIcon& icon : {app->MainFrame()->windowIcon(), QGuiApplication::windowIcon()}) {
            for (const QString& file : installed) {
                const int side = file.mid(7, file.size() - 11).toInt();
                QVERIFY2(icon.availableSizes().contains(QSize(side, side)), qPrintable(file));
            }
        }
    }

    // The channel beside the lock hears only whole requests from the user's own programs. A socket file left
    // by a killed program does not keep it deaf; a peer that says something else, too much or nothing, or runs
    // as another user, is cut off, moves nothing, and keeps nobody else from being heard.
    void laterStartsAreHeardOnlyFromTheUsersOwnWholeRequests() {
        const std::string channel = m_rig->lock.ChannelPath();
        LeaveStaleSocket(channel);
        auto app = m_rig->MakeApp();
        QCOMPARE(app->InitInstance(), AppLifecycle::Start::Running);
        ui::CMainFrame* frame = app->MainFrame();
        frame->ShowInTray(true);
        QTRY_VERIFY(frame->isMinimized());

        const std::string head = "ZANDEL-RAISE 1\n";
        std::vector<std::unique_ptr<Peer>> peers;
        for (const std::string& bytes :
             {std::string("GET / HTTP/1.0\r\n\r\n"), head + "4097\n", head + "0\nmore", head, std::string()}) {
            peers.push_back(std::make_unique<Peer>(channel, bytes));
            QVERIFY(peers.back()->Connected());
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(peers.begin(), peers.end(), [](const auto& peer) { return peer->CutOff(); }),
            3 * ui::InstanceServer::kRequestWaitMs);
        QVERIFY(frame->isMinimized());

        if (::geteuid() == 0) {
            // Reachable by another user for once, the socket opened to all: a whole request is still cut off.
            QCOMPARE(::chmod(channel.c_str(), 0777), 0);
            std::atomic<bool> heard{false};
            std::string report;
            std::thread other([&] {
                report = test::RunAsOrdinaryUser(m_rig->dir.Path(), [&channel] {
                    const Peer peer(channel, EncodeRaiseRequest(""));
                    if (!peer.Connected()) {
                        return std::string("could not reach the channel");
                    }
                    for (int wait = 0; wait < 500; ++wait) {
                        if (peer.CutOff()) {
                            return std::string();
                        }
                        ::usleep(10000);
                    }
                    return std::string("answered, or not cut off");
                });
                heard = true;
            });
            QTRY_VERIFY_WITH_TIMEOUT(heard.load(), 10000);
            other.join();
            QCOMPARE(report, std::string());
            QVERIFY(frame->isMinimized());
        }

        std::atomic<bool> done{false};
        std::atomic<ui::Asked> asked{ui::Asked::NoAnswer};
        std::thread later([&] {
            asked = ui::AskRunningInstance(channel, EncodeRaiseRequest(""), std::chrono::seconds(10));
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 15000);
        later.join();
        QCOMPARE(asked.load(), ui::Asked::Answered);
        QVERIFY(!frame->isMinimized());
    }

    // Asked in a terminal with no desktop at hand: the answer needs no window system and leaves nothing behind.
    void helpAndVersionAnswerWithoutADisplay_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("answer");
        QTest::newRow("--help") << QStringLiteral("--help") << QStringLiteral("usage: zandel [--use-config-folder]");
        QTest::newRow("--version") << QStringLiteral("--version")
                                   << QStringLiteral("zandel %1\n").arg(QString::fromLatin1(AppVersion()));
    }
    void helpAndVersionAnswerWithoutADisplay() {
        QFETCH(QString, option);
        QFETCH(QString, answer);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(m_rig->dir.Path()));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(m_rig->dir.File("config")));
        const std::string listing = m_rig->dir.Listing();
        QProcess program;
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(QString::fromStdString(m_rig->dir.Path()));
        program.start(QStringLiteral(ZANDEL_BIN), {option, QStringLiteral("--use-config-folder")});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        QVERIFY2(out.startsWith(answer), qPrintable(out));
        QCOMPARE(QString::fromUtf8(program.readAllStandardError()), QString());
        QCOMPARE(m_rig->dir.Listing(), listing);
    }

    void secondProgramEndsAndWritesNothing() {
        const QString startDir = QString::fromStdString(m_rig->dir.Path()) + QStringLiteral("/start");
        QVERIFY(QDir().mkpath(startDir));
        const std::string before = "[ProxyTimeOut]\r\nTimeOut=11\r\n";
        m_rig->dir.Write("start/PrxSet.ini", before);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(m_rig->dir.Path()));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(m_rig->dir.File("config")));
        env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));

        QProcess first;
        first.setProcessEnvironment(env);
        first.setWorkingDirectory(startDir);
        first.start(QStringLiteral(ZANDEL_BIN), {});
        QVERIFY(first.waitForStarted());
        // Taking the lock to see whether it is held could make the first program the second one.
        QTRY_VERIFY_WITH_TIMEOUT(HoldsFlock(first.processId()), 20000);
        // The holder listens a moment after it locks; a loaded machine shows that moment.
        QTRY_VERIFY_WITH_TIMEOUT(m_rig->dir.Exists("Zandel.socket"), 20000);
        // and goes on making its files (the history) for a while after: the folder is taken once it holds still.
        std::string listing = m_rig->dir.Listing();
        for (int look = 0; look < 60; ++look) {
            QTest::qWait(300);
            if (std::exchange(listing, m_rig->dir.Listing()) == listing) {
                break;
            }
        }

        QProcess second;
        second.setProcessEnvironment(env);
        second.setWorkingDirectory(startDir);
        second.start(QStringLiteral(ZANDEL_BIN), {});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(m_rig->dir.Read("start/PrxSet.ini"), before);
        QCOMPARE(m_rig->dir.Listing(), listing);
        QVERIFY(!m_rig->dir.Exists("config"));

        first.kill();
        first.waitForFinished();
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::MainAppTest)
#include "MainAppTest.moc"
