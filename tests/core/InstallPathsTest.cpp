#include "core/app/InstallPaths.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempDir.h"

namespace zandel {
namespace {

constexpr uid_t kNobody = 65534;

// Runs `check` as the user nobody (root passes every permission check) and gives its exit code.
template <typename Check> int AsNobody(Check check) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(99);
        }
        ::_exit(check());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

class InstallPathsTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    std::string Make(const std::string& rel) {
        const std::string path = m_dir.File(rel);
        for (std::size_t s = m_dir.Path().size() + 1; (s = path.find('/', s + 1)) != std::string::npos;) {
            ::mkdir(path.substr(0, s).c_str(), 0755);
        }
        ::mkdir(path.c_str(), 0755);
        return path;
    }
};

TEST_F(InstallPathsTest, ManualIsFoundBesideTheProgramElseInTheInstalledShareFolder) {
    const std::string bin = Make("usr/bin");
    const std::string share = Make("usr/share/zandel");
    const std::string data = Make("data/zandel");
    ::unsetenv("XDG_DATA_DIRS");
    ::setenv("XDG_DATA_DIRS", (m_dir.File("data") + ":/nonexistent").c_str(), 1);
    EXPECT_EQ(ManualFolder(bin), bin) << "no manual anywhere: the program's folder reports it missing";
    m_dir.Write("data/zandel/index.html", "x");
    EXPECT_EQ(ManualFolder(bin), data);
    m_dir.Write("usr/share/zandel/index.html", "x");
    EXPECT_EQ(ManualFolder(bin), share);
    m_dir.Write("usr/bin/index.html", "x");
    EXPECT_EQ(ManualFolder(bin), bin);
    ::unsetenv("XDG_DATA_DIRS");
}

TEST_F(InstallPathsTest, SettingsFolderIsMadeForTheUserAloneAndRefusedWhenUnusable) {
    const std::string folder = m_dir.File("config/deeper/Zandel");
    ASSERT_TRUE(MakePrivateFolder(folder));
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(MakePrivateFolder(folder)) << "a second start finds it in place";

    m_dir.Write("file", "x");
    EXPECT_FALSE(MakePrivateFolder(m_dir.File("file"))) << "a file in the way";
    EXPECT_FALSE(MakePrivateFolder(m_dir.File("file/Zandel")));

    if (::geteuid() == 0) {
        const std::string foreign = Make("foreign");
        ASSERT_EQ(::chown(foreign.c_str(), kNobody, kNobody), 0);
        EXPECT_EQ(PrepareSettingsFolder(foreign), FolderUse::Foreign) << "not ours to keep settings in";
        ASSERT_EQ(::symlink(foreign.c_str(), m_dir.File("link").c_str()), 0);
        EXPECT_EQ(PrepareSettingsFolder(m_dir.File("link")), FolderUse::Foreign) << "where the link points decides";
    }
}

TEST_F(InstallPathsTest, MenuStartKeepsSettingsInTheSettingsFolderAndSaysWhenItCannot) {
    const std::string config = m_dir.File("config/Zandel");
    EXPECT_EQ(ChooseStartFolder(false, "/work", config).dir, "/work") << "a terminal start keeps its folder";
    EXPECT_FALSE(m_dir.Exists("config"));
    const StartFolder menu = ChooseStartFolder(true, "/home/u", config);
    EXPECT_EQ(menu.dir, config);
    EXPECT_TRUE(menu.notice.empty());
    m_dir.Write("blocked", "x");
    const StartFolder blocked = ChooseStartFolder(true, "/home/u", m_dir.File("blocked/Zandel"));
    EXPECT_EQ(blocked.dir, m_dir.File("blocked/Zandel")) << "never the home folder";
    EXPECT_EQ(blocked.notice,
              "設定ﾌｫﾙﾀﾞ " + m_dir.File("blocked/Zandel") + " を作成できないため、設定は保存されません。");
    EXPECT_TRUE(blocked.usesFiles) << "nothing of another user's there to keep away from";

    if (::geteuid() == 0) {
        const std::string foreign = Make("foreign/Zandel");
        ASSERT_EQ(::chown(foreign.c_str(), kNobody, kNobody), 0);
        const StartFolder theirs = ChooseStartFolder(true, "/home/u", foreign);
        EXPECT_EQ(theirs.dir, foreign);
        EXPECT_FALSE(theirs.usesFiles);
        EXPECT_EQ(theirs.notice,
                  "設定ﾌｫﾙﾀﾞ " + foreign + " は他のﾕｰｻﾞのものであるため、既定の設定で起動し、設定は保存されません。");
    }
}

TEST_F(InstallPathsTest, UserAgentListGoesToTheSettingsFolderWhereTheProgramFolderIsNotWritable) {
    const std::string portable = Make("portable");
    EXPECT_EQ(UserAgentFilePath(portable, "/cfg/Zandel"), portable + "/USER.DAT");
    EXPECT_EQ(UserAgentFilePath(m_dir.File("gone"), "/cfg/Zandel"), "/cfg/Zandel/USER.DAT");
    if (::geteuid() != 0) {
        GTEST_SKIP() << "the read-only cases need to drop to another user";
    }
    const std::string installed = Make("installed");
    ::chmod(installed.c_str(), 0755); // root's: not writable for nobody
    ::chmod(m_dir.Path().c_str(), 0755);
    EXPECT_EQ(AsNobody([&] { return UserAgentFilePath(installed, "/cfg/Zandel") == "/cfg/Zandel/USER.DAT" ? 0 : 1; }),
              0);
    const std::string shared = Make("shared");
    ::chmod(shared.c_str(), 0777);
    m_dir.Write("shared/USER.DAT", "root's\r\n"); // 0644 root's: a list nobody may not rewrite
    EXPECT_EQ(AsNobody([&] { return UserAgentFilePath(shared, "/cfg/Zandel") == "/cfg/Zandel/USER.DAT" ? 0 : 1; }), 0);
}

} // namespace
} // namespace zandel
