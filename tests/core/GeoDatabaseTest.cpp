// The offline country and network databases, built at test time by Debian's MaxMind::DB::Writer
// (support/make-test-mmdb.pl), and the list of hosting networks.
#include "core/geo/GeoDatabase.h"

#include <string>

#include <gtest/gtest.h>

#include "core/geo/HostingNetworks.h"
#include "support/TempDir.h"
#include "support/TestMmdb.h"

namespace zandel {
namespace {

class GeoDatabaseTest : public ::testing::Test {
protected:
    std::string Make(const std::string& name, const std::string& type, const std::string& kind) {
        std::string error;
        const std::string path = test::MakeTestMmdb(m_dir.Path(), name, type, kind, error);
        EXPECT_NE(path, "") << error;
        return path;
    }
    test::TempDir m_dir;
};

struct LookupRow {
    const char* address;
    const char* country; // "" when the country database knows nothing of it
    const char* countryName;
    std::uint32_t asn; // 0 when the ASN database knows nothing of it
    const char* asName;
};

TEST_F(GeoDatabaseTest, LooksUpEveryWrittenFormOfAnAddressAndNoName) {
    GeoDatabase countries;
    GeoDatabase networks;
    std::string error;
    ASSERT_TRUE(countries.Open(Make("c.mmdb", "GeoLite2-Country", "country"), GeoKind::Country, error)) << error;
    ASSERT_TRUE(networks.Open(Make("a.mmdb", "DBIP-ASN-Lite (compat=GeoLite2-ASN)", "asn"), GeoKind::Asn, error))
        << error;
    const LookupRow rows[] = {
        {"127.0.0.1", "JP", "Japan", 16509, "Amazon.com, Inc."},
        {"2001:db8::5", "DE", "Germany", 64501, "Example Six"},
        {"[2001:db8::5]", "DE", "Germany", 64501, "Example Six"},
        {"::ffff:127.0.0.1", "JP", "Japan", 16509, "Amazon.com, Inc."}, // mapped: the IPv4 part of the tree
        {"::1", "NL", "Netherlands", 0, ""},
        {"203.0.113.9", "US", "United States", 0, ""}, // a network known only by its registered country
        {"198.51.100.7", "", "", 64500, "Example Net"},
        {"192.0.2.1", "", "", 0, ""},   // covered by neither
        {"2001:db9::1", "", "", 0, ""}, // nor
        {"localhost", "", "", 0, ""},   // a name is never looked up
        {"127.0.0.1:80", "", "", 0, ""},
        {"[127.0.0.1", "", "", 0, ""},
        {"", "", "", 0, ""},
    };
    for (const LookupRow& row : rows) {
        GeoPlace place;
        EXPECT_EQ(countries.LookUp(row.address, place), *row.country != '\0') << row.address;
        EXPECT_EQ(networks.LookUp(row.address, place), row.asn != 0) << row.address;
        EXPECT_EQ(place.country + "|" + place.countryName + "|" + std::to_string(place.asn) + "|" + place.asName,
                  std::string(row.country) + "|" + row.countryName + "|" + std::to_string(row.asn) + "|" + row.asName)
            << row.address;
    }
}

struct RefusalRow {
    const char* name;
    GeoKind asked;
    const char* said; // what the message says after the file's name
};

TEST_F(GeoDatabaseTest, AFileThatIsNotAWholeDatabaseOfItsKindIsRefusedWithOneLine) {
    const std::string country = Make("country.mmdb", "GeoLite2-Country", "country");
    Make("asn.mmdb", "GeoLite2-ASN", "asn");
    Make("city.mmdb", "GeoLite2-City", "city");
    Make("dbip-city.mmdb", "DBIP-City-Lite", "city");
    Make("untyped.mmdb", "", "country");
    const std::string whole = test::TempDir::ReadFile(country);
    m_dir.Write("cut.mmdb", whole.substr(0, whole.size() / 2));
    m_dir.Write("list.mmdb", "127.0.0.1:8080\n");
    m_dir.Write("empty.mmdb", "");
    // The search tree comes first: its records pointing past the file's end.
    m_dir.Write("tree.mmdb", std::string(12, '\xff') + whole.substr(12));
    const RefusalRow rows[] = {
        {"asn.mmdb", GeoKind::Country, ": a country database is needed, this is a GeoLite2-ASN database"},
        {"city.mmdb", GeoKind::Country, ": a country database is needed, this is a GeoLite2-City database"},
        {"dbip-city.mmdb", GeoKind::Country, ": a country database is needed, this is a DBIP-City-Lite database"},
        {"country.mmdb", GeoKind::Asn, ": an ASN database is needed, this is a GeoLite2-Country database"},
        {"city.mmdb", GeoKind::Asn, ": an ASN database is needed, this is a GeoLite2-City database"},
        {"untyped.mmdb", GeoKind::Country, ": a country database is needed, this is a database of no type"},
        {"cut.mmdb", GeoKind::Country, ": not a whole MaxMind-format database ("},
        {"list.mmdb", GeoKind::Asn, ": not a whole MaxMind-format database ("},
        {"empty.mmdb", GeoKind::Country, ": not a whole MaxMind-format database ("},
        {"missing.mmdb", GeoKind::Country, ": not a whole MaxMind-format database ("},
        {"tree.mmdb", GeoKind::Country, ": the database is damaged (its search tree leads outside the file)"},
    };
    for (const RefusalRow& row : rows) {
        GeoDatabase database;
        std::string error;
        EXPECT_FALSE(database.Open(m_dir.File(row.name), row.asked, error)) << row.name;
        EXPECT_FALSE(database.IsOpen()) << row.name;
        EXPECT_EQ(error.rfind(m_dir.File(row.name) + row.said, 0), 0U) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        GeoPlace place;
        EXPECT_FALSE(database.LookUp("127.0.0.1", place)) << row.name;
    }
    // A database refused leaves the one opened before it for good.
    GeoDatabase database;
    std::string error;
    ASSERT_TRUE(database.Open(country, GeoKind::Country, error)) << error;
    EXPECT_FALSE(database.Open(m_dir.File("cut.mmdb"), GeoKind::Country, error));
    GeoPlace place;
    EXPECT_FALSE(database.LookUp("127.0.0.1", place));
}

TEST(HostingNetworksTest, ReadsOneAsnALineAndRefusesAnyOtherLine) {
    struct Row {
        const char* text;
        const char* error; // "" when the list is taken
    };
    const Row rows[] = {
        {"AS16509 Amazon\r\nas14061\r\n# comment\r\n\r\n  15169\tGoogle\n", ""},
        {"AS16509\nAmazon\n", "line 2 is no AS number: Amazon"},
        {"AS\n", "line 1 is no AS number: AS"},
        {"AS12x\n", "line 1 is no AS number: AS12x"},
        {"99999999999\n", "line 1 is no AS number: 99999999999"},
        {"4294967296\n", "line 1 is no AS number: 4294967296"},
        {"0\n", "line 1 is no AS number: 0"},
    };
    for (const Row& row : rows) {
        HostingNetworks networks;
        std::string error;
        EXPECT_EQ(networks.Read(row.text, error), *row.error == '\0') << row.text;
        EXPECT_EQ(error, row.error) << row.text;
    }
    HostingNetworks networks;
    std::string error;
    ASSERT_TRUE(networks.Read("AS16509 Amazon\r\nas14061\r\n  15169\tGoogle\nAS4294967295\n", error));
    EXPECT_TRUE(networks.Contains(14061));
    EXPECT_TRUE(networks.Contains(15169));
    EXPECT_TRUE(networks.Contains(4294967295U));
    EXPECT_FALSE(networks.Contains(16508));
    // The program's own list, built in from res/datacenter-asns.txt.
    const HostingNetworks ours = HostingNetworks::Default();
    EXPECT_GT(ours.size(), 20U);
    EXPECT_TRUE(ours.Contains(16509));
    EXPECT_FALSE(ours.Contains(64500));
}

} // namespace
} // namespace zandel
