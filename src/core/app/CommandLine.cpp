#include "core/app/CommandLine.h"

#include "core/app/InstallPaths.h"

namespace zandel {

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            line.help = true;
        } else if (argument == "--version") {
            line.version = true;
        } else if (argument == kConfigFolderOption) {
            line.configFolder = true;
        } else if (argument.rfind('-', 0) != 0 && !line.listFile) {
            line.listFile = argument;
        }
    }
    return line;
}

const char* UsageText() {
    return "usage: zandel [--use-config-folder] [LIST.txt]\n"
           "Checks public HTTP proxies and switches the desktop's proxy, in a window (in Japanese).\n"
           "  LIST.txt             a proxy list file to open; when Zandel runs already, it is added to the\n"
           "                       running window's list, as if dropped on it\n"
           "  --use-config-folder  keep the settings in $XDG_CONFIG_HOME/Zandel instead of the working folder\n"
           "  -h, --help           show this text\n"
           "  --version            show the version\n"
           "One Zandel runs at a time: a second start brings the running window to the front and ends.\n";
}

std::string VersionText(const std::string& program) {
    return program + " " + AppVersion() + "\n";
}

const char* AppVersion() {
    // The project's version, given by the build.
    return ZANDEL_VERSION;
}

} // namespace zandel
