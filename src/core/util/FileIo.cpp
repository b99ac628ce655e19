#include "core/util/FileIo.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandel {

namespace {

FileResult ReadAll(const UniqueFd& fd, std::string& out) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            out.clear();
            return FileResult{false, error};
        }
        if (n == 0) {
            return {};
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace

FileResult ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        return FileResult{false, errno};
    }
    return ReadAll(fd, out);
}

bool IsTrustedOwner(uid_t owner) {
    return owner == ::geteuid() || owner == 0;
}

UniqueFd OpenTrustedFile(const std::string& path, int& error) {
    // Without O_NONBLOCK a pipe planted under the name would hold the open until someone writes to it.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0) {
        error = errno;
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return {};
    }
    if (!IsTrustedOwner(st.st_uid)) {
        error = EPERM;
        return {};
    }
    error = 0;
    return fd;
}

FileResult ReadTrustedFile(const std::string& path, std::string& out) {
    out.clear();
    int error = 0;
    const UniqueFd fd = OpenTrustedFile(path, error);
    if (!fd.IsOpen()) {
        return FileResult{false, error};
    }
    return ReadAll(fd, out);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool RemoveTrustedFile(const std::string& path) {
    // A name can only be unlinked, not opened and then removed: the owner is looked at just before.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !IsTrustedOwner(st.st_uid)) {
        return false;
    }
    return RemoveFile(path);
}

} // namespace zandel
