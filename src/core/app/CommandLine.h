#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zandel {

// What the desktop program was started with. Its own options are --use-config-folder, -h/--help and --version;
// the first argument that is no option names a list file to open. Any other argument that begins with "-" is
// passed over.
struct CommandLine {
    bool help = false;
    bool version = false;
    bool configFolder = false;
    std::optional<std::string> listFile;
};

// `arguments` as the program got them, its name first; the bytes are kept as they are.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// What --help prints.
const char* UsageText();
// What --version prints for `program`: its name and the version, "zandel 1.11".
std::string VersionText(const std::string& program);
// The version alone, "1.11".
const char* AppVersion();

} // namespace zandel
