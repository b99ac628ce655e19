#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/geo/GeoDatabase.h"

namespace zandel {

// Places as two numbers a row: a country among the few a list holds, and an AS number, each name kept once. A list of
// a million rows then pays six bytes a row for where its proxies leave.
class PlaceCodes final {
public:
    // The code of the place's country (0: none, or past the 65 535 a code holds); the AS name is kept by its number.
    std::uint16_t Learn(const GeoPlace& place);
    // The place of a row's codes, without its data-centre mark; false when it has neither a country nor an AS.
    bool PlaceOf(std::uint16_t country, std::uint32_t asn, GeoPlace& place) const;
    // The names learnt for the place's country code and AS number, where any were.
    void NameOf(GeoPlace& place) const;
    void Clear();

private:
    std::vector<std::pair<std::string, std::string>> m_countries; // code and name
    std::unordered_map<std::uint32_t, std::string> m_asNames;
};

} // namespace zandel
