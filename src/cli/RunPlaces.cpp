#include "cli/RunPlaces.h"

#include <algorithm>

#include "cli/RunOutput.h"

namespace zandel::cli {

namespace {

void OpenDatabase(const std::optional<std::string>& path, const char* option, GeoKind kind, GeoDatabase& database) {
    std::string error;
    if (path && !database.Open(*path, kind, error)) {
        Tell(std::string(option) + ": " + error + "; the checks go on without its columns");
    }
}

} // namespace

RunPlaces::RunPlaces(const Options& options)
    : m_hosting(options.datacenters ? *options.datacenters : HostingNetworks::Default()), m_wanted(options.countries) {
    OpenDatabase(options.geoCountry, "--geo-country", GeoKind::Country, m_country);
    OpenDatabase(options.geoAsn, "--geo-asn", GeoKind::Asn, m_asn);
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
