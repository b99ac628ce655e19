#include "platform/RecentFileList.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include <sys/stat.h>

#include "core/app/IniFile.h"

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

} // namespace

RecentFileList::RecentFileList() : RecentFileList(DefaultIniPath()) {}

RecentFileList::RecentFileList(std::string iniPath) : m_iniPath(std::move(iniPath)) {}

void RecentFileList::Load() {
    m_entries.clear();
    const IniFile ini = IniFile::Load(m_iniPath);
    for (int i = 0; i < kSize; ++i) {
        const std::string path = ini.GetString(kSection, KeyOf(i), "");
        if (!path.empty() && std::find(m_entries.begin(), m_entries.end(), path) == m_entries.end()) {
            m_entries.push_back(path);
        }
    }
}

bool RecentFileList::Save() const {
    IniFile ini = IniFile::Load(m_iniPath);
    for (int i = 0; i < kSize; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (index < m_entries.size()) {
            ini.Set(kSection, KeyOf(i), m_entries[index]);
        } else {
            ini.Remove(kSection, KeyOf(i));
        }
    }
    return MakeFolders(m_iniPath) && ini.Save(m_iniPath);
}

void RecentFileList::Add(const std::string& path) {
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
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config != nullptr && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home != nullptr ? home : "") + "/.config";
    }
    return folder + "/Zandel/Zandel.ini";
}

} // namespace zandel
