#include "core/util/FileIo.h"

#include <cerrno>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

namespace zandel {
namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
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

TEST_F(FileIoTest, ReplacesTheFileKeepingItsModeAndLeavesNoTemporary) {
    const std::string path = m_dir.Write("PrxSet.ini", "old text that is longer than the new one");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);

    EXPECT_TRUE(WriteFileAtomically(path, "new").ok);

    EXPECT_EQ(m_dir.Read("PrxSet.ini"), "new");
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_EQ(m_dir.Listing(), "PrxSet.ini");
}

TEST_F(FileIoTest, NewFileHonoursTheUmask) {
    const mode_t previous = ::umask(077);
    const bool ok = WriteFileAtomically(m_dir.File("USER.DAT"), "x\r\n").ok;
    ::umask(previous);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ModeOf(m_dir.File("USER.DAT")), 0600u);
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

TEST_F(FileIoTest, AWriteThatFailsMidwayKeepsTheOldFile) {
    const std::string path = m_dir.Write("USER.DAT", "kept\r\n");
    const std::string big(256 * 1024, 'x');
    FileResult result;
    {
        test::FileSizeLimit limit(64 * 1024);
        result = WriteFileAtomically(path, big);
    }
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, EFBIG);
    EXPECT_EQ(m_dir.Read("USER.DAT"), "kept\r\n");
    EXPECT_EQ(m_dir.Listing(), "USER.DAT") << "the temporary file must be removed";
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
