#pragma once

#include <array>
#include <cstdlib>
#include <string>
#include <utility>
#include <variant>

#include "core/settings/AppSettings.h"

namespace zandel {

class IniFile;

// The bounds of a whole-number setting: what its settings page takes, and what a stored value is held to.
struct IntBounds {
    int lowest = 0;
    int highest = 0;
    constexpr bool Holds(int value) const { return value >= lowest && value <= highest; }
};

// What a stored whole number outside its bounds becomes when "PrxSet.ini" is read.
enum class OutOfBounds {
    Kept,    // as it is: its users hold it to a rule of their own (the run's time-out, EffectiveTimeOut)
    Default, // its default: a hand-edited count or interval must not run away
};

// Keys newer than the Windows program are written only away from their defaults, and dropped when put back (kept
// from the old file they would bring back a value the user has since put back), so that a file of a user who never
// changes them stays as it always was.
enum class Written { Always, UnlessDefault };

// One setting of "PrxSet.ini". The field's type is its kind: a bool is stored as 1 or 0 (any nonzero number reads
// as on), an int as a decimal number, a text as its bytes.
struct SettingRow {
    using Field = std::variant<bool AppSettings::*, int AppSettings::*, std::string AppSettings::*>;
    using Value = std::variant<bool, int, const char*>;

    const char* section;
    const char* key;
    Field field;
    Value fallback; // the default, of the field's kind
    IntBounds bounds{};
    OutOfBounds outOfBounds = OutOfBounds::Kept;
    Written written = Written::Always;
};

constexpr SettingRow BoolSetting(const char* section, const char* key, bool AppSettings::*field, bool fallback,
                                 Written written) {
    SettingRow row{section, key, field, SettingRow::Value(std::in_place_type<bool>, fallback)};
    row.written = written;
    return row;
}

constexpr SettingRow IntSetting(const char* section, const char* key, int AppSettings::*field, int fallback,
                                IntBounds bounds, OutOfBounds outOfBounds, Written written) {
    SettingRow row{section, key, field, SettingRow::Value(std::in_place_type<int>, fallback)};
    row.bounds = bounds;
    row.outOfBounds = outOfBounds;
    row.written = written;
    return row;
}

constexpr SettingRow TextSetting(const char* section, const char* key, std::string AppSettings::*field,
                                 const char* fallback, Written written) {
    SettingRow row{section, key, field, SettingRow::Value(std::in_place_type<const char*>, fallback)};
    row.written = written;
    return row;
}

// Every setting of "PrxSet.ini" but the indexed lists [WebPage-Url] WebPageNo and [Sites] Site0…, and [Window],
// which have readers and writers of their own. The table's order is the file's: a file is written with its sections and
// keys in this order, as the Windows program wrote them. The time-out's bounds are the page's; the run takes more
// (TimeOut.h), so a stored time-out is kept as it is.
// clang-format off
inline constexpr std::array kSettingsTable = {
    IntSetting ("ProxyTimeOut",          "TimeOut",          &AppSettings::TimeOut,            kTimeOutDefault,         {5, 60},    OutOfBounds::Kept,    Written::Always),
    TextSetting("ProxyHttpVer",          "HttpVer",          &AppSettings::HttpVer,            "1.0",                                                         Written::Always),
    TextSetting("ProxyBwPath",           "BwPath",           &AppSettings::BwPath,             kDefaultBrowserPath,                                           Written::Always),
    BoolSetting("bProxyBwUrl",           "On",               &AppSettings::BwUrlOn,            true,                                                          Written::Always),
    TextSetting("ProxyBwUrl",            "BwUrl",            &AppSettings::BwUrl,              "",                                                            Written::Always),
    BoolSetting("ProxyTaskTray",         "On",               &AppSettings::TaskTray,           false,                                                         Written::Always),
    BoolSetting("ProxyTaskTray",         "OpenOn",           &AppSettings::TaskTrayOpen,       false,                                                         Written::Always),
    BoolSetting("FavoOn",                "On",               &AppSettings::FavoOn,             true,                                                          Written::Always),
    BoolSetting("FavoSel",               "On",               &AppSettings::FavoSel,            false,                                                         Written::Always),
    BoolSetting("OpenCheck",             "On",               &AppSettings::OpenCheck,          false,                                                         Written::Always),
    BoolSetting("ProxyOn",               "On",               &AppSettings::ProxyOn,            false,                                                         Written::Always),
    TextSetting("ProxyAddr",             "Addr",             &AppSettings::ProxyAddr,          "",                                                            Written::Always),
    BoolSetting("ProxyForegroundWindow", "ForegroundWindow", &AppSettings::ForegroundWindow,   false,                                                         Written::Always),
    TextSetting("ProxyFile",             "File",             &AppSettings::ProxyFile,          "",                                                            Written::Always),
    BoolSetting("User-AgentOn",          "On",               &AppSettings::UserAgentOn,        false,                                                         Written::Always),
    TextSetting("User-Agent",            "String",           &AppSettings::UserAgent,          kDefaultUserAgent,                                             Written::Always),
    TextSetting("WebPage-Url",           "WebPage",          &AppSettings::WebPage,            kDefaultWebPage,                                               Written::Always),
    TextSetting("Access-Url",            "AccessUrl",        &AppSettings::AccessUrl,          "",                                                            Written::Always),
    TextSetting("Access-Url",            "Addr1",            &AppSettings::Addr1,              "",                                                            Written::Always),
    TextSetting("Access-Url",            "Addr2",            &AppSettings::Addr2,              "",                                                            Written::Always),
    TextSetting("Access-Url",            "Addr3",            &AppSettings::Addr3,              "",                                                            Written::Always),
    IntSetting ("ProxyParallel",         "Count",            &AppSettings::ParallelChecks,     1,                       {1, 10000}, OutOfBounds::Default, Written::UnlessDefault),
    BoolSetting("HttpsCheck",            "On",               &AppSettings::HttpsCheckOn,       false,                                                         Written::UnlessDefault),
    TextSetting("HttpsCheck",            "Target",           &AppSettings::HttpsTarget,        "",                                                            Written::UnlessDefault),
    BoolSetting("Judge",                 "Strict",           &AppSettings::JudgeStrict,        false,                                                         Written::UnlessDefault),
    TextSetting("Judge",                 "Key",              &AppSettings::JudgeKey,           "",                                                            Written::UnlessDefault),
    BoolSetting("Judge",                 "Baseline",         &AppSettings::JudgeBaseline,      true,                                                          Written::UnlessDefault),
    TextSetting("Judge",                 "Fallback",         &AppSettings::JudgeFallback,      "",                                                            Written::UnlessDefault),
    BoolSetting("ProxyType",             "Detect",           &AppSettings::DetectProxyType,    false,                                                         Written::UnlessDefault),
    BoolSetting("ListUrl",               "ViaProxy",         &AppSettings::ListUrlViaProxy,    false,                                                         Written::UnlessDefault),
    BoolSetting("AutoRecheck",           "On",               &AppSettings::AutoRecheck,        false,                                                         Written::UnlessDefault),
    IntSetting ("AutoRecheck",           "Minutes",          &AppSettings::AutoRecheckMinutes, kRecheckMinutesDefault,  {5, 1440},  OutOfBounds::Default, Written::UnlessDefault),
    BoolSetting("AutoRecheck",           "Failover",         &AppSettings::Failover,           false,                                                         Written::UnlessDefault),
    BoolSetting("AutoRecheck",           "RefetchList",      &AppSettings::RefetchList,        false,                                                         Written::UnlessDefault),
    IntSetting ("History",               "KeepDays",         &AppSettings::HistoryKeepDays,    kHistoryKeepDaysDefault, {1, 3650},  OutOfBounds::Default, Written::UnlessDefault),
    BoolSetting("History",               "Columns",          &AppSettings::HistoryColumns,     false,                                                         Written::UnlessDefault),
    BoolSetting("List",                  "FollowRun",        &AppSettings::FollowRun,          false,                                                         Written::UnlessDefault),
    IntSetting ("List",                  "AddressWidth",     &AppSettings::AddressColumnWidth, 0,                 {0, 4000},        OutOfBounds::Default, Written::UnlessDefault),
    IntSetting ("List",                  "MaxRows",          &AppSettings::MaxRows,            kListRowsDefault,  {1000, 1000000},  OutOfBounds::Default, Written::UnlessDefault),
    TextSetting("Serve",                 "Listen",           &AppSettings::ServeListen,        "127.0.0.1:8181",                                              Written::UnlessDefault),
    TextSetting("Serve",                 "Pool",             &AppSettings::ServePoolRows,      "live",                                                        Written::UnlessDefault),
    TextSetting("Serve",                 "Strategy",         &AppSettings::ServeStrategyName,  "weighted",                                                    Written::UnlessDefault),
    IntSetting ("Serve",                 "Tries",            &AppSettings::ServeTries,         3,                       {1, 20},    OutOfBounds::Default, Written::UnlessDefault),
    IntSetting ("Serve",                 "Sticky",           &AppSettings::ServeSticky,        10,                      {0, 1440},  OutOfBounds::Default, Written::UnlessDefault),
    IntSetting ("Serve",                 "MaxClients",       &AppSettings::ServeMaxClients,    1024,                    {1, 10000}, OutOfBounds::Default, Written::UnlessDefault),
    TextSetting("Serve",                 "Ports",            &AppSettings::ServePorts,         "80,443",                                                      Written::UnlessDefault),
    BoolSetting("Serve",                 "AllowLeaky",       &AppSettings::ServeAllowLeaky,    false,                                                         Written::UnlessDefault),
    TextSetting("Serve",                 "User",             &AppSettings::ServeUser,          "",                                                            Written::UnlessDefault),
    TextSetting("Serve",                 "Password",         &AppSettings::ServePassword,      "",                                                            Written::UnlessDefault),
    TextSetting("Geo",                   "CountryFile",      &AppSettings::GeoCountryFile,     "",                                                            Written::UnlessDefault),
    TextSetting("Geo",                   "AsnFile",          &AppSettings::GeoAsnFile,         "",                                                            Written::UnlessDefault),
    TextSetting("Geo",                   "CountryUrl",       &AppSettings::GeoCountryUrl,      "",                                                            Written::UnlessDefault),
    TextSetting("Geo",                   "AsnUrl",           &AppSettings::GeoAsnUrl,          "",                                                            Written::UnlessDefault),
    IntSetting ("Geo",                   "RefreshDays",      &AppSettings::GeoRefreshDays,     kGeoRefreshDaysDefault, {1, 365},    OutOfBounds::Default, Written::UnlessDefault),
    TextSetting("Geo",                   "DatacenterFile",   &AppSettings::GeoDatacenterFile,  "",                                                            Written::UnlessDefault),
    TextSetting("Geo",                   "LastDownload",     &AppSettings::GeoLastDownload,    "",                                                            Written::UnlessDefault),
    BoolSetting("Geo",                   "Columns",          &AppSettings::GeoColumns,         false,                                                         Written::UnlessDefault),
    BoolSetting("Twice",                 "On",               &AppSettings::TwiceOn,            false,                                                         Written::UnlessDefault),
    IntSetting ("Twice",                 "Pause",            &AppSettings::TwicePause,         kTwicePauseDefaultSeconds, {0, kTwicePauseMaxSeconds}, OutOfBounds::Default, Written::UnlessDefault),
    BoolSetting("Sites",                 "Columns",          &AppSettings::SiteColumns,        false,                                                         Written::UnlessDefault),
};
// clang-format on

// The row of a field; a field without a row aborts. (Asked in a constant expression it would not compile, but the
// sanitizer builds do not take the variant look-up as one: the pages ask at start-up.)
template <typename T> constexpr const SettingRow& SettingRowOf(T AppSettings::*field) {
    for (const SettingRow& row : kSettingsTable) {
        if (const auto* rowField = std::get_if<T AppSettings::*>(&row.field);
            rowField != nullptr && *rowField == field) {
            return row;
        }
    }
    std::abort();
}

constexpr IntBounds BoundsOf(int AppSettings::*field) {
    return SettingRowOf(field).bounds;
}

// The row's field set to its default.
void SetDefault(const SettingRow& row, AppSettings& settings);
// The row's key into its field; a missing key keeps the field as it is.
void ReadSetting(const IniFile& ini, const SettingRow& row, AppSettings& settings);
// The field into the row's key, or the key dropped when the row says so.
void WriteSetting(IniFile& ini, const SettingRow& row, const AppSettings& settings);

} // namespace zandel
