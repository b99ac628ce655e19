#include "platform/ProgramLauncher.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DesktopSandbox.h"
#include "core/settings/AppSettings.h"
#include "core/frame/BrowserLaunch.h"

#include "support/RecordingMessageService.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

namespace zandel {
namespace {

// A stand-in browser that writes how many arguments it got and each of them on a line.
class SpawnLauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_browser =
            m_dir.Write("My Browser", "#!/bin/sh\n"
                                      "out=\"$(dirname \"$0\")/args.txt\"\n"
                                      "{ echo \"$#\"; for a in \"$@\"; do echo \"[$a]\"; done; } > \"$out.tmp\"\n"
                                      "mv \"$out.tmp\" \"$out\"\n");
        ASSERT_EQ(chmod(m_browser.c_str(), 0755), 0);
    }

    // A program that runs `script`, in the test's folder.
    std::string Script(const std::string& name, const std::string& script) {
        const std::string path = m_dir.Write(name, "#!/bin/sh\ncd \"$(dirname \"$0\")\"\n" + script + "\n");
        EXPECT_EQ(chmod(path.c_str(), 0755), 0);
        return path;
    }

    test::TempDir m_dir;
    std::string m_browser;
    // Before the launcher: what it tells goes here until it is gone.
    test::RecordingMessageService m_messages;
    SpawnLauncher m_launcher;
};

TEST_F(SpawnLauncherTest, ParameterIsOneArgumentAsItStands) {
    const std::string manual = m_dir.Path() + "/My Programs/index.html";
    m_launcher.Launch(m_browser, manual, {});
    EXPECT_TRUE(test::WaitForFileText(m_dir.File("args.txt"), "1\n[" + manual + "]\n"));
}

TEST_F(SpawnLauncherTest, EmptyParameterStartsWithoutArguments) {
    m_launcher.Launch(m_browser, "", {});
    EXPECT_TRUE(test::WaitForFileText(m_dir.File("args.txt"), "0\n"));
}

TEST_F(SpawnLauncherTest, BareNameIsLookedForAlongPath) {
    const char* old = std::getenv("PATH");
    const std::string saved = old != nullptr ? old : "";
    // The stand-in needs the system's tools from PATH too.
    ::setenv("PATH", ("/nonexistent:" + saved + ":" + m_dir.Path()).c_str(), 1);
    const bool started = m_launcher.Launch("My Browser", "x", {});
    const bool strayStarted = m_launcher.Launch("no-such-browser", "x", {});
    old != nullptr ? ::setenv("PATH", saved.c_str(), 1) : ::unsetenv("PATH");
    EXPECT_TRUE(started);
    EXPECT_FALSE(strayStarted);
    EXPECT_TRUE(test::WaitForFileText(m_dir.File("args.txt"), "1\n[x]\n"));
}

// Whatever cannot be started says so, and the launcher stays able to start a real program afterwards.
TEST_F(SpawnLauncherTest, PathThatIsNoProgramStartsNothingAndSaysSo) {
    const std::string text = m_dir.Write("notes.txt", "not a program\n");
    EXPECT_FALSE(m_launcher.Launch(text, "http://127.0.0.1/", {}));
    EXPECT_FALSE(m_launcher.Launch(m_dir.Path(), "http://127.0.0.1/", {}));
    EXPECT_FALSE(m_launcher.Launch(m_dir.File("missing"), "", {}));
    EXPECT_FALSE(m_launcher.Launch("", "", {}));
    EXPECT_TRUE(m_launcher.Launch(m_browser, "x", {}));
    EXPECT_TRUE(test::WaitForFileText(m_dir.File("args.txt"), "1\n[x]\n"));
}

TEST_F(SpawnLauncherTest, FailedLaunchIsToldNamingTheProgram) {
    EXPECT_FALSE(LaunchOrReport(m_launcher, m_dir.File("missing"), "", m_messages));
    EXPECT_TRUE(LaunchOrReport(m_launcher, m_browser, "", m_messages));
    EXPECT_TRUE(test::WaitForFileText(m_dir.File("args.txt"), "0\n"));
    ASSERT_EQ(m_messages.Texts().size(), 1U);
    EXPECT_EQ(m_messages.Texts()[0], "ブラウザを起動できませんでした。\n" + m_dir.File("missing") +
                                         "\n設定ダイアログを開いて、ブラウザを指定してください。");
}

// As a fresh install has it: the default opener, the start URL on and empty. The desktop's default web browser
// opens, on no page, and nothing is said.
TEST_F(SpawnLauncherTest, DefaultOpenerWithoutAStartUrlOpensTheDesktopsBrowser) {
    const AppSettings defaults;
    const LaunchPlan plan = PlanOpenBrowser(defaults, m_messages);
    ASSERT_TRUE(plan.launch);
    ASSERT_EQ(plan.parameter, "");
    ::unlink(test::DesktopSandbox::BrowserArgs().c_str());
    EXPECT_TRUE(LaunchOrReport(m_launcher, plan.program, plan.parameter, m_messages));
    EXPECT_TRUE(test::WaitForFileText(test::DesktopSandbox::BrowserArgs(), "0\n"));
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{});
}

// A program that ends in failure at once (an opener that finds nothing to open, a crash) is told, naming it;
// one that ends well, or fails only once it has long been running, is not.
TEST_F(SpawnLauncherTest, ProgramThatFailsAtOnceIsToldNamingIt) {
    SpawnLauncher launcher(std::chrono::milliseconds(1000));
    const std::string usage = Script("usage", "echo 'usage: opener URL' >&2; exit 1");
    const std::string crash = Script("crash", "kill -SEGV $$");
    const std::string fine = Script("fine", "exit 0");
    const std::string late = Script("late", "sleep 2; echo done >late.done; exit 1");
    for (const std::string& program : {usage, crash, fine, late}) {
        EXPECT_TRUE(LaunchOrReport(launcher, program, "", m_messages)) << program;
    }
    ASSERT_TRUE(test::WaitForFileText(m_dir.File("late.done"), "done"));
    // The late one's end, had it counted, is told at once after it.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<std::string> told = m_messages.Texts();
    std::sort(told.begin(), told.end());
    std::vector<std::string> expected = {LaunchFailedText(usage), LaunchFailedText(crash)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(told, expected);
}

} // namespace
} // namespace zandel
