#include "core/app/InstallPaths.h"

#include <cstdlib>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/settings/AppSettings.h"
#include "core/frame/BrowserLaunch.h"
#include "core/util/FileIo.h"
#include "core/util/UniqueFd.h"

namespace zandel {

namespace {

// "<prefix>/share/zandel" for a program folder "<prefix>/bin", and the like for any other folder.
std::string ShareFolderBeside(const std::string& programDir) {
    const auto slash = programDir.rfind('/');
    return slash == std::string::npos ? std::string() : programDir.substr(0, slash) + "/share/zandel";
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A settings file that would be read: a regular file of the user's own or of root.
bool HoldsTrustedFile(const std::string& path) {
    int error = 0;
    return OpenTrustedFile(path, error).IsOpen();
}

// The program's folder is "<prefix>/bin" of an installed layout.
bool IsInstalledProgram(const std::string& programDir) {
    std::string dir = programDir;
    while (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    const auto slash = dir.rfind('/');
    return slash != std::string::npos && dir.compare(slash + 1, std::string::npos, "bin") == 0 &&
           IsFolder(ShareFolderBeside(dir));
}

// What the user is told once about a settings folder that is not usable; empty for a usable one.
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

} // namespace

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

bool IsOwnFolder(const std::string& path) {
    const UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    return folder.IsOpen() && ::fstat(folder.Get(), &st) == 0 && st.st_uid == ::geteuid();
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
    std::string installed = ShareFolderBeside(programDir);
    if (!installed.empty() && hasManual(installed)) {
        return installed;
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

UserAgentFiles PrepareUserAgentFiles(const std::string& programDir, const std::string& configFolder) {
    const std::string beside = PathInDir(programDir, kUserAgentFileName);
    const bool besideExists = FileExists(beside);
    const bool besideWritable = !IsInstalledProgram(programDir) && ::access(programDir.c_str(), W_OK | X_OK) == 0 &&
                                (!besideExists || (HoldsTrustedFile(beside) && ::access(beside.c_str(), W_OK) == 0));
    if (besideWritable) {
        return {beside, beside, {}};
    }
    const std::string kept = PathInDir(configFolder, kUserAgentFileName);
    const FolderUse use = PrepareSettingsFolder(configFolder);
    UserAgentFiles files;
    files.writeTo = use == FolderUse::Usable ? kept : std::string();
    // The settings folder's list once it holds one; until then an older list beside the program, still shown.
    const bool keptHoldsList = use != FolderUse::Foreign && HoldsTrustedFile(kept);
    if (!keptHoldsList && HoldsTrustedFile(beside)) {
        files.readFrom = beside;
    } else if (use != FolderUse::Foreign) {
        files.readFrom = kept;
    }
    if (files.writeTo.empty()) {
        files.notice = "設定ﾌｫﾙﾀﾞ " + configFolder + " を使用できないため、User-Agent一覧の変更は保存されません。";
    } else if (files.writeTo != files.readFrom) {
        files.notice = files.readFrom + " に書き込めないため、User-Agent一覧を " + files.writeTo + " に保存します。";
    }
    return files;
}

} // namespace zandel
