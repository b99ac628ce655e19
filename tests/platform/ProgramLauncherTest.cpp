#include "platform/ProgramLauncher.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

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

    test::TempDir m_dir;
    std::string m_browser;
    SpawnLauncher m_launcher;
};

TEST_F(SpawnLauncherTest, ParameterIsOneArgumentAsItStands) {
    const std::string manual = m_dir.Path() + "/My Programs/index.html";
    m_launcher.Launch(m_browser, manual);
    EXPECT_TRUE(test::WaitForFileText(m_dir.File("args.txt"), "1\n[" + manual + "]\n"));
}

TEST_F(SpawnLauncherTest, EmptyParameterStartsWithoutArguments) {
    m_launcher.Launch(m_browser, "");
    EXPECT_TRUE(test::WaitForFileText(m_dir.File("args.txt"), "0\n"));
}

TEST_F(SpawnLauncherTest, BareNameIsLookedForAlongPath) {
    const char* old = std::getenv("PATH");
    const std::string saved = old != nullptr ? old : "";
    // The stand-in needs the system's tools from PATH too.
    ::setenv("PATH", ("/nonexistent:" + saved + ":" + m_dir.Path()).c_str(), 1);
    const bool started = m_launcher.Launch("My Browser", "x");
    const bool strayStarted = m_launcher.Launch("no-such-browser", "x");
    old != nullptr ? ::setenv("PATH", saved.c_str(), 1) : ::unsetenv("PATH");
    EXPECT_TRUE(started);
    EXPECT_FALSE(strayStarted);
    EXPECT_TRUE(test::WaitForFileText(m_dir.File("args.txt"), "1\n[x]\n"));
}

// Whatever cannot be started says so, and the launcher stays able to start a real program afterwards.
TEST_F(SpawnLauncherTest, PathThatIsNoProgramStartsNothingAndSaysSo) {
    const std::string text = m_dir.Write("notes.txt", "not a program\n");
    EXPECT_FALSE(m_launcher.Launch(text, "http://127.0.0.1/"));
    EXPECT_FALSE(m_launcher.Launch(m_dir.Path(), "http://127.0.0.1/"));
    EXPECT_FALSE(m_launcher.Launch(m_dir.File("missing"), ""));
    EXPECT_FALSE(m_launcher.Launch("", ""));
    EXPECT_TRUE(m_launcher.Launch(m_browser, "x"));
    EXPECT_TRUE(test::WaitForFileText(m_dir.File("args.txt"), "1\n[x]\n"));
}

TEST_F(SpawnLauncherTest, FailedLaunchIsToldNamingTheProgram) {
    test::RecordingMessageService messages;
    EXPECT_FALSE(LaunchOrReport(m_launcher, m_dir.File("missing"), "", messages));
    EXPECT_TRUE(LaunchOrReport(m_launcher, m_browser, "", messages));
    EXPECT_TRUE(test::WaitForFileText(m_dir.File("args.txt"), "0\n"));
    ASSERT_EQ(messages.Texts().size(), 1U);
    EXPECT_EQ(messages.Texts()[0], "ブラウザを起動できませんでした。\n" + m_dir.File("missing") +
                                       "\n設定ダイアログを開いて、ブラウザを指定してください。");
}

} // namespace
} // namespace zandel
