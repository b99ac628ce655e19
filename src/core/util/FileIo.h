#pragma once

#include <string>

namespace zandel {

struct FileResult {
    bool ok = true;
    int error = 0; // errno of the failure
    explicit operator bool() const { return ok; }
};

// Reads a whole file as bytes.
FileResult ReadWholeFile(const std::string& path, std::string& out);

// Writes `bytes` to a temporary file beside `path` and renames it over `path`, so that a failed write never
// leaves a half-written or empty file behind. A link is followed and its target replaced; an existing
// file keeps its permission bits.
FileResult WriteFileAtomically(const std::string& path, const std::string& bytes);

// True for an existing file that is not a directory.
bool FileExists(const std::string& path);
// True when the file is gone afterwards, also when there was none.
bool RemoveFile(const std::string& path);

} // namespace zandel
