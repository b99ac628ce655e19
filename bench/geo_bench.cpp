// What one lookup in the offline databases costs zandel-check per row (--geo-country, --geo-asn): a country and an
// ASN lookup of IPv4, IPv6 and IPv4-mapped addresses. The databases are written for the bench (50 000 networks,
// support/make-test-mmdb.pl), or real ones are named in ZANDEL_GEO_COUNTRY and ZANDEL_GEO_ASN (DB-IP's Lite files).
// A row may spend 5 µs on it.

#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/geo/GeoDatabase.h"
#include "support/TempDir.h"
#include "support/TestMmdb.h"

namespace {

using namespace zandel;

// Spread over the space the bench's networks cover, and beyond it.
std::vector<std::string> Addresses() {
    std::vector<std::string> addresses;
    for (unsigned i = 0; i < 4096; ++i) {
        const unsigned n = i * 2654435761U;
        char text[64];
        switch (i % 3) {
        case 0:
            std::snprintf(text, sizeof text, "%u.%u.%u.%u", 1 + (n >> 24) % 223, (n >> 16) & 255, (n >> 8) & 255,
                          n & 255);
            break;
        case 1:
            std::snprintf(text, sizeof text, "2a%02x:%x::%x", n % 256, (n >> 8) % 65536, n >> 24);
            break;
        default:
            std::snprintf(text, sizeof text, "::ffff:%u.%u.%u.%u", 1 + (n >> 24) % 223, (n >> 16) & 255, (n >> 8) & 255,
                          n & 255);
        }
        addresses.emplace_back(text);
    }
    return addresses;
}

struct Databases {
    Databases() {
        const char* country = std::getenv("ZANDEL_GEO_COUNTRY");
        const char* asn = std::getenv("ZANDEL_GEO_ASN");
        std::string error;
        const std::string countryPath =
            country != nullptr ? country
                               : test::MakeTestMmdb(dir.Path(), "bulk.mmdb", "GeoLite2-Country", "bulk", error);
        if (!countries.Open(countryPath, GeoKind::Country, error)) {
            std::fprintf(stderr, "geo_bench: %s\n", error.c_str());
            std::exit(1);
        }
        if (asn != nullptr && !networks.Open(asn, GeoKind::Asn, error)) {
            std::fprintf(stderr, "geo_bench: %s\n", error.c_str());
            std::exit(1);
        }
    }
    test::TempDir dir;
    GeoDatabase countries;
    GeoDatabase networks;
    std::vector<std::string> addresses = Addresses();
};

Databases& Shared() {
    static Databases databases;
    return databases;
}

void BM_CountryLookup(benchmark::State& state) {
    Databases& db = Shared();
    std::size_t i = 0;
    for (auto _ : state) {
        GeoPlace place;
        benchmark::DoNotOptimize(db.countries.LookUp(db.addresses[i++ % db.addresses.size()], place));
    }
}
BENCHMARK(BM_CountryLookup);

// What a row costs with both databases (the ASN one only where a real one is named).
void BM_RowLookup(benchmark::State& state) {
    Databases& db = Shared();
    std::size_t i = 0;
    for (auto _ : state) {
        GeoPlace place;
        const std::string& address = db.addresses[i++ % db.addresses.size()];
        benchmark::DoNotOptimize(db.countries.LookUp(address, place));
        benchmark::DoNotOptimize(db.networks.LookUp(address, place));
    }
}
BENCHMARK(BM_RowLookup);

} // namespace

BENCHMARK_MAIN();
