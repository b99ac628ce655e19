#include "platform/ProgramLauncher.h"

#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST_F(SpawnLauncherTest, PathThatIsNoProgramStartsNothingAndReturns) {
    const std::string text = m_dir.Write("notes.txt", "not a program\n");
    m_launcher.Launch(text, "http://127.0.0.1/");
    m_launcher.Launch(m_dir.Path(), "http://127.0.0.1/");
    m_launcher.Launch(m_dir.File("missing"), "");
    m_launcher.Launch("", "");
    // Still able to start a real program afterwards.
    m_launcher.Launch(m_browser, "x");
    EXPECT_TRUE(test::WaitForFileText(m_dir.File("args.txt"), "1\n[x]\n"));
}

} // namespace
} // namespace zandel
