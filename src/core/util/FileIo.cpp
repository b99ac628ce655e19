#include "core/util/FileIo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandel {

namespace {

FileResult Failure(int error) {
    return FileResult{false, error};
}

// Owns a descriptor; closing twice or leaking one on an early return is then impossible.
class FdGuard final {
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard() { Close(); }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;

    int Get() const { return m_fd; }
    // The close result matters after a write: some file systems report a failed write only here.
    int Close() {
        int rc = 0;
        if (m_fd >= 0) {
            rc = ::close(m_fd);
            m_fd = -1;
        }
        return rc;
    }

private:
    int m_fd;
};

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a path finally names: symbolic links are followed (relative ones against their own directory),
// so that replacing the file keeps the link and changes what it points to. A dangling link names its
// missing target, which is then created.
bool ResolveLinks(const std::string& path, std::string& target, int& error) {
    target = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return true;
        }
        std::vector<char> buffer(PATH_MAX + 1);
        const ssize_t n = ::readlink(target.c_str(), buffer.data(), buffer.size() - 1);
        if (n < 0) {
            error = errno;
            return false;
        }
        std::string link(buffer.data(), static_cast<std::size_t>(n));
        target = (!link.empty() && link[0] == '/') ? link : DirectoryOf(target) + "/" + link;
    }
    error = ELOOP;
    return false;
}

// The process's umask, read without changing it (umask() itself would race with other threads).
mode_t CurrentUmask() {
    mode_t mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            unsigned int value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value & 0777);
                break;
            }
        }
        std::fclose(status);
    }
    return mask;
}

bool WriteAll(int fd, const std::string& bytes, int& error) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void SyncDirectory(const std::string& dir) {
    FdGuard fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0) {
        ::fsync(fd.Get());
    }
}

} // namespace

FileResult ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    FdGuard fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        return Failure(errno);
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            out.clear();
            return Failure(error);
        }
        if (n == 0) {
            return {};
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

FileResult WriteFileAtomically(const std::string& path, const std::string& bytes) {
    std::string target;
    int error = 0;
    if (!ResolveLinks(path, target, error)) {
        return Failure(error);
    }

    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode)) {
        return Failure(S_ISDIR(old.st_mode) ? EISDIR : EINVAL);
    }

    const std::string dir = DirectoryOf(target);
    const auto slash = target.rfind('/');
    std::string pattern = dir + "/." + target.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
    FdGuard fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd.Get() < 0) {
        return Failure(errno);
    }
    const std::string& temp = pattern;

    const mode_t mode = existed ? (old.st_mode & 07777) : (0644 & ~CurrentUmask());
    bool ok = WriteAll(fd.Get(), bytes, error);
    if (ok && ::fchmod(fd.Get(), mode) != 0) {
        error = errno;
        ok = false;
    }
    if (ok && ::fsync(fd.Get()) != 0) {
        error = errno;
        ok = false;
    }
    if (fd.Close() != 0 && ok) {
        error = errno;
        ok = false;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return Failure(error);
    }
    SyncDirectory(dir);
    return {};
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

} // namespace zandel
