#include "core/app/AppLifecycle.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/settings/AppSettings.h"
#include "core/app/InstallPaths.h"
#include "support/OrdinaryUser.h"
#include "core/app/InstanceRequest.h"
#include "support/TempDir.h"

namespace zandel {
namespace {

class FakeLock final : public ISingleInstance {
public:
    explicit FakeLock(bool free, std::function<void()> onRelease = {})
        : m_free(free), m_onRelease(std::move(onRelease)) {}
    bool Acquire() override { return m_free; }
    bool IsHeld() const override { return m_free && held; }
    std::string ChannelPath() const override { return "/run/Zandel.socket"; }
    void Release() override {
        ++releases;
        if (m_onRelease) {
            m_onRelease();
        }
    }
    int releases = 0;
    bool held = true; // false: started without a lock to be had

private:
    bool m_free;
    std::function<void()> m_onRelease;
};

// Records the steps in order, with what the settings held when the main window was shown.
class RecordingShell final : public IAppShell {
public:
    explicit RecordingShell(AppSettings& settings) : m_settings(settings) {}
    void ListenForLaterStarts() override { steps.push_back("listen"); }
    void LoadRecentFiles() override { steps.push_back("recent"); }
    bool ProcessCommandLine() override {
        steps.push_back("commandLine");
        return commandLineSucceeds;
    }
    void ShowSplash() override { steps.push_back("splash"); }
    void ShowMainWindow() override {
        steps.push_back("show");
        favouritesAtShow = CountListEntries(m_settings, SettingsList::Favourites);
    }
    void ReopenListFile(const std::string& path) override { steps.push_back("reopen " + path); }
    void ShowInTray(bool hide) override { steps.push_back(hide ? "hide" : "restore"); }
    void ApplyTopmost() override { steps.push_back("topmost"); }
    void StartStartupCheck() override { steps.push_back("startupCheck"); }
    void SaveRecentFiles() override { steps.push_back("saveRecent"); }

    std::vector<std::string> steps;
    bool commandLineSucceeds = true;
    int favouritesAtShow = -1;

private:
    AppSettings& m_settings;
};

class AppLifecycleTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    AppSettings m_settings;
    RecordingShell m_shell{m_settings};
};

TEST_F(AppLifecycleTest, SecondInstanceReadsShowsAndWritesNothing) {
    m_dir.Write("PrxSet.ini", "[ProxyTimeOut]\r\nTimeOut=7\r\n");
    FakeLock lock(false);
    AppLifecycle app(m_settings, lock, m_shell);
    EXPECT_EQ(app.InitInstance(m_dir.Path()), AppLifecycle::Start::SecondInstance);
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_TRUE(m_shell.steps.empty());
    EXPECT_EQ(m_settings.TimeOut, 30);
    EXPECT_EQ(lock.releases, 0);
    EXPECT_EQ(m_dir.Listing(), "PrxSet.ini");
    EXPECT_EQ(m_dir.Read("PrxSet.ini"), "[ProxyTimeOut]\r\nTimeOut=7\r\n");
}

TEST_F(AppLifecycleTest, StartsInItsOrderAndReadsTheListsOnceTheWindowIsUp) {
    const std::string list = m_dir.Write("last.txt", "1.2.3.4:80\r\n");
    m_dir.Write("PrxSet.ini", "[ProxyFile]\r\nFile=" + list + "\r\n");
    m_dir.Write("USER2.DAT", "10.0.0.1:8080\r\n10.0.0.2:3128\r\n");
    m_dir.Write("Access.ini", "[ADDR1]\r\nNo0=10.0.0.9:80\r\n[ADDR2]\r\nNo0=http://127.0.0.1/\r\n");
    FakeLock lock(true);
    AppLifecycle app(m_settings, lock, m_shell);
    ASSERT_EQ(app.InitInstance(m_dir.Path()), AppLifecycle::Start::Running);
    EXPECT_EQ(m_settings.StartDir, m_dir.Path());
    const std::vector<std::string> expected = {"listen", "recent",         "commandLine", "splash",
                                               "show",   "reopen " + list, "restore",     "topmost"};
    EXPECT_EQ(m_shell.steps, expected);
    EXPECT_EQ(m_shell.favouritesAtShow, 0);
    EXPECT_EQ(CountListEntries(m_settings, SettingsList::Favourites), 2);
    EXPECT_EQ(GetListEntry(m_settings, SettingsList::ChainProxies, 0), "10.0.0.9:80");
    EXPECT_EQ(GetListEntry(m_settings, SettingsList::ChainUrls, 0), "http://127.0.0.1/");
}

TEST_F(AppLifecycleTest, ListOfTheLastRunThatHasGoneIsPassedOverAndKept) {
    m_dir.Write("PrxSet.ini", "[ProxyFile]\r\nFile=" + m_dir.File("gone.txt") + "\r\n");
    FakeLock lock(true);
    AppLifecycle app(m_settings, lock, m_shell);
    ASSERT_EQ(app.InitInstance(m_dir.Path()), AppLifecycle::Start::Running);
    for (const std::string& step : m_shell.steps) {
        EXPECT_EQ(step.rfind("reopen", 0), std::string::npos) << step;
    }
    EXPECT_EQ(m_settings.ProxyFile, m_dir.File("gone.txt"));
}

struct StartOptions {
    const char* ini;
    const char* trayStep;
    bool startupCheck;
};

class StartOptionsTest : public AppLifecycleTest, public ::testing::WithParamInterface<StartOptions> {};

TEST_P(StartOptionsTest, TrayAndStartupCheckFollowTheSettings) {
    m_dir.Write("PrxSet.ini", GetParam().ini);
    FakeLock lock(true);
    AppLifecycle app(m_settings, lock, m_shell);
    ASSERT_EQ(app.InitInstance(m_dir.Path()), AppLifecycle::Start::Running);
    ASSERT_GE(m_shell.steps.size(), 7u);
    EXPECT_EQ(m_shell.steps[5], GetParam().trayStep);
    EXPECT_EQ(m_shell.steps[6], "topmost");
    EXPECT_EQ(m_shell.steps.back() == "startupCheck", GetParam().startupCheck);
}

INSTANTIATE_TEST_SUITE_P(Settings, StartOptionsTest,
                         ::testing::Values(StartOptions{"", "restore", false},
                                           StartOptions{"[ProxyTaskTray]\nOpenOn=1\n", "hide", false},
                                           StartOptions{"[ProxyTaskTray]\nOn=1\nOpenOn=0\n", "hide", false},
                                           StartOptions{"[ProxyOn]\nOn=1\n[OpenCheck]\nOn=1\n", "restore", true},
                                           StartOptions{"[ProxyOn]\nOn=0\n[OpenCheck]\nOn=1\n", "restore", false},
                                           StartOptions{"[ProxyOn]\nOn=1\n[OpenCheck]\nOn=0\n", "restore", false}));

TEST_F(AppLifecycleTest, ExitWritesAfterTheWindowRectangleAndLetsTheLockGoLast) {
    std::string settingsAtRelease;
    FakeLock lock(true, [&] { settingsAtRelease = m_dir.Read("PrxSet.ini"); });
    AppLifecycle app(m_settings, lock, m_shell);
    ASSERT_EQ(app.InitInstance(m_dir.Path()), AppLifecycle::Start::Running);
    SetListEntry(m_settings, SettingsList::Favourites, "10.0.0.1:8080", 0);
    SetListEntry(m_settings, SettingsList::ChainProxies, "10.0.0.9:80", 0);
    m_settings.TimeOut = 12;

    // The main window goes first and hands over its rectangle, the head of "PrxSet.ini".
    m_settings.Window = WindowRect{10, 20, 310, 220};
    EXPECT_EQ(app.ExitInstance(), 0);

    const std::string prxSet = m_dir.Read("PrxSet.ini");
    EXPECT_EQ(
        prxSet.rfind("[Window]\r\nLeft=10\r\nTop=20\r\nBottom=220\r\nRight=310\r\n[ProxyTimeOut]\r\nTimeOut=12", 0), 0u)
        << prxSet;
    EXPECT_EQ(m_dir.Read("USER2.DAT"), "10.0.0.1:8080\r\n");
    EXPECT_NE(m_dir.Read("Access.ini").find("No0=10.0.0.9:80"), std::string::npos);
    EXPECT_EQ(settingsAtRelease, prxSet);
    EXPECT_EQ(m_shell.steps.back(), "saveRecent");
}

TEST_F(AppLifecycleTest, FailedCommandLineStillSavesTheSettingsItLoaded) {
    m_dir.Write("PrxSet.ini", "[ProxyTimeOut]\r\nTimeOut=9\r\n");
    m_shell.commandLineSucceeds = false;
    FakeLock lock(true);
    AppLifecycle app(m_settings, lock, m_shell);
    EXPECT_EQ(app.InitInstance(m_dir.Path()), AppLifecycle::Start::Failed);
    app.ExitInstance();
    EXPECT_NE(m_dir.Read("PrxSet.ini").find("TimeOut=9"), std::string::npos);
    EXPECT_EQ(lock.releases, 1);
}

// Started from the menu by an ordinary user whose settings folder is, or links to, a folder of another user, open to
// all and holding that user's settings (and a file of root's). The program starts on its defaults, says so, and
// leaves the folder as it found it.
TEST_F(AppLifecycleTest, SettingsFolderOfAnotherUserIsNeitherReadNorWritten) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give a folder to another user";
    }
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    const uid_t other = test::OtherUserUid();
    const std::string theirs = test::MakeOwned(m_dir.File("theirs/"), "", other, 0777);
    test::MakeOwned(theirs + "/PrxSet.ini", "[ProxyBwPath]\r\nBwPath=/tmp/planted\r\n", other, 0666);
    test::MakeOwned(theirs + "/USER2.DAT", "10.6.6.6:8080\r\n", other, 0666);
    test::MakeOwned(theirs + "/Access.ini", "[ADDR1]\r\nNo0=10.6.6.6:80\r\n", 0, 0666);
    const std::string listing = test::TempDir::Names(theirs);
    const std::string home = m_dir.File("home");
    ASSERT_EQ(::mkdir(home.c_str(), 0755), 0);

    const std::string report = test::RunAsOrdinaryUser(home, [&]() -> std::string {
        const std::string config = home + "/.config/Zandel";
        if (::mkdir((home + "/.config").c_str(), 0755) != 0 || ::symlink(theirs.c_str(), config.c_str()) != 0) {
            return "no link";
        }
        const StartFolder start = ChooseStartFolder(true, home, config);
        if (start.usesFiles || start.notice.empty()) {
            return "the folder is taken for the user's own";
        }
        AppSettings settings;
        RecordingShell shell(settings);
        FakeLock lock(true);
        AppLifecycle app(settings, lock, shell);
        if (app.InitInstance(start.dir, start.usesFiles) != AppLifecycle::Start::Running) {
            return "no start";
        }
        std::string wrong;
        if (settings.BwPath != kDefaultBrowserPath || CountListEntries(settings, SettingsList::Favourites) != 0 ||
            CountListEntries(settings, SettingsList::ChainProxies) != 0) {
            wrong = "read what another user planted; ";
        }
        settings.Window = WindowRect{10, 20, 310, 220};
        SetListEntry(settings, SettingsList::Favourites, "127.0.0.1:80", 0);
        app.ExitInstance();
        if (ReadWindowRect(settings).Right != 0) {
            wrong += "the window's place read back; ";
        }
        return wrong;
    });
    EXPECT_EQ(report, "");
    EXPECT_EQ(test::TempDir::Names(theirs), listing);
    EXPECT_EQ(test::TempDir::ReadFile(theirs + "/PrxSet.ini"), "[ProxyBwPath]\r\nBwPath=/tmp/planted\r\n");
    EXPECT_EQ(test::TempDir::ReadFile(theirs + "/Access.ini"), "[ADDR1]\r\nNo0=10.6.6.6:80\r\n");
}

// Without a lock of its own (another user's lock file, a planted link) the program starts but listens on no
// socket there: the folder is not its own.
TEST_F(AppLifecycleTest, StartWithoutALockListensForNobody) {
    FakeLock lock(true);
    lock.held = false;
    AppLifecycle app(m_settings, lock, m_shell);
    ASSERT_EQ(app.InitInstance(m_dir.Path()), AppLifecycle::Start::Running);
    EXPECT_EQ(m_shell.steps.front(), "recent");
}

struct RequestCase {
    const char* name;
    std::string bytes;
    RaiseRequest::State state;
    std::string path;
};

// What a later start sends is taken only whole and well formed; anything else from the socket is dropped.
TEST(RaiseRequestTest, OnlyAWholeWellFormedRequestIsTaken) {
    const std::string head = "ZANDEL-RAISE 1\n";
    const std::string longest(kMaxRequestPath, 'a');
    const std::vector<RequestCase> cases = {
        {"window only", EncodeRaiseRequest(""), RaiseRequest::State::Complete, ""},
        {"with a list", EncodeRaiseRequest("/home/u/a\nb.txt"), RaiseRequest::State::Complete, "/home/u/a\nb.txt"},
        {"longest path", head + "4096\n/" + longest.substr(1), RaiseRequest::State::Complete, "/" + longest.substr(1)},
        {"nothing yet", "", RaiseRequest::State::Incomplete, ""},
        {"half the head", head.substr(0, 7), RaiseRequest::State::Incomplete, ""},
        {"length coming", head + "12", RaiseRequest::State::Incomplete, ""},
        {"path coming", head + "12\n/home/u", RaiseRequest::State::Incomplete, ""},
        {"another protocol", "GET / HTTP/1.0\r\n\r\n", RaiseRequest::State::Bad, ""},
        {"another version", "ZANDEL-RAISE 2\n0\n", RaiseRequest::State::Bad, ""},
        {"no length", head + "\n", RaiseRequest::State::Bad, ""},
        {"a sign", head + "-1\n", RaiseRequest::State::Bad, ""},
        {"too long", head + "4097\n", RaiseRequest::State::Bad, ""},
        {"endless digits", head + "00000", RaiseRequest::State::Bad, ""},
        {"more than said", head + "2\n/ab", RaiseRequest::State::Bad, ""},
        {"a second request", EncodeRaiseRequest("") + EncodeRaiseRequest(""), RaiseRequest::State::Bad, ""},
        {"relative path", head + "5\na.txt", RaiseRequest::State::Bad, ""},
        {"NUL in the path", head + "4\n/a" + std::string(1, '\0') + "b", RaiseRequest::State::Bad, ""},
    };
    for (const RequestCase& c : cases) {
        const RaiseRequest request = DecodeRaiseRequest(c.bytes);
        EXPECT_EQ(request.state, c.state) << c.name;
        EXPECT_EQ(request.path, c.path) << c.name;
    }
    // A path the request cannot carry is left out rather than sent cut.
    EXPECT_EQ(EncodeRaiseRequest("/" + longest), head + "0\n");
    EXPECT_EQ(AbsoluteListPath("lists/a.txt", "/home/u"), "/home/u/lists/a.txt");
    EXPECT_EQ(AbsoluteListPath("/tmp/a.txt", "/home/u"), "/tmp/a.txt");
}

} // namespace
} // namespace zandel
