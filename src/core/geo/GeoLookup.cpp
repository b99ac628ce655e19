#include "core/geo/GeoLookup.h"

#include <cstring>

#include "core/util/FileIo.h"

namespace zandel {

void GeoLookup::Open(const GeoFiles& files, std::vector<std::string>& problems) {
    const auto open = [&problems](const std::string& path, GeoKind kind, GeoDatabase& database) {
        std::string error;
        if (!path.empty() && !database.Open(path, kind, error)) {
            problems.push_back(error);
        }
    };
    open(files.country, GeoKind::Country, m_country);
    open(files.asn, GeoKind::Asn, m_asn);
    m_hosting = HostingNetworks::Default();
    if (files.hosting.empty()) {
        return;
    }
    std::string text;
    std::string why;
    HostingNetworks own;
    if (const FileResult read = ReadWholeFile(files.hosting, text); !read) {
        problems.push_back(files.hosting + ": " + std::strerror(read.error));
    } else if (!own.Read(text, why)) {
        problems.push_back(files.hosting + ": " + why);
    } else {
        m_hosting = std::move(own);
    }
}

bool GeoLookup::LookUp(std::string_view address, GeoPlace& place) const {
    const bool country = m_country.LookUp(address, place);
    const bool asn = m_asn.LookUp(address, place);
    place.datacenter = asn && m_hosting.Contains(place.asn);
    return country || asn;
}

} // namespace zandel
