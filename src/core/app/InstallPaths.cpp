#include "core/app/InstallPaths.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "core/app/AppSettings.h"
#include "core/frame/BrowserLaunch.h"
#include "core/util/FileIo.h"

namespace zandel {

std::string ConfigFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + "/Zandel";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config/Zandel";
}

bool MakePrivateFolder(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0755); // parents as a desktop makes them; errors show below
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           ::access(path.c_str(), W_OK | X_OK) == 0;
}

StartFolder ChooseStartFolder(bool configFolderOption, const std::string& workingDir, const std::string& configFolder) {
    if (!configFolderOption) {
        return {workingDir, {}};
    }
    if (!MakePrivateFolder(configFolder)) {
        return {configFolder, "設定ﾌｫﾙﾀﾞ " + configFolder + " を作成できないため、設定は保存されません。"};
    }
    return {configFolder, {}};
}

std::string ManualFolder(const std::string& programDir) {
    auto hasManual = [](const std::string& dir) { return FileExists(PathInDir(dir, kManualFileName)); };
    if (hasManual(programDir)) {
        return programDir;
    }
    const auto slash = programDir.rfind('/');
    if (slash != std::string::npos) {
        std::string installed = programDir.substr(0, slash) + "/share/zandel";
        if (hasManual(installed)) {
            return installed;
        }
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::istringstream dirs(dataDirs != nullptr && dataDirs[0] != '\0' ? dataDirs : "/usr/local/share:/usr/share");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && dir[0] == '/' && hasManual(dir + "/zandel")) {
            return dir + "/zandel";
        }
    }
    return programDir;
}

std::string UserAgentFilePath(const std::string& programDir, const std::string& configFolder) {
    std::string beside = PathInDir(programDir, kUserAgentFileName);
    const bool fileWritable = !FileExists(beside) || ::access(beside.c_str(), W_OK) == 0;
    if (::access(programDir.c_str(), W_OK | X_OK) == 0 && fileWritable) {
        return beside;
    }
    return PathInDir(configFolder, kUserAgentFileName);
}

} // namespace zandel
