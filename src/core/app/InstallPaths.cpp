#include "core/app/InstallPaths.h"

#include <cstdlib>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/app/AppSettings.h"
#include "core/frame/BrowserLaunch.h"
#include "core/util/FileIo.h"
#include "core/util/UniqueFd.h"

namespace zandel {

std::string ConfigFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + "/Zandel";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config/Zandel";
}

FolderUse PrepareSettingsFolder(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0755); // parents as a desktop makes them; errors show below
    }
    ::mkdir(path.c_str(), 0700);
    const UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (!folder.IsOpen() || ::fstat(folder.Get(), &st) != 0) {
        return FolderUse::NotWritable;
    }
    if (st.st_uid != ::geteuid()) {
        return FolderUse::Foreign;
    }
    return ::faccessat(folder.Get(), ".", W_OK | X_OK, 0) == 0 ? FolderUse::Usable : FolderUse::NotWritable;
}

bool MakePrivateFolder(const std::string& path) {
    return PrepareSettingsFolder(path) == FolderUse::Usable;
}

bool IsOwnFolder(const std::string& path) {
    const UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    return folder.IsOpen() && ::fstat(folder.Get(), &st) == 0 && st.st_uid == ::geteuid();
}

std::string SettingsFolderNotice(const std::string& path, FolderUse use) {
    switch (use) {
    case FolderUse::Usable:
        break;
    case FolderUse::NotWritable:
        return "設定ﾌｫﾙﾀﾞ " + path + " を作成できないため、設定は保存されません。";
    case FolderUse::Foreign:
        return "設定ﾌｫﾙﾀﾞ " + path + " は他のﾕｰｻﾞのものであるため、既定の設定で起動し、設定は保存されません。";
    }
    return {};
}

StartFolder ChooseStartFolder(bool configFolderOption, const std::string& workingDir, const std::string& configFolder) {
    if (!configFolderOption) {
        return {workingDir, {}, true};
    }
    const FolderUse use = PrepareSettingsFolder(configFolder);
    return {configFolder, SettingsFolderNotice(configFolder, use), use != FolderUse::Foreign};
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
