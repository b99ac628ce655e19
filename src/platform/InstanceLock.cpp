#include "platform/InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zandel {

InstanceLock::InstanceLock() : InstanceLock(DefaultPath()) {}

InstanceLock::InstanceLock(std::string path) : m_path(std::move(path)) {}

InstanceLock::~InstanceLock() {
    Release();
}

bool InstanceLock::Acquire() {
    if (m_fd >= 0) {
        return true;
    }
    int fd = -1;
    do {
        fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // Without a lock file there is nothing to tell another instance by; starting is better than refusing.
        return true;
    }
    int locked = -1;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void InstanceLock::Release() {
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
}

std::string InstanceLock::DefaultPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder;
    if (runtime != nullptr && runtime[0] == '/') {
        folder = runtime;
    } else {
        const char* temp = std::getenv("TMPDIR");
        folder = temp != nullptr && temp[0] == '/' ? temp : "/tmp";
    }
    return folder + "/Zandel.lock";
}

} // namespace zandel
