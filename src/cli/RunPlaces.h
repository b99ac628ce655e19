#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Options.h"
#include "core/geo/GeoDatabase.h"
#include "core/geo/HostingNetworks.h"
#include "core/geo/PlaceCodes.h"
#include "core/list/CheckExport.h"

namespace zandel {
struct AppSettings;
}

namespace zandel::cli {

// Where each checked proxy leaves to the Internet, from the offline databases the options name. A row's place is
// kept as two numbers (a country among the run's few, an AS number), so that a list of a million rows stays small.
class RunPlaces final {
public:
    // Opens the databases the options name, else those of PrxSet.ini's [Geo]; one that cannot be used is told on one
    // line, and its columns are left out.
    RunPlaces(const Options& options, const AppSettings& settings);

    // Whether any database is open: the exports then carry their columns.
    bool Any() const { return m_country.IsOpen() || m_asn.IsOpen(); }
    // What the databases know of an exit address.
    GeoPlace LookUp(std::string_view exitAddress) const;
    // The place of the row's exit address (the run thread's, while the run lasts). A failed check (`good` false)
    // knows only the proxy's own address, and leaves a place a good check of the same run found, as a second look
    // that failed does.
    void Take(int row, const GeoPlace& place, bool good);
    bool PlaceOf(int row, GeoPlace& place) const;
    // Whether --country writes the row (every row without it).
    bool Keeps(int row) const;
    bool Filters() const { return !m_wanted.empty(); }
    ExportPlaces Columns() const;

private:
    GeoDatabase m_country;
    GeoDatabase m_asn;
    HostingNetworks m_hosting;
    std::vector<std::string> m_wanted;
    std::vector<std::uint16_t> m_rowCountry; // 0: none
    std::vector<std::uint32_t> m_rowAsn;     // 0: none
    PlaceCodes m_codes;
};

} // namespace zandel::cli
