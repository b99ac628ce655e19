#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "core/fetch/ListFetcher.h"
#include "core/geo/GeoDatabase.h"
#include "core/geo/GeoLookup.h"

namespace zandel {

struct AppSettings;

// A database fetched from a URL without a file named for it lies in the settings folder under these names.
inline constexpr const char* kGeoCountryFileName = "geo-country.mmdb";
inline constexpr const char* kGeoAsnFileName = "geo-asn.mmdb";

// A database file may be larger than a list, and slower to come.
inline constexpr std::size_t kGeoFetchMaxBytes = 256 * kMiB;
inline constexpr long kGeoFetchDeadlineSeconds = 600;

struct GeoDownloadResult {
    bool ok = false;
    std::string message; // why not, for the user: the file, the URL and the cause
};

// Fetches `url` (as a list is fetched: `options` says through which proxy, and the certificate is checked) into a
// temporary file beside `target`, and puts it in `target`'s place only once it opens as a whole database of `kind`:
// an error page, an archive or a download cut short leaves the old file as it was. Blocks the calling thread.
GeoDownloadResult DownloadGeoDatabase(const std::string& url, const std::string& target, GeoKind kind,
                                      FetchOptions options);

// The files the databases are read from: each as named, else, for one fetched from a URL, its file in the settings
// folder (none in another user's).
GeoFiles GeoFilesOf(const AppSettings& settings);
// What an update fetches: each database that has both a URL and a file.
struct GeoUpdateJob {
    std::string url;
    std::string target;
    GeoKind kind = GeoKind::Country;
};
std::vector<GeoUpdateJob> GeoUpdateJobsOf(const AppSettings& settings);
// A whole update came: the next is due RefreshDays from now.
void RecordGeoDownload(AppSettings& settings, std::time_t now);
// Whether the databases fetched from URLs are due again ([Geo] RefreshDays after [Geo] LastDownload).
bool GeoUpdateDue(const AppSettings& settings, std::time_t now);

} // namespace zandel
