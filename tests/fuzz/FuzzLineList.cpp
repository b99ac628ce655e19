// The line-per-entry list files, against a model of their line rules, with a write and read back.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/settings/AppSettings.h"
#include "core/util/Text.h"
#include "fuzz/FuzzSupport.h"

using zandel::fuzz::Require;

namespace {

// LF ends a line and a CR before it is dropped; a last line without one counts; each keeps 259 bytes.
std::vector<std::string> ModelEntries(const std::string& bytes, std::size_t limit) {
    std::vector<std::string> entries;
    for (std::size_t at = 0; at < bytes.size() && entries.size() < limit;) {
        const std::size_t lf = std::min(bytes.find('\n', at), bytes.size());
        std::string line = bytes.substr(at, lf - at);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        entries.push_back(line.substr(0, zandel::kMaxFieldText));
        at = lf + 1;
    }
    return entries;
}

// A file of the process that lives only in memory, reached through its /proc path.
struct MemoryFile {
    MemoryFile() : fd(memfd_create("zandel-fuzz", MFD_CLOEXEC)) { Require(fd >= 0, "memfd_create"); }
    ~MemoryFile() { close(fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd); }
    int fd;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zandel::fuzz::Input input(data, size);
    const int limit = input.Byte() % 64;
    const std::string bytes = input.Rest();
    const MemoryFile file;
    Require(write(file.fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()), "write");

    const zandel::LineListReadResult read = zandel::ReadLineListFile(file.Path(), limit);
    const std::vector<std::string> model = ModelEntries(bytes, static_cast<std::size_t>(std::max(limit, 0)));
    Require(read.entries == model, "entries as the model's");
    Require(read.hitLimit == (limit > 0 && model.size() == static_cast<std::size_t>(limit)), "limit reported");

    // What is written reads back as it was, for entries that a line can hold.
    // In memory where there is room, since each save waits for the disk.
    char dir[] = "/dev/shm/zandel-fuzz-XXXXXX";
    Require(mkdtemp(dir) != nullptr, "mkdtemp");
    const std::string path = std::string(dir) + "/USER.DAT";
    std::vector<std::string> entries;
    for (const std::string& entry : read.entries) {
        if (entry.empty() || entry.back() != '\r') {
            entries.push_back(entry);
        }
    }
    const bool written = zandel::WriteLineListFile(path, entries).ok;
    const zandel::LineListReadResult back = zandel::ReadLineListFile(path, 64);
    unlink(path.c_str());
    rmdir(dir);
    Require(written, "written");
    Require(back.entries == entries, "read back as written");
    return 0;
}
