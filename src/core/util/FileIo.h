#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "core/util/UniqueFd.h"

namespace zandel {

struct FileResult {
    bool ok = true;
    int error = 0; // errno of the failure
    explicit operator bool() const { return ok; }
};

// Reads a whole file as bytes.
FileResult ReadWholeFile(const std::string& path, std::string& out);

// The settings files are trusted only when they are the user's own or root's: a file another user planted where
// the program looks for its settings (a shared /tmp it was started in) must not steer it.
bool IsTrustedOwner(uid_t owner);
// Opens a settings file for reading: a regular file of a trusted owner. Another user's file is refused (EPERM),
// anything but a regular file too (EINVAL; a pipe would never end). The owner is taken from the opened
// descriptor, so that the file cannot be swapped between the check and the read. A closed descriptor and the
// errno on failure.
UniqueFd OpenTrustedFile(const std::string& path, int& error);
// The same, read whole.
FileResult ReadTrustedFile(const std::string& path, std::string& out);

// Saves `bytes` as the file `path`. A regular file is replaced by a complete new one (renamed over it), so a
// failed write leaves the old file whole; the new file keeps the old one's owner and mode, and a file that was not
// there is made readable by the user alone (0600, less the umask). A file that cannot
// be replaced without changing what the user sees (hard-linked, in a folder that takes no new files, of an
// owner we cannot give a new file) is overwritten where it is, after its room is claimed. A file the user may
// not write is refused (EACCES). Links are followed and their target saved, except another user's link in a
// sticky folder and any dangling link there (EACCES). Devices and pipes (/dev/null, /dev/stdout) are written
// directly.
FileResult WriteFileAtomically(const std::string& path, const std::string& bytes);
// The same for a settings file: an existing file of another user (root aside) is refused (EPERM), never written.
FileResult WriteTrustedFile(const std::string& path, const std::string& bytes);

// A text handed over a piece at a time, so that a long one is never held whole: the source gives its pieces to
// the sink in order and stops, answering false, as soon as the sink answers false. Asked again, it gives the same
// bytes.
using ByteSink = std::function<bool(std::string_view piece)>;
using ByteSource = std::function<bool(const ByteSink& sink)>;
FileResult WriteFileAtomically(const std::string& path, const ByteSource& source);

// True for an existing file that is not a directory.
bool FileExists(const std::string& path);
// True when the file is gone afterwards, also when there was none.
bool RemoveFile(const std::string& path);
// The same for a settings file: another user's (root aside) is left in place (false).
bool RemoveTrustedFile(const std::string& path);

} // namespace zandel
