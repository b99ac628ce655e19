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
// True when the folder, where its links lead, is the user's own.
bool IsOwnFolder(const std::string& path);

// The folder holding the manual "index.html": the program's own folder when the manual lies there, else the
// installed share folder ("<prefix>/share/zandel" beside "<prefix>/bin", then each of $XDG_DATA_DIRS), else
// the program's folder (which then reports the manual missing).
std::string ManualFolder(const std::string& programDir);

// Where the User-Agent list "USER.DAT" is read from and written to.
struct UserAgentFiles {
    std::string readFrom;
    std::string writeTo; // empty when the list cannot be kept anywhere
    // Said once, on the first change of the list, when it is not written back where it was read.
    std::string notice;

    // Written back where it was read, the list is saved at every close, as it always was; anywhere else only
    // once it has changed, so that merely looking makes no copy.
    bool SavesOnClose(bool changed) const { return !writeTo.empty() && (changed || writeTo == readFrom); }
};
// Beside the program when the user may write there (a build tree, a portable copy), never beside an installed
// program (not even as root): one whose folder is "<prefix>/bin" with "<prefix>/share/zandel" beside it, as the
// package (/usr) and every `cmake --install` lay it out. The layout decides rather than the prefix the build was
// configured with, since the package is built with one prefix and installed with another. Otherwise the list goes
// to the settings folder (made when missing): read from there once it holds one, else from beside the program
// where an older list lies, so that a read-only list is still shown, and copied whole to the settings folder on
// its first change. Another user's "USER.DAT" is never read, and a settings folder of another user never used.
UserAgentFiles PrepareUserAgentFiles(const std::string& programDir, const std::string& configFolder);

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
