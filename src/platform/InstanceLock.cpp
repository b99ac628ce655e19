#include "platform/InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandel {

namespace {

constexpr const char* kLockFileName = "/Zandel.lock";
constexpr const char* kChannelFileName = "Zandel.socket";

int OpenRetrying(const char* path, int flags, mode_t mode) {
    int fd = -1;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

InstanceLock::InstanceLock() : InstanceLock(DefaultPath()) {
    m_privateFolder = !RuntimeFolder().has_value();
}

InstanceLock::InstanceLock(std::string path) : m_path(std::move(path)) {}

InstanceLock::~InstanceLock() {
    Release();
}

bool InstanceLock::Acquire() {
    if (m_fd.IsOpen()) {
        return true;
    }
    // Without a lock file of our own there is nothing to tell another instance by; starting is better than
    // refusing. Above all, no other user's file may keep us from starting or make us write elsewhere.
    if (m_privateFolder && !EnsurePrivateFolder(m_path.substr(0, m_path.rfind('/')))) {
        return true;
    }
    UniqueFd fd(OpenRetrying(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.IsOpen()) {
        return true;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        return true;
    }
    int locked = -1;
    do {
        locked = ::flock(fd.Get(), LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        return false;
    }
    m_fd = std::move(fd);
    return true;
}

void InstanceLock::Release() {
    if (m_fd.IsOpen()) {
        ::flock(m_fd.Get(), LOCK_UN);
        m_fd.Close();
    }
}

std::string InstanceLock::ChannelPath() const {
    const std::string::size_type slash = m_path.rfind('/');
    return (slash == std::string::npos ? std::string() : m_path.substr(0, slash + 1)) + kChannelFileName;
}

bool InstanceLock::PeerIsSameUser(int socket) {
    struct ucred peer {};
    socklen_t size = sizeof peer;
    return ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer &&
           peer.uid == ::geteuid();
}

std::optional<std::string> InstanceLock::RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        return std::string(runtime);
    }
    return std::nullopt;
}

std::string InstanceLock::DefaultPath() {
    if (const std::optional<std::string> runtime = RuntimeFolder()) {
        return *runtime + kLockFileName;
    }
    // The temporary folder is shared by every user: the lock goes into a folder of our own there.
    const char* temp = std::getenv("TMPDIR");
    const std::string folder = temp != nullptr && temp[0] == '/' ? temp : "/tmp";
    return folder + "/zandel-" + std::to_string(::geteuid()) + kLockFileName;
}

bool InstanceLock::EnsurePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    // Made by us just now or earlier, or planted by someone else: only a real folder of ours that no one
    // else may enter will do.
    const UniqueFd fd(OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (!fd.IsOpen()) {
        return false;
    }
    struct stat info {};
    return ::fstat(fd.Get(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           ((info.st_mode & 0077) == 0 || ::fchmod(fd.Get(), 0700) == 0);
}

} // namespace zandel
