#include "core/util/FileIo.h"

#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/FileSizeLimit.h"
#include "support/OrdinaryUser.h"
#include "support/TempDir.h"

namespace zandel {
namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

uid_t NobodyUid() {
    const passwd* nobody = ::getpwnam("nobody");
    return nobody != nullptr ? nobody->pw_uid : 65534;
}

class FileIoTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
};

TEST_F(FileIoTest, ReadsBinaryBytesAndReportsAMissingFile) {
    const std::string bytes("a\0b\r\n\xff", 6);
    std::string out = "stale";
    EXPECT_TRUE(ReadWholeFile(m_dir.Write("bin", bytes), out).ok);
    EXPECT_EQ(out, bytes);

    const FileResult missing = ReadWholeFile(m_dir.File("none"), out);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_TRUE(out.empty());
}

TEST_F(FileIoTest, ReplacesTheFileKeepingItsOwnerAndModeAndLeavesNoTemporary) {
    const std::string path = m_dir.Write("PrxSet.ini", "old text that is longer than the new one");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    // Only the superuser can give a file away; a file of another user that root saves must stay theirs.
    const uid_t owner = ::geteuid() == 0 ? NobodyUid() : ::geteuid();
    ASSERT_EQ(::chown(path.c_str(), owner, static_cast<gid_t>(-1)), 0);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    EXPECT_TRUE(WriteFileAtomically(path, "new").ok);

    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(m_dir.Read("PrxSet.ini"), "new");
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_EQ(after.st_uid, owner);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(m_dir.Listing(), "PrxSet.ini");
}

// A new file may hold a login or a key: no other user reads it, whatever the umask lets through; an existing file
// keeps the mode its user gave it.
TEST_F(FileIoTest, NewFileIsTheUsersAloneAndAnOldOneKeepsItsMode) {
    for (const mode_t mask : {mode_t{022}, mode_t{002}, mode_t{077}, mode_t{0277}}) {
        const std::string path = m_dir.File("PrxSet.ini");
        ::unlink(path.c_str());
        const mode_t previous = ::umask(mask);
        const bool ok = WriteTrustedFile(path, "[Judge]\r\nKey=k3y-for-the-tests\r\n").ok;
        ::umask(previous);
        ASSERT_TRUE(ok) << mask;
        EXPECT_EQ(ModeOf(path), 0600u & ~mask) << mask;
    }
    ASSERT_EQ(::chmod(m_dir.File("PrxSet.ini").c_str(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(m_dir.File("PrxSet.ini"), "x\r\n").ok);
    EXPECT_EQ(ModeOf(m_dir.File("PrxSet.ini")), 0640u);
}

TEST_F(FileIoTest, WritesThroughALinkToItsTarget) {
    ASSERT_EQ(::mkdir(m_dir.File("real").c_str(), 0755), 0);
    m_dir.Write("real/USER2.DAT", "old\r\n");
    ASSERT_EQ(::symlink("real/USER2.DAT", m_dir.File("USER2.DAT").c_str()), 0);

    ASSERT_TRUE(WriteFileAtomically(m_dir.File("USER2.DAT"), "new\r\n").ok);

    struct stat st {};
    ASSERT_EQ(::lstat(m_dir.File("USER2.DAT").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link itself must stay a link";
    EXPECT_EQ(m_dir.Read("real/USER2.DAT"), "new\r\n");
    EXPECT_EQ(m_dir.Listing(), "USER2.DAT real");
}

// Written in place from a text given in pieces, which the writer asks for twice (its length, then its bytes).
TEST_F(FileIoTest, HardLinkedFileIsWrittenInPlaceSoEveryNameSeesTheNewText) {
    const std::string path = m_dir.Write("list.txt", "old list that is longer\r\n");
    ASSERT_EQ(::link(path.c_str(), m_dir.File("copy.txt").c_str()), 0);

    ASSERT_TRUE(
        WriteFileAtomically(path, [](const ByteSink& sink) { return sink("ne") && sink("") && sink("w\r\n"); }).ok);

    EXPECT_EQ(m_dir.Read("copy.txt"), "new\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);
    EXPECT_EQ(m_dir.Listing(), "copy.txt list.txt");
}

// A full disk in the middle of the write, both when the file is replaced and when it is written in place.
TEST_F(FileIoTest, AWriteThatFailsMidwayKeepsTheOldFile) {
    for (const bool hardLinked : {false, true}) {
        SCOPED_TRACE(hardLinked ? "hard-linked" : "replaced");
        const std::string path = m_dir.Write("USER.DAT", "kept\r\n");
        if (hardLinked) {
            ASSERT_EQ(::link(path.c_str(), m_dir.File("other").c_str()), 0);
        }
        const std::string piece(64 * 1024, 'x');
        int piecesTaken = 0;
        FileResult result;
        {
            test::FileSizeLimit limit(96 * 1024);
            result = WriteFileAtomically(path, [&](const ByteSink& sink) {
                for (int i = 0; i < 4; ++i) {
                    if (!sink(piece)) {
                        return false;
                    }
                    ++piecesTaken;
                }
                return true;
            });
        }
        EXPECT_LE(piecesTaken, hardLinked ? 5 : 1) << "no piece is asked for after the one that failed";
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, EFBIG);
        EXPECT_EQ(m_dir.Read("USER.DAT"), "kept\r\n");
        EXPECT_EQ(m_dir.Listing(), hardLinked ? "USER.DAT other" : "USER.DAT") << "the temporary file must go";
        ::unlink(m_dir.File("other").c_str());
    }
}

// What the user may write decides, not what the folder allows: a read-only list is refused although the
// folder would take a new file, and a writable list in a folder that takes no new files is still saved.
TEST_F(FileIoTest, TheFilesOwnPermissionDecides) {
    const std::string& dir = m_dir.Path();
    const std::string report = test::RunAsOrdinaryUser(dir, [&]() -> std::string {
        const std::string readOnly = dir + "/locked.txt";
        test::TempDir::WriteFile(readOnly, "locked\r\n");
        ::chmod(readOnly.c_str(), 0444);
        const FileResult refused = WriteFileAtomically(readOnly, "new\r\n");
        if (refused.ok || refused.error != EACCES) {
            return "a read-only list was saved over";
        }
        if (test::TempDir::ReadFile(readOnly) != "locked\r\n" || ModeOf(readOnly) != 0444) {
            return "the read-only list changed";
        }

        const std::string writable = dir + "/open.txt";
        test::TempDir::WriteFile(writable, "old list, longer\r\n");
        ::chmod(dir.c_str(), 0555);
        const bool saved = WriteFileAtomically(writable, "new\r\n").ok;
        const bool created = WriteFileAtomically(dir + "/fresh.txt", "x").ok;
        ::chmod(dir.c_str(), 0755);
        if (!saved || test::TempDir::ReadFile(writable) != "new\r\n") {
            return "a writable list in a closed folder was not saved";
        }
        if (created) {
            return "a closed folder took a new file";
        }
        return {};
    });
    EXPECT_EQ(report, "");
    EXPECT_EQ(test::TempDir::Names(dir), "locked.txt open.txt");
}

struct StickyLinkCase {
    const char* name;
    bool othersLink; // the link belongs to another user (nobody)
    bool sticky;     // the link lies in a sticky folder
    bool dangling;   // the link points to no file
    bool followed;
};

class FileIoStickyLinkTest : public FileIoTest, public ::testing::WithParamInterface<StickyLinkCase> {};

// In a shared folder another user's link would make us overwrite or create a file of their choosing.
TEST_P(FileIoStickyLinkTest, OnlyTrustedLinksAreFollowed) {
    const StickyLinkCase& c = GetParam();
    if (c.othersLink && ::geteuid() != 0) {
        GTEST_SKIP() << "only the superuser can make a link of another user";
    }
    const std::string shared = m_dir.File("shared");
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), c.sticky ? 01777 : 0777), 0);
    const std::string victim = m_dir.Write("victim.txt", "victim\r\n");
    const std::string target = c.dangling ? m_dir.File("planted.txt") : victim;
    const std::string link = shared + "/list.txt";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    if (c.othersLink) {
        ASSERT_EQ(::lchown(link.c_str(), NobodyUid(), static_cast<gid_t>(-1)), 0);
    }

    const FileResult result = WriteFileAtomically(link, "new\r\n");

    EXPECT_EQ(result.ok, c.followed);
    if (!c.followed) {
        EXPECT_EQ(result.error, EACCES);
    }
    EXPECT_EQ(m_dir.Read(c.dangling ? "planted.txt" : "victim.txt"),
              c.followed ? "new\r\n" : (c.dangling ? "" : "victim\r\n"));
    EXPECT_EQ(m_dir.Exists("planted.txt"), c.dangling && c.followed);
    EXPECT_EQ(test::TempDir::Names(shared), "list.txt");
}

INSTANTIATE_TEST_SUITE_P(, FileIoStickyLinkTest,
                         ::testing::Values(StickyLinkCase{"OwnLink", false, true, false, true},
                                           StickyLinkCase{"OthersLink", true, true, false, false},
                                           StickyLinkCase{"OthersLinkInAPrivateFolder", true, false, false, true},
                                           StickyLinkCase{"OwnDanglingLink", false, true, true, false},
                                           StickyLinkCase{"DanglingLinkInAPrivateFolder", false, false, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The temporary file must fit beside a name of the longest length a folder takes.
TEST_F(FileIoTest, LongestNameCanBeSavedAndCreated) {
    const std::string longest(255, 'n');
    const std::string path = m_dir.Write(longest, "old\r\n");
    EXPECT_TRUE(WriteFileAtomically(path, "new\r\n").ok);
    EXPECT_EQ(m_dir.Read(longest), "new\r\n");
    ASSERT_TRUE(RemoveFile(path));
    EXPECT_TRUE(WriteFileAtomically(path, "fresh\r\n").ok);
    EXPECT_EQ(m_dir.Read(longest), "fresh\r\n");
    EXPECT_EQ(m_dir.Listing(), longest);
}

// Only temporary files left by a save that never finished go: not one another save is writing, not a fresh one,
// not a file of the user's that merely looks alike.
TEST_F(FileIoTest, StaleTemporaryFilesOfOursAreRemoved) {
    const std::vector<std::string> names = {".zandel-save-Stale1", ".zandel-save-Held01", ".zandel-save-Fresh1",
                                            ".list.txt.backup"};
    const timespec hourAgo{std::time(nullptr) - 3600, 0};
    const timespec times[2] = {hourAgo, hourAgo};
    for (const std::string& name : names) {
        m_dir.Write(name, "left\r\n");
        if (name != ".zandel-save-Fresh1") {
            ASSERT_EQ(::utimensat(AT_FDCWD, m_dir.File(name).c_str(), times, 0), 0);
        }
    }
    const int held = ::open(m_dir.File(".zandel-save-Held01").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    EXPECT_TRUE(WriteFileAtomically(m_dir.File("list.txt"), "x\r\n").ok);
    ::close(held);

    EXPECT_EQ(m_dir.Listing(), ".list.txt.backup .zandel-save-Fresh1 .zandel-save-Held01 list.txt");
}

TEST_F(FileIoTest, DevicesAndPipesAreWrittenDirectly) {
    EXPECT_TRUE(WriteFileAtomically("/dev/null", "discarded\r\n").ok);

    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK), 0);
    const std::string writeEnd = "/proc/self/fd/" + std::to_string(pipeFds[1]);
    // Like /dev/stdout: a link to a link whose text ("pipe:[...]") names no file.
    ASSERT_EQ(::symlink(writeEnd.c_str(), m_dir.File("stdout").c_str()), 0);
    EXPECT_TRUE(WriteFileAtomically(writeEnd, "one\r\n").ok);
    EXPECT_TRUE(WriteFileAtomically(m_dir.File("stdout"), "two\r\n").ok);
    ::close(pipeFds[1]);
    char buffer[64] = {};
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(::read(pipeFds[0], buffer, sizeof buffer))),
              "one\r\ntwo\r\n");
    ::close(pipeFds[0]);
    EXPECT_EQ(m_dir.Listing(), "stdout");
}

TEST_F(FileIoTest, RemovingAMissingFileCountsAsDone) {
    m_dir.Write("Access.ini", "x");
    EXPECT_TRUE(FileExists(m_dir.File("Access.ini")));
    EXPECT_TRUE(RemoveFile(m_dir.File("Access.ini")));
    EXPECT_FALSE(FileExists(m_dir.File("Access.ini")));
    EXPECT_TRUE(RemoveFile(m_dir.File("Access.ini")));
    EXPECT_FALSE(FileExists(m_dir.Path())) << "a folder is not a file";
}

} // namespace
} // namespace zandel
