#pragma once

#include <string>
#include <vector>

#include "core/frame/RecentFiles.h"

namespace zandel {

// The recent-file list of the File menu: the four list files opened or saved last, newest first, kept in
// "Zandel.ini" [Recent File List] File1..File4 in the user's configuration folder.
class RecentFileList final : public IRecentFiles {
public:
    // "Zandel.ini" in $XDG_CONFIG_HOME/Zandel, else in ~/.config/Zandel.
    RecentFileList();
    explicit RecentFileList(std::string iniPath);

    // Reads the entries; a missing file gives none, and so does a folder of another user. Empty keys and
    // repeats are passed over.
    void Load();
    // Writes the entries, making the folder when needed. False when the file cannot be written, also in a folder
    // of another user.
    bool Save() const;

    // The path becomes the newest entry; an older entry of the same path goes, the fifth falls off. A path
    // with a line feed or of more than 259 bytes is not taken. A URL is kept without its login, as it is read.
    void Add(const std::string& given);
    void Remove(int index) override;
    const std::vector<std::string>& Entries() const override { return m_entries; }
    const std::string& IniPath() const { return m_iniPath; }

    static std::string DefaultIniPath();

private:
    std::string m_iniPath;
    std::vector<std::string> m_entries;
};

} // namespace zandel
