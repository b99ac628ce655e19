#pragma once

#include <string>

namespace zandel {

// Where the program's own files lie, for a copy run from its build tree or a folder of its own as much as for
// one installed by the package (programs in /usr/bin, shared files in /usr/share/zandel).

// "$XDG_CONFIG_HOME/Zandel" (else "~/.config/Zandel"): the user's own settings folder.
std::string ConfigFolder();

// Creates the folder (and its parents) when missing, the last one readable by the user alone. True when it is
// a folder the user owns and may write.
bool MakePrivateFolder(const std::string& path);

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
    std::string notice; // said once at start-up: the settings folder cannot be made or written
};
// The working folder; with the option, the settings folder (made when missing). A settings folder that cannot
// be used is still the one named, so that nothing lands in the home folder, and the user is told that the
// settings will not be kept.
StartFolder ChooseStartFolder(bool configFolderOption, const std::string& workingDir, const std::string& configFolder);

} // namespace zandel
