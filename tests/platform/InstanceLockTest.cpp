#include "platform/InstanceLock.h"

#include <csignal>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempDir.h"

namespace zandel {
namespace {

class InstanceLockTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    std::string m_path = m_dir.File("Zandel.lock");
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

TEST_F(InstanceLockTest, LockFileLiesInTheRuntimeFolder) {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old != nullptr ? old : "";
    ::setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
    EXPECT_EQ(InstanceLock::DefaultPath(), m_path);
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(InstanceLock::DefaultPath().substr(InstanceLock::DefaultPath().rfind('/')), "/Zandel.lock");
    if (old != nullptr) {
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    }
}

} // namespace
} // namespace zandel
