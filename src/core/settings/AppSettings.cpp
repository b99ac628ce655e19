#include "core/settings/AppSettings.h"

#include <algorithm>
#include <string_view>

#include "core/settings/IniFile.h"
#include "core/settings/SettingsTable.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

// SaveSettings writes the WebPage list after the table, into the section of the table's WebPage key: with no other
// row in that section, the list still follows its key directly.
constexpr bool WebPageHasItsSectionAlone() {
    int rows = 0;
    for (const SettingRow& row : kSettingsTable) {
        rows += std::string_view(row.section) == "WebPage-Url" ? 1 : 0;
    }
    return rows == 1;
}
static_assert(WebPageHasItsSectionAlone());

// The slot index of an indexed list key as a reader forms it (prefix and decimal digits without leading
// zeros), or -1 for any other key. Indices past the int range count as far beyond the list.
long long ListKeyIndex(const std::string& key, const std::string& prefix) {
    if (!StartsWithNoCase(key, prefix)) {
        return -1;
    }
    const std::string digits = key.substr(prefix.size());
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
        (digits.size() > 1 && digits[0] == '0')) {
        return -1;
    }
    return ParseLeadingInt(digits);
}

// One switch for both the const and the mutable record.
template <typename Settings> auto& ListOf(Settings& settings, SettingsList list) {
    switch (list) {
    case SettingsList::Favourites:
        return settings.Favourites;
    case SettingsList::ChainProxies:
        return settings.ChainProxies;
    case SettingsList::ChainUrls:
        return settings.ChainUrls;
    case SettingsList::WebPageList:
        break;
    }
    return settings.WebPageList;
}

constexpr const char* kSitesSection = "Sites";
constexpr const char* kSitePrefix = "Site";

} // namespace

AppSettings::AppSettings() {
    for (const SettingRow& row : kSettingsTable) {
        SetDefault(row, *this);
    }
}

std::array<std::string, kListSlots>& AppSettings::List(SettingsList list) {
    return ListOf(*this, list);
}

const std::array<std::string, kListSlots>& AppSettings::List(SettingsList list) const {
    return ListOf(*this, list);
}

std::string GetListEntry(const AppSettings& settings, SettingsList list, int index) {
    if (index < 0 || index >= kListSlots) {
        return {};
    }
    return settings.List(list)[static_cast<std::size_t>(index)];
}

void SetListEntry(AppSettings& settings, SettingsList list, const std::string& value, int index) {
    if (index < 0 || index >= kListSlots) {
        return;
    }
    settings.List(list)[static_cast<std::size_t>(index)] = CutBytes(value);
}

int CountListEntries(const AppSettings& settings, SettingsList list) {
    int count = 0;
    for (const std::string& slot : settings.List(list)) {
        if (slot.empty()) {
            break;
        }
        ++count;
    }
    return count;
}

std::vector<std::string> ListEntries(const AppSettings& settings, SettingsList list) {
    const auto& slots = settings.List(list);
    return std::vector<std::string>(slots.begin(), slots.begin() + CountListEntries(settings, list));
}

void ClearList(AppSettings& settings, SettingsList list) {
    for (std::string& slot : settings.List(list)) {
        slot.clear();
    }
}

void RecordProxyFile(AppSettings& settings, const std::string& path) {
    settings.ProxyFile = IniFile::CanHold(path) ? path : std::string();
}

std::string PathInDir(const std::string& dir, const std::string& fileName) {
    if (dir.empty()) {
        return fileName;
    }
    return dir.back() == '/' ? dir + fileName : dir + "/" + fileName;
}

std::optional<std::string> StartDirFile(const AppSettings& settings, const char* fileName) {
    if (!settings.UsesStartDirFiles) {
        return std::nullopt;
    }
    return PathInDir(settings.StartDir, fileName);
}

bool LoadSettings(AppSettings& settings) {
    const auto path = StartDirFile(settings, kSettingsFileName);
    if (!path) {
        return false;
    }
    const IniFile ini = IniFile::Load(*path);
    // Each key reads into a field of its own, so the order of reading is free.
    for (const SettingRow& row : kSettingsTable) {
        ReadSetting(ini, row, settings);
    }
    // More than a thousand at once only for a list allowed more than a thousand rows: otherwise such a count is out of
    // range, as it always was.
    if (settings.ParallelChecks > MostParallelChecks(settings.MaxRows)) {
        settings.ParallelChecks = 1;
    }
    ReadIniList(ini, "WebPage-Url", "WebPageNo", settings, SettingsList::WebPageList);
    ReadSites(ini, settings);
    return true;
}

bool SaveSettings(const AppSettings& settings) {
    const auto file = StartDirFile(settings, kSettingsFileName);
    if (!file) {
        return false;
    }
    const std::string& path = *file;
    // The whole file is built here and written once: written in two steps, a full disk or a kill between them
    // would leave the window rectangle alone and lose every other setting.
    IniFile ini;
    if (settings.Window) {
        WriteWindowRect(ini, *settings.Window);
    } else {
        ini = IniFile::Load(path);
    }
    for (const SettingRow& row : kSettingsTable) {
        WriteSetting(ini, row, settings);
    }
    // The list joins [WebPage-Url] after its WebPage key, which the table has already put in its place; no later
    // row writes to that section, so the file comes out as if the list were written straight after the key.
    WriteIniList(ini, "WebPage-Url", "WebPageNo", settings, SettingsList::WebPageList);
    WriteSites(ini, settings);
    return ini.Save(path);
}

void ReadSites(const IniFile& ini, AppSettings& settings) {
    settings.Sites.clear();
    for (int i = 0; i < kListSlots; ++i) {
        std::string value = ini.GetString(kSitesSection, kSitePrefix + std::to_string(i), std::string());
        if (value.empty()) {
            break;
        }
        settings.Sites.push_back(std::move(value));
    }
}

void WriteSites(IniFile& ini, const AppSettings& settings) {
    const auto count = static_cast<long long>(std::min<std::size_t>(settings.Sites.size(), kListSlots));
    for (long long i = 0; i < count; ++i) {
        ini.Set(kSitesSection, kSitePrefix + std::to_string(i), settings.Sites[static_cast<std::size_t>(i)]);
    }
    for (const std::string& key : ini.Keys(kSitesSection)) {
        if (ListKeyIndex(key, kSitePrefix) >= count) {
            ini.Remove(kSitesSection, key);
        }
    }
    ini.RemoveIfEmpty(kSitesSection);
}

void ReadIniList(const IniFile& ini, const std::string& section, const std::string& prefix, AppSettings& settings,
                 SettingsList list) {
    ClearList(settings, list);
    // Keys past the last slot would only be read and dropped.
    for (int i = 0; i < kListSlots; ++i) {
        const std::string value = ini.GetString(section, prefix + std::to_string(i), std::string());
        if (value.empty()) {
            break;
        }
        SetListEntry(settings, list, value, i);
    }
}

void WriteIniList(IniFile& ini, const std::string& section, const std::string& prefix, const AppSettings& settings,
                  SettingsList list) {
    const int count = CountListEntries(settings, list);
    for (int i = 0; i < count; ++i) {
        ini.Set(section, prefix + std::to_string(i), GetListEntry(settings, list, i));
    }
    for (const std::string& key : ini.Keys(section)) {
        if (ListKeyIndex(key, prefix) >= count) {
            ini.Remove(section, key);
        }
    }
}

void ReadIniList(const std::string& path, const std::string& section, const std::string& prefix, AppSettings& settings,
                 SettingsList list) {
    ReadIniList(IniFile::Load(path), section, prefix, settings, list);
}

bool WriteIniList(const std::string& path, const std::string& section, const std::string& prefix,
                  const AppSettings& settings, SettingsList list) {
    IniFile ini = IniFile::Load(path);
    WriteIniList(ini, section, prefix, settings, list);
    return ini.Save(path);
}

} // namespace zandel
