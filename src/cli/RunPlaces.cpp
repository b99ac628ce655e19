#include "cli/RunPlaces.h"

#include <algorithm>
#include <cstring>

#include "cli/RunOutput.h"
#include "core/fetch/GeoDownload.h"
#include "core/settings/AppSettings.h"
#include "core/util/FileIo.h"

namespace zandel::cli {

namespace {

void OpenDatabase(const std::string& path, const std::string& namedBy, GeoKind kind, GeoDatabase& database) {
    std::string error;
    if (!path.empty() && !database.Open(path, kind, error)) {
        Tell(namedBy + ": " + error + "; the checks go on without its columns");
    }
}

// The option's file, else the one PrxSet.ini names as the window reads it (a database fetched from a URL lies in the
// settings folder); `namedBy` says which, for the message that it cannot be used.
std::string FileOf(const std::optional<std::string>& option, const char* optionName, const std::string& setting,
                   const char* key, std::string& namedBy) {
    namedBy = option ? optionName : std::string("PrxSet.ini [Geo] ") + key;
    return option ? *option : setting;
}

HostingNetworks HostingOf(const Options& options, const std::string& setting) {
    if (options.datacenters || setting.empty()) {
        return options.datacenters ? *options.datacenters : HostingNetworks::Default();
    }
    std::string text;
    std::string why;
    HostingNetworks own;
    if (const FileResult read = ReadWholeFile(setting, text); !read) {
        why = "cannot read " + setting + ": " + std::strerror(read.error);
    } else if (own.Read(text, why)) {
        return own;
    } else {
        why = setting + ": " + why;
    }
    Tell("PrxSet.ini [Geo] DatacenterFile: " + why + "; the checks go on with the program's own list");
    return HostingNetworks::Default();
}

} // namespace

RunPlaces::RunPlaces(const Options& options, const AppSettings& settings)
    : m_hosting(HostingOf(options, GeoFilesOf(settings).hosting)), m_wanted(options.countries) {
    const GeoFiles files = GeoFilesOf(settings);
    std::string namedBy;
    const std::string country = FileOf(options.geoCountry, "--geo-country", files.country,
                                       settings.GeoCountryFile.empty() ? "CountryUrl" : "CountryFile", namedBy);
    OpenDatabase(country, namedBy, GeoKind::Country, m_country);
    const std::string asn =
        FileOf(options.geoAsn, "--geo-asn", files.asn, settings.GeoAsnFile.empty() ? "AsnUrl" : "AsnFile", namedBy);
    OpenDatabase(asn, namedBy, GeoKind::Asn, m_asn);
}

GeoPlace RunPlaces::LookUp(std::string_view exitAddress) const {
    GeoPlace place;
    m_country.LookUp(exitAddress, place);
    m_asn.LookUp(exitAddress, place);
    return place;
}

void RunPlaces::Take(int row, const GeoPlace& place, bool good) {
    const auto index = static_cast<std::size_t>(row);
    if (row < 0 || !Any() || (!good && index < m_rowAsn.size() && (m_rowAsn[index] != 0 || m_rowCountry[index] != 0))) {
        return;
    }
    if (m_rowAsn.size() <= index) {
        m_rowAsn.resize(index + 1, 0);
        m_rowCountry.resize(index + 1, 0);
    }
    m_rowAsn[index] = place.asn;
    m_rowCountry[index] = m_codes.Learn(place);
}

bool RunPlaces::PlaceOf(int row, GeoPlace& place) const {
    const auto index = static_cast<std::size_t>(row);
    if (row < 0 || index >= m_rowAsn.size()) {
        return false;
    }
    if (!m_codes.PlaceOf(m_rowCountry[index], m_rowAsn[index], place)) {
        return false;
    }
    place.datacenter = place.asn != 0 && m_hosting.Contains(place.asn);
    return true;
}

bool RunPlaces::Keeps(int row) const {
    if (m_wanted.empty()) {
        return true;
    }
    GeoPlace place;
    return PlaceOf(row, place) && std::find(m_wanted.begin(), m_wanted.end(), place.country) != m_wanted.end();
}

ExportPlaces RunPlaces::Columns() const {
    ExportPlaces columns;
    columns.country = m_country.IsOpen();
    columns.asn = m_asn.IsOpen();
    columns.placeOf = [this](int row, GeoPlace& place) { return PlaceOf(row, place); };
    return columns;
}

} // namespace zandel::cli
