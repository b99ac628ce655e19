#include "core/geo/PlaceCodes.h"

#include <algorithm>
#include <limits>

namespace zandel {

std::uint16_t PlaceCodes::Learn(const GeoPlace& place) {
    if (place.asn != 0) {
        m_asNames.try_emplace(place.asn, place.asName);
    }
    if (place.country.empty()) {
        return 0;
    }
    const auto found = std::find_if(m_countries.begin(), m_countries.end(),
                                    [&place](const auto& known) { return known.first == place.country; });
    if (found != m_countries.end()) {
        return static_cast<std::uint16_t>(found - m_countries.begin() + 1);
    }
    if (m_countries.size() >= std::numeric_limits<std::uint16_t>::max()) {
        return 0;
    }
    m_countries.emplace_back(place.country, place.countryName);
    return static_cast<std::uint16_t>(m_countries.size());
}

bool PlaceCodes::PlaceOf(std::uint16_t country, std::uint32_t asn, GeoPlace& place) const {
    if (country != 0 && country <= m_countries.size()) {
        place.country = m_countries[country - 1U].first;
        place.countryName = m_countries[country - 1U].second;
    }
    if (const auto name = m_asNames.find(asn); asn != 0 && name != m_asNames.end()) {
        place.asn = asn;
        place.asName = name->second;
    }
    return !place.country.empty() || place.asn != 0;
}

void PlaceCodes::NameOf(GeoPlace& place) const {
    const auto found = std::find_if(m_countries.begin(), m_countries.end(),
                                    [&place](const auto& known) { return known.first == place.country; });
    if (!place.country.empty() && found != m_countries.end()) {
        place.countryName = found->second;
    }
    if (const auto name = m_asNames.find(place.asn); place.asn != 0 && name != m_asNames.end()) {
        place.asName = name->second;
    }
}

void PlaceCodes::Clear() {
    m_countries.clear();
    m_asNames.clear();
}

} // namespace zandel
