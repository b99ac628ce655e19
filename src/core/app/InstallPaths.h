#pragma once

#include <string>

namespace zandel {

// Where the program's own files lie, for a copy run from its build tree or a folder of its own as much as for
// one installed by the package (programs in /usr/bin, shared files in /usr/share/zandel).

// "$XDG_CONFIG_HOME/Zandel" (else "~/.config/Zandel"): the user's own settings folder.
std::string ConfigFolder();

// What a settings folder is good for once it has been made where it was missing.
enum class FolderUse {
    Usable,      // the user's own and writable
    NotWritable, // cannot be made, or is the user's own but cannot be written: read, but nothing will be kept
    Foreign,     // another user's folder (or where its link points): neither read nor written
};
// Creates the folder (and its parents) when missing, the last one readable by the user alone, and tells what it
// is good for. The owner is taken from the opened folder, after its links.
FolderUse PrepareSettingsFolder(const std::string& path);
// True when it is then a folder the user owns and may write.
bool MakePrivateFolder(const std::string& path);
// True when the folder, where its links lead, is the user's own.
bool IsOwnFolder(const std::string& path);
// What the user is told once about a settings folder that is not usable; empty for a usable one.
std::string SettingsFolderNotice(const std::string& path, FolderUse use);

// The folder holding the manual "index.html": the program's own folder when the manual lies there, else the
// installed share folder ("<prefix>/share/zandel" beside "<prefix>/bin", then each of $XDG_DATA_DIRS), else
// the program's folder (which then reports the manual missing).
std::string ManualFolder(const std::string& programDir);

// "USER.DAT": beside the program when the user may write there (a build tree, a portable copy), otherwise in
// the settings folder, so that the User-Agent list survives on an installed system.
std::string UserAgentFilePath(const std::string& programDir, const std::string& configFolder);

// The option in the desktop entry's command: the settings files then lie in the settings folder instead of the
// working folder, which for a program started from a menu is the home folder.
inline constexpr const char* kConfigFolderOption = "--use-config-folder";

struct StartFolder {
    std::string dir;    // becomes StartDir, where "PrxSet.ini", "Access.ini" and "USER2.DAT" lie
    std::string notice; // said once at start-up: the settings folder cannot be made or written, or is another's
    // False for a settings folder of another user: its files are neither read nor written, the program runs on
    // its defaults.
    bool usesFiles = true;
};
// The working folder; with the option, the settings folder (made when missing). A settings folder that cannot
// be used is still the one named, so that nothing lands in the home folder, and the user is told that the
// settings will not be kept; one of another user is not read either, since its "PrxSet.ini" would choose the
// browser that the program starts.
StartFolder ChooseStartFolder(bool configFolderOption, const std::string& workingDir, const std::string& configFolder);

} // namespace zandel
