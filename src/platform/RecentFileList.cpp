#include "platform/RecentFileList.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <sys/stat.h>

#include "core/settings/AppSettings.h"
#include "core/settings/IniFile.h"
#include "core/app/InstallPaths.h"
#include "core/fetch/ListFetcher.h"
#include "core/frame/ListUrl.h"

namespace zandel {

namespace {

constexpr const char* kSection = "Recent File List";

std::string KeyOf(int index) {
    return "File" + std::to_string(index + 1);
}

bool MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

// A list's URL is kept without its login: the menu shows the entries, and "Zandel.ini" may be readable by others
// (one an older version wrote keeps its mode). An entry of such a version loses its login here.
std::string Kept(const std::string& path) {
    return IsListUrl(path) ? ShownUrl(path) : path;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

} // namespace

RecentFileList::RecentFileList() : RecentFileList(DefaultIniPath()) {}

RecentFileList::RecentFileList(std::string iniPath) : m_iniPath(std::move(iniPath)) {}

// The list lies in the settings folder, which is used only when it is the user's own: in another user's folder
// the list is neither read nor written.
void RecentFileList::Load() {
    m_entries.clear();
    if (!IsOwnFolder(FolderOf(m_iniPath))) {
        return;
    }
    const IniFile ini = IniFile::Load(m_iniPath);
    for (int i = 0; i < kSize; ++i) {
        const std::string path = Kept(ini.GetString(kSection, KeyOf(i), ""));
        if (!path.empty() && std::find(m_entries.begin(), m_entries.end(), path) == m_entries.end()) {
            m_entries.push_back(path);
        }
    }
}

bool RecentFileList::Save() const {
    if (!MakeFolders(m_iniPath) || !IsOwnFolder(FolderOf(m_iniPath))) {
        return false;
    }
    IniFile ini = IniFile::Load(m_iniPath);
    for (int i = 0; i < kSize; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (index < m_entries.size()) {
            ini.Set(kSection, KeyOf(i), m_entries[index]);
        } else {
            ini.Remove(kSection, KeyOf(i));
        }
    }
    return ini.Save(m_iniPath);
}

void RecentFileList::Add(const std::string& given) {
    const std::string path = Kept(given);
    // A name "Zandel.ini" cannot hold would come back as another one.
    if (path.empty() || !IniFile::CanHold(path)) {
        return;
    }
    m_entries.erase(std::remove(m_entries.begin(), m_entries.end(), path), m_entries.end());
    m_entries.insert(m_entries.begin(), path);
    if (m_entries.size() > static_cast<std::size_t>(kSize)) {
        m_entries.resize(kSize);
    }
}

void RecentFileList::Remove(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < m_entries.size()) {
        m_entries.erase(m_entries.begin() + index);
    }
}

std::string RecentFileList::DefaultIniPath() {
    return PathInDir(ConfigFolder(), "Zandel.ini");
}

} // namespace zandel
