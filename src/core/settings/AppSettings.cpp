#include "core/settings/AppSettings.h"

#include "core/settings/IniFile.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

bool ReadBool(const IniFile& ini, const char* section, const char* key, bool current) {
    return ini.GetInt(section, key, current ? 1 : 0) != 0;
}

void SetBool(IniFile& ini, const char* section, const char* key, bool value) {
    ini.Set(section, key, value ? "1" : "0");
}

// A key that newer versions added is written only when it differs from its default, and dropped otherwise:
// kept from the old file it would bring back a value the user has since put back.
void SetUnlessDefault(IniFile& ini, const char* section, const char* key, const std::string& value, bool isDefault) {
    if (isDefault) {
        ini.Remove(section, key);
    } else {
        ini.Set(section, key, value);
    }
}

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

} // namespace

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
    AppSettings& s = settings;
    s.TimeOut = ini.GetInt("ProxyTimeOut", "TimeOut", s.TimeOut);
    s.HttpVer = ini.GetString("ProxyHttpVer", "HttpVer", s.HttpVer);
    s.BwPath = ini.GetString("ProxyBwPath", "BwPath", s.BwPath);
    s.BwUrlOn = ReadBool(ini, "bProxyBwUrl", "On", s.BwUrlOn);
    s.BwUrl = ini.GetString("ProxyBwUrl", "BwUrl", s.BwUrl);
    s.TaskTray = ReadBool(ini, "ProxyTaskTray", "On", s.TaskTray);
    s.TaskTrayOpen = ReadBool(ini, "ProxyTaskTray", "OpenOn", s.TaskTrayOpen);
    s.WebPage = ini.GetString("WebPage-Url", "WebPage", s.WebPage);
    ReadIniList(ini, "WebPage-Url", "WebPageNo", s, SettingsList::WebPageList);
    s.FavoOn = ReadBool(ini, "FavoOn", "On", s.FavoOn);
    s.FavoSel = ReadBool(ini, "FavoSel", "On", s.FavoSel);
    s.OpenCheck = ReadBool(ini, "OpenCheck", "On", s.OpenCheck);
    s.ProxyOn = ReadBool(ini, "ProxyOn", "On", s.ProxyOn);
    s.ProxyAddr = ini.GetString("ProxyAddr", "Addr", s.ProxyAddr);
    s.ForegroundWindow = ReadBool(ini, "ProxyForegroundWindow", "ForegroundWindow", s.ForegroundWindow);
    s.ProxyFile = ini.GetString("ProxyFile", "File", s.ProxyFile);
    s.UserAgentOn = ReadBool(ini, "User-AgentOn", "On", s.UserAgentOn);
    s.UserAgent = ini.GetString("User-Agent", "String", s.UserAgent);
    s.AccessUrl = ini.GetString("Access-Url", "AccessUrl", s.AccessUrl);
    s.Addr1 = ini.GetString("Access-Url", "Addr1", s.Addr1);
    s.Addr2 = ini.GetString("Access-Url", "Addr2", s.Addr2);
    s.Addr3 = ini.GetString("Access-Url", "Addr3", s.Addr3);
    s.ParallelChecks = ini.GetInt("ProxyParallel", "Count", s.ParallelChecks);
    if (s.ParallelChecks < 1 || s.ParallelChecks > kMaxParallelChecks) {
        s.ParallelChecks = 1; // a hand-edited count out of range checks one at a time
    }
    s.HttpsCheckOn = ReadBool(ini, "HttpsCheck", "On", s.HttpsCheckOn);
    s.HttpsTarget = ini.GetString("HttpsCheck", "Target", s.HttpsTarget);
    s.JudgeStrict = ReadBool(ini, "Judge", "Strict", s.JudgeStrict);
    s.JudgeKey = ini.GetString("Judge", "Key", s.JudgeKey);
    s.JudgeBaseline = ReadBool(ini, "Judge", "Baseline", s.JudgeBaseline);
    s.JudgeFallback = ini.GetString("Judge", "Fallback", s.JudgeFallback);
    s.DetectProxyType = ReadBool(ini, "ProxyType", "Detect", s.DetectProxyType);
    s.ListUrlViaProxy = ReadBool(ini, "ListUrl", "ViaProxy", s.ListUrlViaProxy);
    s.AutoRecheck = ReadBool(ini, "AutoRecheck", "On", s.AutoRecheck);
    s.AutoRecheckMinutes = ini.GetInt("AutoRecheck", "Minutes", s.AutoRecheckMinutes);
    if (s.AutoRecheckMinutes < kRecheckMinutesLowest || s.AutoRecheckMinutes > kRecheckMinutesHighest) {
        s.AutoRecheckMinutes = kRecheckMinutesDefault; // a hand-edited interval out of range
    }
    s.Failover = ReadBool(ini, "AutoRecheck", "Failover", s.Failover);
    s.RefetchList = ReadBool(ini, "AutoRecheck", "RefetchList", s.RefetchList);
    s.HistoryKeepDays = ini.GetInt("History", "KeepDays", s.HistoryKeepDays);
    if (s.HistoryKeepDays < kHistoryKeepDaysLowest || s.HistoryKeepDays > kHistoryKeepDaysHighest) {
        s.HistoryKeepDays = kHistoryKeepDaysDefault;
    }
    s.HistoryColumns = ReadBool(ini, "History", "Columns", s.HistoryColumns);
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
    const AppSettings& s = settings;
    ini.Set("ProxyTimeOut", "TimeOut", std::to_string(s.TimeOut));
    ini.Set("ProxyHttpVer", "HttpVer", s.HttpVer);
    ini.Set("ProxyBwPath", "BwPath", s.BwPath);
    SetBool(ini, "bProxyBwUrl", "On", s.BwUrlOn);
    ini.Set("ProxyBwUrl", "BwUrl", s.BwUrl);
    SetBool(ini, "ProxyTaskTray", "On", s.TaskTray);
    SetBool(ini, "ProxyTaskTray", "OpenOn", s.TaskTrayOpen);
    SetBool(ini, "FavoOn", "On", s.FavoOn);
    SetBool(ini, "FavoSel", "On", s.FavoSel);
    SetBool(ini, "OpenCheck", "On", s.OpenCheck);
    SetBool(ini, "ProxyOn", "On", s.ProxyOn);
    ini.Set("ProxyAddr", "Addr", s.ProxyAddr);
    SetBool(ini, "ProxyForegroundWindow", "ForegroundWindow", s.ForegroundWindow);
    ini.Set("ProxyFile", "File", s.ProxyFile);
    SetBool(ini, "User-AgentOn", "On", s.UserAgentOn);
    ini.Set("User-Agent", "String", s.UserAgent);
    ini.Set("WebPage-Url", "WebPage", s.WebPage);
    WriteIniList(ini, "WebPage-Url", "WebPageNo", s, SettingsList::WebPageList);
    ini.Set("Access-Url", "AccessUrl", s.AccessUrl);
    ini.Set("Access-Url", "Addr1", s.Addr1);
    ini.Set("Access-Url", "Addr2", s.Addr2);
    ini.Set("Access-Url", "Addr3", s.Addr3);
    SetUnlessDefault(ini, "ProxyParallel", "Count", std::to_string(s.ParallelChecks), s.ParallelChecks == 1);
    SetUnlessDefault(ini, "HttpsCheck", "On", s.HttpsCheckOn ? "1" : "0", !s.HttpsCheckOn);
    SetUnlessDefault(ini, "HttpsCheck", "Target", s.HttpsTarget, s.HttpsTarget.empty());
    SetUnlessDefault(ini, "Judge", "Strict", s.JudgeStrict ? "1" : "0", !s.JudgeStrict);
    SetUnlessDefault(ini, "Judge", "Key", s.JudgeKey, s.JudgeKey.empty());
    SetUnlessDefault(ini, "Judge", "Baseline", s.JudgeBaseline ? "1" : "0", s.JudgeBaseline);
    SetUnlessDefault(ini, "Judge", "Fallback", s.JudgeFallback, s.JudgeFallback.empty());
    SetUnlessDefault(ini, "ProxyType", "Detect", s.DetectProxyType ? "1" : "0", !s.DetectProxyType);
    SetUnlessDefault(ini, "ListUrl", "ViaProxy", s.ListUrlViaProxy ? "1" : "0", !s.ListUrlViaProxy);
    SetUnlessDefault(ini, "AutoRecheck", "On", s.AutoRecheck ? "1" : "0", !s.AutoRecheck);
    SetUnlessDefault(ini, "AutoRecheck", "Minutes", std::to_string(s.AutoRecheckMinutes),
                     s.AutoRecheckMinutes == kRecheckMinutesDefault);
    SetUnlessDefault(ini, "AutoRecheck", "Failover", s.Failover ? "1" : "0", !s.Failover);
    SetUnlessDefault(ini, "AutoRecheck", "RefetchList", s.RefetchList ? "1" : "0", !s.RefetchList);
    SetUnlessDefault(ini, "History", "KeepDays", std::to_string(s.HistoryKeepDays),
                     s.HistoryKeepDays == kHistoryKeepDaysDefault);
    SetUnlessDefault(ini, "History", "Columns", s.HistoryColumns ? "1" : "0", !s.HistoryColumns);
    return ini.Save(path);
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
