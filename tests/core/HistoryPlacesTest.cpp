// Where each check left to the Internet, in the history: files of the versions before the places were kept, read as
// they are and migrated by a writer, and the place a run's recorder hands the history, from real databases
// (support/make-test-mmdb.pl: 127/8 is JP in AS16509).
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include "core/check/PlaceRecorder.h"
#include "core/history/HistoryRecorder.h"
#include "core/history/HistoryStore.h"
#include "support/CheckRecords.h"
#include "support/TempDir.h"
#include "support/TestMmdb.h"

namespace zandel {
namespace {

constexpr std::time_t kNow = 1'800'000'000; // 2027-01-15T08:00:00Z

using test::Check;

std::string Query(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    std::string value = "(failed)";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(stmt, 0);
            value = text == nullptr ? "NULL" : reinterpret_cast<const char*>(text);
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return value;
}

CheckRecord Placed(const std::string& result, std::time_t when, const std::string& exit, const std::string& country,
                   std::uint32_t asn) {
    CheckRecord record = Check("c.example:80", result, result == "NG" ? std::nullopt : std::optional<int>(100), when);
    record.exitAddress = exit;
    record.country = country;
    record.asn = asn;
    return record;
}

// The schema each older version wrote, with one good check of c.example:80.
constexpr const char* kChecksV0 =
    "CREATE TABLE checks (id INTEGER PRIMARY KEY, address TEXT NOT NULL, kind TEXT NOT NULL, result TEXT NOT NULL,"
    " response_ms INTEGER, https TEXT NOT NULL, checked_at TEXT NOT NULL, reason TEXT NOT NULL);"
    "CREATE INDEX checks_by_address ON checks (address, checked_at);"
    "CREATE INDEX checks_by_time ON checks (checked_at);"
    "INSERT INTO checks VALUES (1, 'c.example:80', 'http', 'OK', 100, '---', '2027-01-15T07:00:00Z', '');";
constexpr const char* kServedV1 =
    "CREATE TABLE served (id INTEGER PRIMARY KEY, address TEXT NOT NULL, kind TEXT NOT NULL, target TEXT NOT NULL,"
    " tries INTEGER NOT NULL, result TEXT NOT NULL, served_at TEXT NOT NULL);"
    "CREATE TABLE site_checks (check_id INTEGER NOT NULL, site TEXT NOT NULL, class TEXT NOT NULL);"
    "PRAGMA user_version = 1;";

struct OlderFile {
    const char* name;
    const char* version;
    bool served;
};

class HistoryMigrationTest : public ::testing::TestWithParam<OlderFile> {
protected:
    std::string Path() const { return m_dir.File(kHistoryFileName); }
    test::TempDir m_dir;
};

// A reader leaves an older file as it is and reads it without places; the first writer adds the columns, the older
// checks placed nowhere, and the file then reads its places to a reader too.
TEST_P(HistoryMigrationTest, AReaderLeavesItAndAWriterMigratesIt) {
    sqlite3* old = nullptr;
    ASSERT_EQ(sqlite3_open(Path().c_str(), &old), SQLITE_OK);
    const std::string schema = std::string(kChecksV0) + (GetParam().served ? kServedV1 : "");
    ASSERT_EQ(sqlite3_exec(old, schema.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(old);
    {
        HistoryStore reader;
        ASSERT_TRUE(reader.OpenForReading(Path()));
        const std::vector<CheckRecord> checks = reader.ChecksOf("c.example:80");
        ASSERT_EQ(checks.size(), 1U);
        EXPECT_EQ(checks[0].exitAddress, "");
        ASSERT_TRUE(reader.SummaryOf("c.example:80"));
        EXPECT_FALSE(reader.SummaryOf("c.example:80")->place.Known());
    }
    EXPECT_EQ(Query(Path(), "PRAGMA user_version"), GetParam().version) << "a reader changes nothing";
    EXPECT_EQ(Query(Path(), "SELECT count(*) FROM pragma_table_info('checks')"), "8");
    {
        HistoryStore store;
        ASSERT_TRUE(store.Open(Path(), kHistoryKeepDaysDefault, kNow, nullptr));
        ASSERT_TRUE(store.Add({Placed("NG", kNow - 60, "c.example", "", 0)}));
    }
    // A second writer finds the columns there.
    HistoryStore store;
    ASSERT_TRUE(store.Open(Path(), kHistoryKeepDaysDefault, kNow, nullptr));
    ASSERT_TRUE(store.Add({Placed("OK", kNow - 30, "127.0.0.9", "JP", 16509)}));
    EXPECT_EQ(Query(Path(), "PRAGMA user_version"), "2");
    EXPECT_EQ(Query(Path(), "SELECT count(*) FROM pragma_table_info('checks')"), "11");
    EXPECT_EQ(Query(Path(), "SELECT quote(country) || quote(asn) || quote(exit_address) FROM checks WHERE id = 1"),
              "NULLNULLNULL");
    EXPECT_EQ(Query(Path(), "SELECT quote(country) || quote(asn) || quote(exit_address) FROM checks WHERE id = 2"),
              "NULLNULL'c.example'")
        << "looked up, placed nowhere";
    HistoryStore reader;
    ASSERT_TRUE(reader.OpenForReading(Path()));
    const std::vector<CheckRecord> checks = reader.ChecksOf("c.example:80");
    ASSERT_EQ(checks.size(), 3U);
    EXPECT_EQ(checks[2].exitAddress + " " + checks[2].country + " " + std::to_string(checks[2].asn),
              "127.0.0.9 JP 16509");
    const std::vector<HistorySummary> summaries = reader.Summaries();
    ASSERT_EQ(summaries.size(), 1U);
    EXPECT_EQ(summaries[0].place.country + " " + summaries[0].place.exitAddress, "JP 127.0.0.9");
}

INSTANTIATE_TEST_SUITE_P(Versions, HistoryMigrationTest,
                         ::testing::Values(OlderFile{"Version0", "0", false}, OlderFile{"Version1", "1", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The place a proxy was last seen leaving from: a failed check knows only the proxy's own address, so it never
// hides where a good check saw it leave, whatever their order; among checks of one kind the latest counts.
struct LastPlaceRow {
    const char* name;
    std::vector<CheckRecord> checks;
    const char* expected; // country, AS and exit address of the summary's place
};

class HistoryLastPlaceTest : public ::testing::TestWithParam<LastPlaceRow> {};

TEST_P(HistoryLastPlaceTest, SummaryKeepsTheLatestGoodPlace) {
    test::TempDir dir;
    HistoryStore store;
    ASSERT_TRUE(store.Open(dir.File(kHistoryFileName), kHistoryKeepDaysDefault, kNow, nullptr));
    ASSERT_TRUE(store.Add(GetParam().checks));
    const auto text = [](const HistoryPlace& place) {
        return place.country + " " + std::to_string(place.asn) + " " + place.exitAddress;
    };
    ASSERT_TRUE(store.SummaryOf("c.example:80"));
    EXPECT_EQ(text(store.SummaryOf("c.example:80")->place), GetParam().expected) << "SummaryOf";
    ASSERT_EQ(store.Summaries().size(), 1U);
    EXPECT_EQ(text(store.Summaries()[0].place), GetParam().expected) << "Summaries";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Checks, HistoryLastPlaceTest,
    ::testing::Values(
        LastPlaceRow{"FailedAfterGood", {Placed("OK", kNow - 9, "1.1.1.1", "JP", 1), Placed("NG", kNow, "2.2.2.2", "NL", 2)}, "JP 1 1.1.1.1"},
        LastPlaceRow{"FailedBeforeGood", {Placed("NG", kNow, "2.2.2.2", "NL", 2), Placed("OK", kNow - 9, "1.1.1.1", "JP", 1)}, "JP 1 1.1.1.1"},
        LastPlaceRow{"LaterGood", {Placed("OK", kNow, "3.3.3.3", "DE", 3), Placed("Anonymous(A)", kNow - 9, "1.1.1.1", "JP", 1)}, "DE 3 3.3.3.3"},
        LastPlaceRow{"FailedOnly", {Placed("NG", kNow - 9, "2.2.2.2", "NL", 2), Placed("NG", kNow, "4.4.4.4", "", 4)}, " 4 4.4.4.4"},
        LastPlaceRow{"GoodPlacedNowhere", {Placed("NG", kNow - 9, "2.2.2.2", "NL", 2), Placed("OK", kNow, "5.5.5.5", "", 0)}, "NL 2 2.2.2.2"},
        LastPlaceRow{"NoDatabase", {Check("c.example:80", "OK", 100, kNow)}, " 0 "}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The window's recorder looks each judged check up before the history takes it: the history keeps where the judge
// saw the proxy leave, with the address it was looked up by.
TEST(HistoryPlaceRecorderTest, TheHistoryKeepsThePlaceTheRunFound) {
    test::TempDir dir;
    std::string error;
    GeoFiles files;
    files.country = test::MakeTestMmdb(dir.Path(), "country.mmdb", "GeoLite2-Country", "country", error);
    files.asn = test::MakeTestMmdb(dir.Path(), "asn.mmdb", "GeoLite2-ASN", "asn", error);
    ASSERT_FALSE(files.country.empty() || files.asn.empty()) << error;
    auto lookup = std::make_shared<GeoLookup>();
    std::vector<std::string> problems;
    lookup->Open(files, problems);
    ASSERT_TRUE(problems.empty());

    HistoryStore store;
    ASSERT_TRUE(store.Open(dir.File(kHistoryFileName), kHistoryKeepDaysDefault, kNow, nullptr));
    {
        HistoryRecorder history(store);
        std::vector<std::string> placed;
        PlaceRecorder recorder([&placed](int, const GeoPlace& place, bool) { placed.push_back(place.country); });
        recorder.SetInner(&history);
        recorder.SetLookup(lookup);
        ASSERT_TRUE(recorder.WantsExitAddress());
        CheckRecord check = Check("c.example:80", "OK", 100, kNow);
        check.exitAddress = "127.0.0.9";
        recorder.Recorded(0, check);
        recorder.RunEnded();
        EXPECT_EQ(placed, std::vector<std::string>{"JP"});
    }
    const std::vector<CheckRecord> checks = store.ChecksOf("c.example:80");
    ASSERT_EQ(checks.size(), 1U);
    EXPECT_EQ(checks[0].country + " " + std::to_string(checks[0].asn) + " " + checks[0].exitAddress,
              "JP 16509 127.0.0.9");
}

} // namespace
} // namespace zandel
