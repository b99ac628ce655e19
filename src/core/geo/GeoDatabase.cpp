#include "core/geo/GeoDatabase.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

#include <arpa/inet.h>
#include <maxminddb.h>
#include <netinet/in.h>

#include "core/util/SharedLibrary.h"

namespace zandel {

namespace {

#define ZANDEL_MAXMINDDB_FUNCTIONS(F)                                                                                  \
    F(MMDB_open)                                                                                                       \
    F(MMDB_close)                                                                                                      \
    F(MMDB_lookup_sockaddr)                                                                                            \
    F(MMDB_aget_value)                                                                                                 \
    F(MMDB_read_node)                                                                                                  \
    F(MMDB_strerror)

struct MaxMindApi {
    ZANDEL_MAXMINDDB_FUNCTIONS(ZANDEL_LIBRARY_MEMBER)
    std::string error;
};

// The data records a database keeps the reading of: enough for every network of a list, bounded for a city
// database's millions.
constexpr std::size_t kMostRecordsKept = 65536;

// Loaded when a database is first opened: a run without one needs no part of it.
const MaxMindApi& MaxMind() {
    static const MaxMindApi api =
        LoadLibraryApi<MaxMindApi>("libmaxminddb.so.0", "libmaxminddb", [](SharedLibrary& library, MaxMindApi& api) {
            ZANDEL_MAXMINDDB_FUNCTIONS(ZANDEL_LIBRARY_RESOLVE)
        });
    return api;
}

// By the metadata's name, as MaxMind and DB-IP spell it ("GeoLite2-Country", "DBIP-Country-Lite", "GeoLite2-ASN",
// "DBIP-ASN-Lite"): a city database holds countries too, but under another layout and many times the size.
bool TypeFits(std::string_view type, GeoKind kind) {
    std::string lower(type);
    for (char& c : lower) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (kind == GeoKind::Asn) {
        return lower.find("asn") != std::string::npos;
    }
    return lower.find("country") != std::string::npos && lower.find("city") == std::string::npos;
}

const char* KindName(GeoKind kind) {
    return kind == GeoKind::Country ? "a country database" : "an ASN database";
}

// Every record of the search tree leads to a node, to nothing or into the data section: a file cut or damaged in
// its tree is refused when it is opened, not found out one wrong answer at a time.
bool TreeIsWhole(const MMDB_s& db) {
    for (std::uint32_t node = 0; node < db.metadata.node_count; ++node) {
        MMDB_search_node_s read{};
        if (MaxMind().MMDB_read_node(&db, node, &read) != MMDB_SUCCESS ||
            read.left_record_type == MMDB_RECORD_TYPE_INVALID || read.right_record_type == MMDB_RECORD_TYPE_INVALID) {
            return false;
        }
    }
    return true;
}

std::string Utf8At(MMDB_entry_s& entry, const char* const* path) {
    MMDB_entry_data_s data{};
    if (MaxMind().MMDB_aget_value(&entry, &data, path) != MMDB_SUCCESS || !data.has_data ||
        data.type != MMDB_DATA_TYPE_UTF8_STRING) {
        return {};
    }
    return std::string(data.utf8_string, data.data_size);
}

std::uint32_t NumberAt(MMDB_entry_s& entry, const char* const* path) {
    MMDB_entry_data_s data{};
    if (MaxMind().MMDB_aget_value(&entry, &data, path) != MMDB_SUCCESS || !data.has_data) {
        return 0;
    }
    if (data.type == MMDB_DATA_TYPE_UINT32) {
        return data.uint32;
    }
    return data.type == MMDB_DATA_TYPE_UINT16 ? data.uint16 : 0;
}

// A country, or where none is known (an anycast network), the country the network is registered in.
bool TakeCountry(MMDB_entry_s& entry, GeoPlace& place) {
    for (const char* where : {"country", "registered_country"}) {
        const char* const code[] = {where, "iso_code", nullptr};
        if (std::string iso = Utf8At(entry, code); !iso.empty()) {
            const char* const name[] = {where, "names", "en", nullptr};
            place.country = std::move(iso);
            place.countryName = Utf8At(entry, name);
            return true;
        }
    }
    return false;
}

bool TakeAsn(MMDB_entry_s& entry, GeoPlace& place) {
    const char* const number[] = {"autonomous_system_number", nullptr};
    const char* const name[] = {"autonomous_system_organization", nullptr};
    place.asn = NumberAt(entry, number);
    if (place.asn == 0) {
        return false;
    }
    place.asName = Utf8At(entry, name);
    return true;
}

} // namespace

struct GeoDatabase::Handle {
    MMDB_s db{};
    bool open = false; // MMDB_open leaves nothing to close when it fails
    // What each data record said, by its offset: a few hundred countries or some thousands of networks stand behind
    // millions of addresses, and reading a record's maps costs more than finding the record.
    std::mutex mutex;
    std::unordered_map<std::uint32_t, GeoPlace> read;
    ~Handle() {
        if (open) {
            MaxMind().MMDB_close(&db);
        }
    }
};

GeoDatabase::GeoDatabase() = default;
GeoDatabase::~GeoDatabase() = default;

bool GeoDatabase::Open(const std::string& path, GeoKind kind, std::string& error) {
    m_db.reset();
    m_kind = kind;
    if (!MaxMind().error.empty()) {
        error = MaxMind().error;
        return false;
    }
    auto handle = std::make_unique<Handle>();
    if (const int status = MaxMind().MMDB_open(path.c_str(), MMDB_MODE_MMAP, &handle->db); status != MMDB_SUCCESS) {
        error = path + ": not a whole MaxMind-format database (" + MaxMind().MMDB_strerror(status) + ")";
        return false;
    }
    handle->open = true;
    const char* type = handle->db.metadata.database_type != nullptr ? handle->db.metadata.database_type : "";
    if (!TypeFits(type, kind)) {
        error = path + ": " + KindName(kind) + " is needed, this is " +
                (*type != '\0' ? std::string("a ") + type + " database" : std::string("a database of no type"));
        return false;
    }
    if (!TreeIsWhole(handle->db)) {
        error = path + ": the database is damaged (its search tree leads outside the file)";
        return false;
    }
    m_db = std::move(handle);
    return true;
}

std::uint64_t GeoDatabase::BuildEpoch() const {
    return m_db != nullptr ? m_db->db.metadata.build_epoch : 0;
}

std::string GeoDatabase::Type() const {
    return m_db != nullptr && m_db->db.metadata.database_type != nullptr ? m_db->db.metadata.database_type : "";
}

bool GeoDatabase::LookUp(std::string_view address, GeoPlace& place) const {
    if (m_db == nullptr) {
        return false;
    }
    if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
        address = address.substr(1, address.size() - 2);
    }
    char text[INET6_ADDRSTRLEN + 1];
    if (address.empty() || address.size() >= sizeof text) {
        return false;
    }
    std::memcpy(text, address.data(), address.size());
    text[address.size()] = '\0';
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr* asked = nullptr;
    v4.sin_family = AF_INET;
    v6.sin6_family = AF_INET6;
    if (::inet_pton(AF_INET, text, &v4.sin_addr) == 1) {
        asked = reinterpret_cast<const sockaddr*>(&v4);
    } else if (::inet_pton(AF_INET6, text, &v6.sin6_addr) == 1) {
        // An IPv4-mapped address is the IPv4 address: a database keeps it in the IPv4 part of its tree.
        if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
            std::memcpy(&v4.sin_addr, v6.sin6_addr.s6_addr + 12, 4);
            asked = reinterpret_cast<const sockaddr*>(&v4);
        } else {
            asked = reinterpret_cast<const sockaddr*>(&v6);
        }
    } else {
        return false;
    }
    int status = MMDB_SUCCESS;
    MMDB_lookup_result_s found = MaxMind().MMDB_lookup_sockaddr(&m_db->db, asked, &status);
    if (status != MMDB_SUCCESS || !found.found_entry) {
        return false;
    }
    GeoPlace record;
    bool known = false;
    {
        std::lock_guard lock(m_db->mutex);
        if (const auto at = m_db->read.find(found.entry.offset); at != m_db->read.end()) {
            record = at->second;
            known = true;
        }
    }
    if (!known) {
        (m_kind == GeoKind::Country ? TakeCountry : TakeAsn)(found.entry, record);
        std::lock_guard lock(m_db->mutex);
        if (m_db->read.size() < kMostRecordsKept) {
            m_db->read.emplace(found.entry.offset, record);
        }
    }
    if (m_kind == GeoKind::Country) {
        if (record.country.empty()) {
            return false;
        }
        place.country = std::move(record.country);
        place.countryName = std::move(record.countryName);
        return true;
    }
    if (record.asn == 0) {
        return false;
    }
    place.asn = record.asn;
    place.asName = std::move(record.asName);
    return true;
}

} // namespace zandel
