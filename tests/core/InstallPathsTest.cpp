#include "core/app/InstallPaths.h"

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/OrdinaryUser.h"
#include "support/TempDir.h"

namespace zandel {
namespace {

constexpr uid_t kNobody = 65534;

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
    ASSERT_EQ(PrepareSettingsFolder(folder), FolderUse::Usable);
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(PrepareSettingsFolder(folder), FolderUse::Usable) << "a second start finds it in place";

    m_dir.Write("file", "x");
    EXPECT_EQ(PrepareSettingsFolder(m_dir.File("file")), FolderUse::NotWritable) << "a file in the way";
    EXPECT_EQ(PrepareSettingsFolder(m_dir.File("file/Zandel")), FolderUse::NotWritable);

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

std::string Describe(const UserAgentFiles& files) {
    return files.readFrom + " > " + files.writeTo + (files.notice.empty() ? "" : " (told)");
}

// Root may write everywhere, yet an installed program keeps its folder clean; an older list left beside it is
// still shown and goes to the settings folder on its first change.
TEST_F(InstallPathsTest, InstalledProgramNeverWritesTheUserAgentListBesideItself) {
    const std::string bin = Make("usr/bin");
    Make("usr/share/zandel");
    const std::string config = m_dir.File("config/Zandel");
    const std::string kept = config + "/USER.DAT";
    EXPECT_EQ(Describe(PrepareUserAgentFiles(bin, config)), kept + " > " + kept);
    m_dir.Write("usr/bin/USER.DAT", "Old/1.0\r\n");
    const UserAgentFiles old = PrepareUserAgentFiles(bin, config);
    EXPECT_EQ(Describe(old), bin + "/USER.DAT > " + kept + " (told)");
    EXPECT_EQ(old.notice, bin + "/USER.DAT に書き込めないため、User-Agent一覧を " + kept + " に保存します。");

    const std::string portable = Make("portable/bin"); // merely called bin: no share folder beside it
    EXPECT_EQ(Describe(PrepareUserAgentFiles(portable, config)), portable + "/USER.DAT > " + portable + "/USER.DAT");
    EXPECT_EQ(Describe(PrepareUserAgentFiles(m_dir.File("gone"), config)), kept + " > " + kept);
}

// As an ordinary user finds them: a program folder or a list it may not write, another user's list. The list is
// read where it is and copied to the settings folder on its first change; once copied, the copy is the list.
TEST_F(InstallPathsTest, UserAgentListIsReadWhereItIsAndWrittenWhereItMayBe) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "root sets up the folders that another user may not write";
    }
    ::chmod(m_dir.Path().c_str(), 0755);
    const std::string readOnlyDir = Make("readonly");
    m_dir.Write("readonly/USER.DAT", "Shown/1.0\r\n"); // root's, 0644
    const std::string readOnlyFile = Make("rofile");
    ::chmod(readOnlyFile.c_str(), 0777);
    m_dir.Write("rofile/USER.DAT", "Shown/1.0\r\n");
    const std::string shared = Make("shared");
    ::chmod(shared.c_str(), 0777);
    test::MakeOwned(shared + "/USER.DAT", "Planted/1.0\r\n", test::OtherUserUid(), 0666);
    const std::string empty = Make("empty");
    ::chmod(empty.c_str(), 0777);
    const std::string user = Make("user");
    const std::string config = user + "/config/Zandel";
    const std::string kept = config + "/USER.DAT";
    const std::string theirs = test::MakeOwned(m_dir.File("theirs/"), "", test::OtherUserUid(), 0777);

    const std::string report = test::RunAsOrdinaryUser(user, [&]() -> std::string {
        const std::vector<std::pair<std::string, std::string>> cases = {
            {readOnlyDir, readOnlyDir + "/USER.DAT > " + kept + " (told)"},
            {readOnlyFile, readOnlyFile + "/USER.DAT > " + kept + " (told)"},
            {shared, kept + " > " + kept},
            {empty, empty + "/USER.DAT > " + empty + "/USER.DAT"},
        };
        std::string wrong;
        for (const auto& [dir, expected] : cases) {
            const std::string got = Describe(PrepareUserAgentFiles(dir, config));
            if (got != expected) {
                wrong += "\n" + got + "\n  expected " + expected;
            }
        }
        const std::string nowhere = Describe(PrepareUserAgentFiles(readOnlyDir, theirs));
        if (nowhere != readOnlyDir + "/USER.DAT >  (told)") {
            wrong += "\nwith another user's settings folder: " + nowhere;
        }
        test::TempDir::WriteFile(kept, "Copied/1.0\r\n");
        const std::string copied = Describe(PrepareUserAgentFiles(readOnlyDir, config));
        if (copied != kept + " > " + kept) {
            wrong += "\nonce copied: " + copied;
        }
        return wrong;
    });
    EXPECT_EQ(report, "");
}

} // namespace
} // namespace zandel
