#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "core/geo/GeoDatabase.h"

namespace zandel {

// When the offline databases are fetched again and what their page says of them.

// Whether a database fetched from a URL is due again: never fetched (no time kept, or one unreadable), or fetched
// `refreshDays` days ago or longer. A time ahead of `now` (a clock put back) is due too, rather than never.
bool GeoRefreshDue(std::string_view lastDownload, int refreshDays, std::time_t now);
// Whether a database built at `buildEpoch` is older than kGeoStaleDays, which its page warns of.
bool GeoIsStale(std::uint64_t buildEpoch, std::time_t now);
// The build date as the page shows it, "2026/12/01"; "" for none.
std::string GeoBuildDate(std::uint64_t buildEpoch);

// What the page says of a database file: its build date and type, a warning when it is out of date, or why it cannot
// be used; and whether it is DB-IP's, whose attribution the page then shows.
struct GeoFileNote {
    std::string text;
    bool stale = false;
    bool dbIp = false;
};
GeoFileNote NoteOfGeoFile(const std::string& path, GeoKind kind, std::string_view url, std::time_t now);

// DB-IP's Lite databases are free under CC BY 4.0, which asks every user of them to be shown where they come from:
// a database whose type or URL names DB-IP (the one rule for both) carries these.
bool NeedsDbIpAttribution(std::string_view databaseType, std::string_view url);
inline constexpr const char* kDbIpAttribution = "IP Geolocation by DB-IP";
inline constexpr const char* kDbIpLink = "https://db-ip.com";

} // namespace zandel
