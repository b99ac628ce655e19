// The one writer behind every save: lists, settings files and the console tool's output.

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/util/UniqueFd.h"
#include "core/util/FileIo.h"

namespace zandel {

namespace {

// Our temporary files share one short name whatever the target is called, so that a target name of up to
// 255 bytes can still be saved.
constexpr char kTempPrefix[] = ".zandel-save-";
constexpr std::size_t kTempNameSize = sizeof kTempPrefix - 1 + 6;
// A temporary file no save has touched for this long was left by a save that never finished.
constexpr std::time_t kStaleSeconds = 60;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

struct ResolvedPath {
    std::string target;
    bool throughSharedFolder = false; // a link on the way lay in a sticky folder
};

// The file a path finally names: symbolic links are followed (relative ones against their own directory), so
// that replacing the file keeps the link and changes what it points to. In a sticky folder such as /tmp anyone
// may plant a link, so there only a link of the user, of the folder's owner or of root is followed, as the
// kernel's protected_symlinks rule has it. 0 or the errno of the failure.
int ResolveLinks(const std::string& path, ResolvedPath& resolved) {
    resolved.target = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat link {};
        if (::lstat(resolved.target.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            return 0;
        }
        struct stat folder {};
        const std::string dir = DirectoryOf(resolved.target);
        if (::stat(dir.c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0) {
            if (link.st_uid != ::geteuid() && link.st_uid != folder.st_uid && link.st_uid != 0) {
                return EACCES;
            }
            resolved.throughSharedFolder = true;
        }
        std::vector<char> buffer(PATH_MAX + 1);
        const ssize_t n = ::readlink(resolved.target.c_str(), buffer.data(), buffer.size() - 1);
        if (n < 0) {
            return errno;
        }
        const std::string text(buffer.data(), static_cast<std::size_t>(n));
        resolved.target = (!text.empty() && text[0] == '/') ? text : dir + "/" + text;
    }
    return ELOOP;
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

int WriteBytes(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// Every piece of the source, in order; the count of bytes written goes to `written`.
int WriteAll(int fd, const ByteSource& source, std::size_t* written = nullptr) {
    int error = 0;
    std::size_t count = 0;
    source([&](std::string_view piece) {
        error = WriteBytes(fd, piece);
        count += piece.size();
        return error == 0;
    });
    if (written != nullptr) {
        *written = count;
    }
    return error;
}

// Overwrites an open regular file from its start. The room is claimed first, so that a full disk fails the
// save before a byte of the old text is lost (where the file system can claim room): the source is asked once
// for its length, then for its bytes.
int WriteInPlace(int fd, const ByteSource& source) {
    std::size_t length = 0;
    source([&length](std::string_view piece) {
        length += piece.size();
        return true;
    });
    if (length > 0 && ::fallocate(fd, 0, 0, static_cast<off_t>(length)) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        return errno;
    }
    std::size_t written = 0;
    if (const int error = WriteAll(fd, source, &written); error != 0) {
        return error;
    }
    if (::ftruncate(fd, static_cast<off_t>(written)) != 0 || ::fsync(fd) != 0) {
        return errno;
    }
    return 0;
}

// Who may own a file that is written over: anyone, or for a settings file only the user or root.
enum class Owners { Anyone, Trusted };

bool MayWrite(const struct stat& st, Owners owners) {
    return owners == Owners::Anyone || IsTrustedOwner(st.st_uid);
}

// For what only the kernel can open by its name: devices, pipes, the links of /dev/stdout and /proc/self/fd.
int WriteDirectly(const std::string& path, const ByteSource& source, Owners owners) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0) {
        return errno;
    }
    if (!MayWrite(st, owners)) {
        return EPERM;
    }
    int error = S_ISREG(st.st_mode) ? WriteInPlace(fd.Get(), source) : WriteAll(fd.Get(), source);
    if (fd.Close() != 0 && error == 0) {
        error = errno;
    }
    return error;
}

// Temporary files of ours left by a save that was killed. A save holds a lock on its temporary file for as
// long as it has it open, so one that can be locked, and has not been touched for a while, has no writer.
void RemoveStaleTemporaries(const std::string& dir) {
    std::unique_ptr<DIR, DirCloser> listing(::opendir(dir.c_str()));
    if (!listing) {
        return;
    }
    const int dirFd = ::dirfd(listing.get());
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string name = entry->d_name;
        if (name.size() != kTempNameSize || name.compare(0, sizeof kTempPrefix - 1, kTempPrefix) != 0) {
            continue;
        }
        UniqueFd fd(::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        struct stat named {};
        if (fd.Get() < 0 || ::fstat(fd.Get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
            opened.st_uid != ::geteuid() || now - opened.st_mtime < kStaleSeconds ||
            ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            continue;
        }
        // The name must still be the file that was locked, not one a save has just made under it.
        if (::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(named, opened)) {
            ::unlinkat(dirFd, entry->d_name, 0);
        }
    }
}

void SyncDirectory(const std::string& dir) {
    UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0) {
        ::fsync(fd.Get());
    }
}

// Writes the bytes to a temporary file beside `target` and renames it over `target`: a failed write leaves
// the old file whole. `old` is the file replaced (its owner and mode are kept), null for a new file.
int ReplaceByRename(const std::string& target, const ByteSource& source, const struct stat* old) {
    const std::string dir = DirectoryOf(target);
    RemoveStaleTemporaries(dir);
    std::string temp = dir + "/" + kTempPrefix + "XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.Get() < 0) {
        return errno;
    }
    ::flock(fd.Get(), LOCK_EX);

    int error = 0;
    struct stat made {};
    if (old != nullptr && ::fstat(fd.Get(), &made) == 0 && (made.st_uid != old->st_uid || made.st_gid != old->st_gid) &&
        ::fchown(fd.Get(), old->st_uid, old->st_gid) != 0) {
        error = errno;
    }
    if (error == 0) {
        error = WriteAll(fd.Get(), source);
    }
    // A new file is the user's alone: settings, lists and exports may hold a proxy's login or the judge's key.
    const mode_t mode = old != nullptr ? (old->st_mode & 07777) : (0600 & ~CurrentUmask());
    if (error == 0 && (::fchmod(fd.Get(), mode) != 0 || ::fsync(fd.Get()) != 0)) {
        error = errno;
    }
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    // Unlocked only once renamed: until then a clean-up by another save must leave the file alone.
    if (fd.Close() != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temp.c_str());
        return error;
    }
    SyncDirectory(dir);
    return 0;
}

// An existing regular file. A file the user may not write is refused, as creating it would be. A new file
// replaces it where that keeps everything the user sees; else the file is overwritten where it is: a
// hard-linked file (the other names would keep the old text), one in a folder that takes no new files, and one
// whose owner a new file could not keep.
int SaveOverFile(const std::string& target, const ByteSource& source, Owners owners) {
    UniqueFd file(::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (file.Get() < 0 || ::fstat(file.Get(), &st) != 0) {
        return errno;
    }
    if (!MayWrite(st, owners)) {
        return EPERM;
    }
    if (st.st_nlink <= 1) {
        const int error = ReplaceByRename(target, source, &st);
        if (error != EACCES && error != EPERM) {
            return error;
        }
    }
    int error = WriteInPlace(file.Get(), source);
    if (file.Close() != 0 && error == 0) {
        error = errno;
    }
    return error;
}

int WriteFile(const std::string& path, const ByteSource& source, Owners owners) {
    ResolvedPath resolved;
    if (const int error = ResolveLinks(path, resolved); error != 0) {
        return error;
    }
    struct stat named {};
    const bool kernelFindsIt = ::stat(path.c_str(), &named) == 0;
    struct stat st {};
    const bool exists = ::lstat(resolved.target.c_str(), &st) == 0;
    const int lookupError = errno;
    if (kernelFindsIt && (!exists || !SameFile(named, st))) {
        // A link whose text names no file (/dev/stdout, /proc/self/fd/1 of a pipe): only the kernel can follow it.
        return WriteDirectly(path, source, owners);
    }
    if (!exists) {
        if (lookupError != ENOENT) {
            return lookupError;
        }
        // A dangling link in a shared folder may have been planted to make us create a file elsewhere.
        return resolved.throughSharedFolder ? EACCES : ReplaceByRename(resolved.target, source, nullptr);
    }
    if (S_ISDIR(st.st_mode)) {
        return EISDIR;
    }
    if (!S_ISREG(st.st_mode)) {
        return WriteDirectly(resolved.target, source, owners);
    }
    return SaveOverFile(resolved.target, source, owners);
}

} // namespace

FileResult WriteFileAtomically(const std::string& path, const ByteSource& source) {
    const int error = WriteFile(path, source, Owners::Anyone);
    return FileResult{error == 0, error};
}

FileResult WriteTrustedFile(const std::string& path, const std::string& bytes) {
    const int error = WriteFile(
        path, [&bytes](const ByteSink& sink) { return sink(bytes); }, Owners::Trusted);
    return FileResult{error == 0, error};
}

FileResult WriteFileAtomically(const std::string& path, const std::string& bytes) {
    return WriteFileAtomically(path, [&bytes](const ByteSink& sink) { return sink(bytes); });
}

} // namespace zandel
