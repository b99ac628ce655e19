#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zandel {

// Which of the two offline databases a file must be: where an address lies, or which network announces it.
enum class GeoKind { Country, Asn };

// What a database knows of one address; a field it does not know stays empty (an ASN of 0 is none).
struct GeoPlace {
    std::string country;     // ISO 3166 code, "JP"
    std::string countryName; // in English, "Japan"
    std::uint32_t asn = 0;
    std::string asName;
    bool datacenter = false; // the network is a cloud's or a hosting company's (HostingNetworks)
};

// A MaxMind-format database (".mmdb": MaxMind's GeoLite2, DB-IP's Lite files) read through libmaxminddb, which
// is loaded on first use as the other optional libraries are. Lookups read the mapped file and keep what each data
// record said (behind a lock), so any thread may make them at once.
class GeoDatabase final {
public:
    GeoDatabase();
    ~GeoDatabase();
    GeoDatabase(const GeoDatabase&) = delete;
    GeoDatabase& operator=(const GeoDatabase&) = delete;

    // Opens `path` as a database of `kind`: false, with `error` saying why on one line, for a file that is not a
    // whole database of that kind (another kind, cut short, its search tree broken, or the library missing).
    bool Open(const std::string& path, GeoKind kind, std::string& error);
    bool IsOpen() const { return m_db != nullptr; }
    // The metadata of the open database: when it was built (seconds since 1970, 0 when closed) and its type
    // ("DBIP-Country-Lite").
    std::uint64_t BuildEpoch() const;
    std::string Type() const;
    // Adds what the database knows of a written-out address (IPv4, IPv6 bare, in brackets or IPv4-mapped) to
    // `place`; false when it knows nothing of it or the text is no address (never looked up by name).
    bool LookUp(std::string_view address, GeoPlace& place) const;

private:
    struct Handle;
    std::unique_ptr<Handle> m_db;
    GeoKind m_kind = GeoKind::Country;
};

} // namespace zandel
