#include "platform/InstanceLock.h"

#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempDir.h"

namespace zandel {
namespace {

class InstanceLockTest : public ::testing::Test {
protected:
    ~InstanceLockTest() override {
        if (m_foreignHolder >= 0) {
            ::close(m_foreignHolder);
        }
    }

    test::TempDir m_dir;
    std::string m_path = m_dir.File("Zandel.lock");
    int m_foreignHolder = -1;
};

TEST_F(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    InstanceLock first(m_path);
    InstanceLock second(m_path);
    ASSERT_TRUE(first.Acquire());
    EXPECT_FALSE(second.Acquire());
    EXPECT_FALSE(second.IsHeld());
    first.Release();
    EXPECT_TRUE(second.Acquire());
}

TEST_F(InstanceLockTest, ProgramsWeStartDoNotInheritTheLock) {
    InstanceLock lock(m_path);
    ASSERT_TRUE(lock.Acquire());
    const int flags = ::fcntl(lock.Descriptor(), F_GETFD);
    ASSERT_NE(flags, -1);
    EXPECT_NE(flags & FD_CLOEXEC, 0);
}

TEST_F(InstanceLockTest, AKilledHolderLeavesNoStaleLock) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        InstanceLock held(m_path);
        const char took = held.Acquire() ? '1' : '0';
        (void)!::write(ready[1], &took, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char took = 0;
    ASSERT_EQ(::read(ready[0], &took, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(took, '1');

    InstanceLock mine(m_path);
    EXPECT_FALSE(mine.Acquire());
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(mine.Acquire());
}

// Sets an environment variable for the life of the object, or takes it away.
class ScopedEnv final {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        const char* old = std::getenv(name);
        m_old = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

constexpr uid_t kNobody = 65534;

// Another user's lock file, or a link planted where the lock file goes, must neither keep Zandel from
// starting nor make it create or lock the file the link points at.
TEST_F(InstanceLockTest, ForeignOrLinkedLockFileIsNeitherHeldNorFollowed) {
    InstanceLock elsewhere(m_dir.File("held-elsewhere"));
    ASSERT_TRUE(elsewhere.Acquire());
    struct Case {
        const char* name;
        std::function<void()> plant;
        bool needsRoot;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"link to a file to be made", [&] { ASSERT_EQ(::symlink(m_dir.File("victim").c_str(), m_path.c_str()), 0); }, false},
        {"link to a held lock", [&] { ASSERT_EQ(::symlink(m_dir.File("held-elsewhere").c_str(), m_path.c_str()), 0); }, false},
        {"another user's held lock, mode 0666",
         [&] {
             m_dir.Write("Zandel.lock", "");
             ASSERT_EQ(::chown(m_path.c_str(), kNobody, kNobody), 0);
             ASSERT_EQ(::chmod(m_path.c_str(), 0666), 0);
             m_foreignHolder = ::open(m_path.c_str(), O_RDWR | O_CLOEXEC);
             ASSERT_EQ(::flock(m_foreignHolder, LOCK_EX | LOCK_NB), 0);
         },
         true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && ::geteuid() != 0) {
            continue; // only root can give a file to another user
        }
        ::unlink(m_path.c_str());
        c.plant();
        InstanceLock lock(m_path);
        EXPECT_TRUE(lock.Acquire()) << "Zandel must start";
        EXPECT_FALSE(lock.IsHeld());
        EXPECT_FALSE(m_dir.Exists("victim"));
        if (m_foreignHolder >= 0) {
            ::close(m_foreignHolder);
            m_foreignHolder = -1;
        }
    }
}

// Without a runtime folder the lock lies in a folder of the user's own in the temporary folder; one that is
// not the user's, or not a folder, is not used.
TEST_F(InstanceLockTest, FallbackLockLiesInAPrivateFolderOfTheUsers) {
    const ScopedEnv noRuntime("XDG_RUNTIME_DIR", nullptr);
    const ScopedEnv temp("TMPDIR", m_dir.Path().c_str());
    const std::string folder = m_dir.File("zandel-" + std::to_string(::geteuid()));
    ASSERT_EQ(InstanceLock::DefaultPath(), folder + "/Zandel.lock");

    {
        InstanceLock first;
        InstanceLock second;
        ASSERT_TRUE(first.Acquire());
        EXPECT_TRUE(first.IsHeld());
        EXPECT_FALSE(second.Acquire());
        struct stat info {};
        ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, 0700U);
    }
    // A folder of ours left open to others is closed and used.
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    {
        InstanceLock lock;
        ASSERT_TRUE(lock.Acquire());
        EXPECT_TRUE(lock.IsHeld());
        struct stat info {};
        ASSERT_EQ(::stat(folder.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0700U);
    }
    ASSERT_EQ(::unlink((folder + "/Zandel.lock").c_str()), 0);
    ASSERT_EQ(::rmdir(folder.c_str()), 0);

    // Planted in its place: a link to a folder, or (root only) another user's folder.
    ASSERT_EQ(::mkdir(m_dir.File("target").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(m_dir.File("target").c_str(), folder.c_str()), 0);
    {
        InstanceLock lock;
        EXPECT_TRUE(lock.Acquire());
        EXPECT_FALSE(lock.IsHeld());
        EXPECT_FALSE(m_dir.Exists("target/Zandel.lock"));
    }
    if (::geteuid() == 0) {
        ASSERT_EQ(::unlink(folder.c_str()), 0);
        ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
        ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
        InstanceLock lock;
        EXPECT_TRUE(lock.Acquire());
        EXPECT_FALSE(lock.IsHeld());
        EXPECT_FALSE(m_dir.Exists(folder.substr(m_dir.Path().size() + 1) + "/Zandel.lock"));
    }
}

TEST_F(InstanceLockTest, LockFileLiesInTheRuntimeFolder) {
    const ScopedEnv runtime("XDG_RUNTIME_DIR", m_dir.Path().c_str());
    EXPECT_EQ(InstanceLock::DefaultPath(), m_path);
}

} // namespace
} // namespace zandel
