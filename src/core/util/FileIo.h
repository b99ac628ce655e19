#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace zandel {

struct FileResult {
    bool ok = true;
    int error = 0; // errno of the failure
    explicit operator bool() const { return ok; }
};

// Reads a whole file as bytes.
FileResult ReadWholeFile(const std::string& path, std::string& out);

// Saves `bytes` as the file `path`. A regular file is replaced by a complete new one (renamed over it), so a
// failed write leaves the old file whole; the new file keeps the old one's owner and mode. A file that cannot
// be replaced without changing what the user sees (hard-linked, in a folder that takes no new files, of an
// owner we cannot give a new file) is overwritten where it is, after its room is claimed. A file the user may
// not write is refused (EACCES). Links are followed and their target saved, except another user's link in a
// sticky folder and any dangling link there (EACCES). Devices and pipes (/dev/null, /dev/stdout) are written
// directly.
FileResult WriteFileAtomically(const std::string& path, const std::string& bytes);

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

} // namespace zandel
