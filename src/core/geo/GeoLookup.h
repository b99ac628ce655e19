#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/geo/GeoDatabase.h"
#include "core/geo/HostingNetworks.h"

namespace zandel {

// The files of the offline databases as the settings name them ([Geo] CountryFile, AsnFile, DatacenterFile): an
// empty name is none of that kind, an empty hosting file the program's own list.
struct GeoFiles {
    std::string country;
    std::string asn;
    std::string hosting;
    bool operator==(const GeoFiles&) const = default;
};

// The window's databases of where a proxy leaves: what LookUp tells, the data-centre mark included. Lookups only
// read, so a run's threads may make them while nobody opens the files again.
class GeoLookup final {
public:
    // Opens the files named; each that cannot be used adds one line to `problems` and is left out, the others are
    // used.
    void Open(const GeoFiles& files, std::vector<std::string>& problems);
    bool HasCountry() const { return m_country.IsOpen(); }
    bool HasAsn() const { return m_asn.IsOpen(); }
    bool Any() const { return HasCountry() || HasAsn(); }
    // What the databases know of a written-out address; false when neither knows it.
    bool LookUp(std::string_view address, GeoPlace& place) const;

private:
    GeoDatabase m_country;
    GeoDatabase m_asn;
    HostingNetworks m_hosting = HostingNetworks::Default();
};

} // namespace zandel
