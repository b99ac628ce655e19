// The history against real SQLite files: what a run leaves, what two programs at once leave, what a killed
// program leaves, and the files that cannot be used.
#include "core/history/HistoryStore.h"

#include <csignal>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include "core/history/HistoryColumns.h"
#include "core/history/HistoryRecorder.h"
#include "support/CheckRecords.h"
#include "support/FileSizeLimit.h"
#include "support/OrdinaryUser.h"
#include "support/TempDir.h"

namespace zandel {
namespace {

constexpr std::time_t kNow = 1'800'000'000; // 2027-01-15T08:00:00Z
constexpr std::time_t kDay = 24 * 60 * 60;

using test::Check;

std::vector<CheckRecord> Batch(const std::string& address, int rows) {
    std::vector<CheckRecord> batch;
    for (int i = 0; i < rows; ++i) {
        batch.push_back(Check(address, "OK", i, kNow));
    }
    return batch;
}

// Opens the file as a plain SQLite reader would and answers one value as text.
std::string Query(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    std::string value = "(failed)";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
            value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return value;
}

class HistoryStoreTest : public ::testing::Test {
protected:
    std::string Path() const { return m_dir.File(kHistoryFileName); }
    // Opens the file, counting what the store tells.
    bool OpenStore(HistoryStore& store, std::time_t now = kNow, int keepDays = kHistoryKeepDaysDefault) {
        return store.Open(Path(), keepDays, now, [this](const std::string& cause) {
            ++m_told;
            m_cause = cause;
        });
    }

    test::TempDir m_dir;
    int m_told = 0;
    std::string m_cause;
};

TEST_F(HistoryStoreTest, KeepsChecksPrunesOldOnesAndSummarises) {
    {
        HistoryStore store;
        ASSERT_TRUE(OpenStore(store, kNow - 40 * kDay));
        const std::string cp932Reason = "\x8c\x8b\x89\xca: \"quoted\", \r\n"; // bytes of no UTF-8 text
        ASSERT_TRUE(store.Add({Check("old.example:80", "OK", 100, kNow - 40 * kDay)}));
        ASSERT_TRUE(store.Add({Check("a.example:8080", "OK", 300, kNow - 2 * kDay),
                               Check("a.example:8080", "NG", std::nullopt, kNow - kDay, cp932Reason),
                               Check("a.example:8080", "Anonymous(A)", 100, kNow - 3 * kDay),
                               Check("a.example:8080", "Non-Anonymous", 200, kNow - 29 * kDay),
                               Check("b.example:3128", "NG", std::nullopt, kNow)}));
        const std::vector<CheckRecord> checks = store.ChecksOf("a.example:8080");
        ASSERT_EQ(checks.size(), 4U);
        EXPECT_EQ(checks[0].result, "Non-Anonymous"); // oldest first
        EXPECT_EQ(checks[3].reason, cp932Reason);
        EXPECT_FALSE(checks[3].responseMs);
        EXPECT_EQ(checks[1].responseMs, 100);
    }
    // Pruned at the next start: the check older than the kept days is gone, one just inside stays.
    HistoryStore store;
    ASSERT_TRUE(OpenStore(store));
    EXPECT_EQ(store.Count(), 5);
    const std::vector<HistorySummary> summaries = store.Summaries();
    ASSERT_EQ(summaries.size(), 2U);
    EXPECT_EQ(summaries[0].address, "a.example:8080");
    EXPECT_EQ(summaries[0].checks, 4);
    EXPECT_EQ(summaries[0].good, 3);
    EXPECT_DOUBLE_EQ(summaries[0].uptime, 0.75);
    EXPECT_EQ(summaries[0].medianMs, 200);
    EXPECT_EQ(summaries[1].good, 0);
    EXPECT_FALSE(summaries[1].medianMs); // no good check, no time
    EXPECT_EQ(Query(Path(), "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(m_told, 0);
}

// A history an older version wrote (no table of sites) opens, keeps its checks and takes the sites' classes; the
// sites' checks are pruned with their checks, so that a check that takes an old one's id never inherits them.
TEST_F(HistoryStoreTest, AnOlderHistoryTakesTheSitesAndPrunesThemWithTheirChecks) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(Path().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE checks (id INTEGER PRIMARY KEY, address TEXT NOT NULL, kind TEXT NOT NULL,"
                           " result TEXT NOT NULL, response_ms INTEGER, https TEXT NOT NULL, checked_at TEXT NOT NULL,"
                           " reason TEXT NOT NULL);"
                           "INSERT INTO checks VALUES (1, 'a.example:8080', 'http', 'OK', 100, '---',"
                           " '2027-01-10T08:00:00Z', '');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    HistoryStore reader;
    ASSERT_TRUE(reader.OpenForReading(Path()));
    EXPECT_TRUE(reader.SiteUptimes().empty()); // no table yet, and nothing made up
    const auto withSites = [](const std::string& address, std::time_t when, SiteClass first, SiteClass second) {
        CheckRecord check = Check(address, "OK", 100, when);
        check.sites = {{"https://shop.example/", first}, {"http://news.example/", second}};
        return check;
    };
    {
        HistoryStore store;
        ASSERT_TRUE(OpenStore(store));
        EXPECT_EQ(store.Count(), 1);
        ASSERT_TRUE(store.Add({withSites("a.example:8080", kNow - 20 * kDay, SiteClass::Reached, SiteClass::Captcha),
                               withSites("a.example:8080", kNow, SiteClass::Reached, SiteClass::Reached),
                               withSites("b.example:3128", kNow, SiteClass::Blocked, SiteClass::Reached),
                               Check("b.example:3128", "NG", std::nullopt, kNow)}));
        const std::vector<SiteUptime> all = store.SiteUptimes();
        ASSERT_EQ(all.size(), 2U);
        EXPECT_EQ(all[0].site, "https://shop.example/");
        EXPECT_EQ(all[0].checks, 3);
        EXPECT_EQ(all[0].reached, 2);
        EXPECT_EQ(all[1].reached, 2);
        const std::vector<SiteUptime> one = store.SiteUptimes("a.example:8080");
        ASSERT_EQ(one.size(), 2U);
        EXPECT_DOUBLE_EQ(one[0].uptime, 1.0);
        EXPECT_DOUBLE_EQ(one[1].uptime, 0.5);
    }
    HistoryStore store;
    ASSERT_TRUE(OpenStore(store, kNow, 10));
    EXPECT_EQ(Query(Path(), "SELECT count(*) FROM site_checks"), "4");
    const std::vector<SiteUptime> kept = store.SiteUptimes("a.example:8080");
    ASSERT_EQ(kept.size(), 2U);
    EXPECT_EQ(kept[1].checks, 1);
    EXPECT_EQ(kept[1].reached, 1);
    EXPECT_EQ(m_told, 0);
}

ServedRecord Served(const std::string& address, const char* result, int tries, std::time_t when) {
    return {address, "http", "site.example", tries, result, IsoUtc(when)};
}

// A history of the versions before the serve's connections were kept: read as it is by a reader, which adds
// nothing, then given the served table by the first writer; the uptime then counts the connections an upstream
// carried and failed beside its checks, and an upstream the serve alone has used gets a summary of its own.
TEST_F(HistoryStoreTest, ReadsAndMigratesAHistoryOfVersion0) {
    sqlite3* old = nullptr;
    ASSERT_EQ(sqlite3_open(Path().c_str(), &old), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(old,
                           "CREATE TABLE checks (id INTEGER PRIMARY KEY, address TEXT NOT NULL, kind TEXT NOT NULL,"
                           " result TEXT NOT NULL, response_ms INTEGER, https TEXT NOT NULL, checked_at TEXT NOT NULL,"
                           " reason TEXT NOT NULL);"
                           "CREATE INDEX checks_by_address ON checks (address, checked_at);"
                           "CREATE INDEX checks_by_time ON checks (checked_at);"
                           "INSERT INTO checks VALUES (1, 'c.example:80', 'http', 'OK', 100, '---', "
                           "'2027-01-15T07:00:00Z', ''), (2, 'c.example:80', 'http', 'NG', NULL, '---', "
                           "'2027-01-15T07:30:00Z', '');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(old);
    {
        HistoryStore reader;
        ASSERT_TRUE(reader.OpenForReading(Path()));
        const std::optional<HistorySummary> summary = reader.SummaryOf("c.example:80");
        ASSERT_TRUE(summary);
        EXPECT_DOUBLE_EQ(summary->uptime, 0.5);
        EXPECT_EQ(reader.Summaries().size(), 1U);
        EXPECT_TRUE(reader.ServedOf("c.example:80").empty());
    }
    EXPECT_EQ(Query(Path(), "PRAGMA user_version"), "0") << "a reader changes nothing";
    HistoryStore store;
    ASSERT_TRUE(OpenStore(store));
    EXPECT_EQ(Query(Path(), "PRAGMA user_version"), "2") << "the version of this program";
    ASSERT_TRUE(
        store.Add({}, {Served("c.example:80", kServedCarried, 1, kNow), Served("c.example:80", kServedCarried, 2, kNow),
                       Served("c.example:80", kServedFailed, 1, kNow), Served("c.example:80", kServedTarget, 1, kNow),
                       Served("a.example:80", kServedFailed, 1, kNow)}));
    const std::optional<HistorySummary> summary = store.SummaryOf("c.example:80");
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->checks, 2);
    EXPECT_EQ(summary->served, 3) << "a site that was not reached is not counted";
    EXPECT_DOUBLE_EQ(summary->uptime, 0.6);
    EXPECT_EQ(UptimePercent(*summary), 60);
    const std::vector<HistorySummary> summaries = store.Summaries();
    ASSERT_EQ(summaries.size(), 2U);
    EXPECT_EQ(summaries[0].address, "a.example:80") << "in address order";
    EXPECT_DOUBLE_EQ(summaries[0].uptime, 0.0);
    EXPECT_DOUBLE_EQ(summaries[1].uptime, 0.6);
    EXPECT_EQ(store.ServedOf("c.example:80").size(), 4U);
    // Pruned with the checks.
    HistoryStore later;
    ASSERT_TRUE(OpenStore(later, kNow + 40 * kDay));
    EXPECT_EQ(Query(Path(), "SELECT count(*) FROM served"), "0");
}

TEST(HistoryMedianTest, MiddleOfOddAndEvenCounts) {
    EXPECT_FALSE(MedianMs({}));
    EXPECT_EQ(MedianMs({7}), 7);
    EXPECT_EQ(MedianMs({900, 100, 500}), 500);
    EXPECT_EQ(MedianMs({400, 100, 300, 200}), 250);
    EXPECT_EQ(MedianMs({2'000'000'000, 2'000'000'000}), 2'000'000'000); // no overflow on the sum
}

TEST_F(HistoryStoreTest, TwoWriterProcessesAtOnceLoseNothing) {
    HistoryStore first;
    ASSERT_TRUE(OpenStore(first)); // the file and its table exist before the writers race
    constexpr int kBatches = 40;
    constexpr int kRows = 50;
    std::vector<pid_t> writers;
    for (const char* address : {"one.example:80", "two.example:80"}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            HistoryStore store;
            bool ok = store.Open(Path(), kHistoryKeepDaysDefault, kNow, nullptr);
            for (int i = 0; ok && i < kBatches; ++i) {
                ok = store.Add(Batch(address, kRows));
            }
            ::_exit(ok ? 0 : 1);
        }
        writers.push_back(pid);
    }
    for (const pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer gave up on the shared file";
    }
    EXPECT_EQ(first.Count(), 2LL * kBatches * kRows);
    EXPECT_EQ(first.ChecksOf("one.example:80").size(), static_cast<std::size_t>(kBatches * kRows));
    EXPECT_EQ(Query(Path(), "PRAGMA integrity_check"), "ok");
}

TEST_F(HistoryStoreTest, KilledMidBatchKeepsEveryCommittedBatch) {
    constexpr int kRows = 200;
    HistoryStore reader;
    ASSERT_TRUE(OpenStore(reader));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        HistoryStore store;
        bool ok = store.Open(Path(), kHistoryKeepDaysDefault, kNow, nullptr);
        while (ok) {
            ok = store.Add(Batch("busy.example:80", kRows));
        }
        ::_exit(1);
    }
    // Killed once a few batches are in, most likely in the middle of the next.
    long long seen = 0;
    for (int i = 0; i < 100000 && seen < 3 * kRows; ++i) {
        seen = reader.Count();
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_GE(seen, 3 * kRows) << "the writer never got going";

    HistoryStore store;
    ASSERT_TRUE(OpenStore(store));
    const long long kept = store.Count();
    EXPECT_GE(kept, seen);
    EXPECT_EQ(kept % kRows, 0) << "half a batch survived the kill";
    EXPECT_EQ(Query(Path(), "PRAGMA integrity_check"), "ok");
}

TEST_F(HistoryStoreTest, UnusableFilesAreToldOnceAndThenIgnored) {
    // Garbage in place of the database.
    m_dir.Write(kHistoryFileName, std::string(8192, 'x'));
    HistoryStore corrupt;
    EXPECT_FALSE(OpenStore(corrupt));
    EXPECT_FALSE(corrupt.Add(Batch("a.example:80", 1)));
    EXPECT_EQ(m_told, 1);
    EXPECT_NE(m_cause.find("not a database"), std::string::npos) << m_cause;

    // Locked: another program holds its write transaction past the wait.
    ::unlink(Path().c_str());
    m_told = 0;
    HistoryStore locked;
    ASSERT_TRUE(OpenStore(locked));
    locked.SetBusyTimeoutMs(10);
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(Path().c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(locked.Add(Batch("a.example:80", 1)));
    EXPECT_FALSE(locked.Add(Batch("a.example:80", 1)));
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_EQ(m_told, 1);
    EXPECT_FALSE(locked.IsUsable());
}

// A disk that fills up under a batch: the user hears of the disk, not of the rollback that followed it.
TEST_F(HistoryStoreTest, FullDiskIsToldAsItsOwnCause) {
    HistoryStore store;
    ASSERT_TRUE(OpenStore(store));
    ASSERT_TRUE(store.Add(Batch("a.example:80", 1)));
    {
        const test::FileSizeLimit limit(64 * 1024);
        EXPECT_FALSE(store.Add(Batch(std::string(200, 'a') + ".example:80", 2000)));
    }
    EXPECT_EQ(m_told, 1);
    EXPECT_EQ(m_cause.find("rollback"), std::string::npos) << m_cause;
    EXPECT_NE(m_cause.find("disk"), std::string::npos) << m_cause;
    EXPECT_EQ(Query(Path(), "SELECT count(*) FROM checks"), "1");
}

TEST_F(HistoryStoreTest, ReadOnlyFileIsToldOnce) {
    {
        HistoryStore store;
        ASSERT_TRUE(OpenStore(store));
        ASSERT_TRUE(store.Add(Batch("a.example:80", 3)));
    }
    ::chmod(Path().c_str(), 0444);
    ::chmod(m_dir.Path().c_str(), 0555); // nor may the journal beside it be made
    const std::string path = Path();
    const std::string report = test::RunAsOrdinaryUser(m_dir.Path(), [&]() -> std::string {
        int told = 0;
        HistoryStore store;
        const bool opened = store.Open(path, kHistoryKeepDaysDefault, kNow, [&](const std::string&) { ++told; });
        const bool added = store.Add(Batch("a.example:80", 1));
        if (opened || added || told != 1) {
            return "a read-only history was used (opened " + std::to_string(opened) + ", told " + std::to_string(told) +
                   ")";
        }
        return {};
    });
    ::chmod(m_dir.Path().c_str(), 0755);
    EXPECT_EQ(report, "");
    EXPECT_EQ(Query(Path(), "SELECT count(*) FROM checks"), "3");
}

// Batches by size and by age, with a clock the test moves.
TEST_F(HistoryStoreTest, RecorderWritesABatchWhenFullOrASecondOld) {
    HistoryStore store;
    ASSERT_TRUE(OpenStore(store));
    auto now = std::chrono::steady_clock::time_point{};
    {
        HistoryRecorder recorder(store, 3, [&now] { return now; });
        auto add = [&](int ms) {
            recorder.Add(Check("a.example:80", "OK", ms, kNow));
            recorder.Sync();
            return store.Count();
        };
        EXPECT_EQ(add(1), 0);
        EXPECT_EQ(add(2), 0);
        EXPECT_EQ(add(3), 3);
        EXPECT_EQ(add(4), 3);
        now += std::chrono::milliseconds(999);
        EXPECT_EQ(add(5), 3);
        now += std::chrono::milliseconds(1);
        EXPECT_EQ(add(6), 6);
        EXPECT_EQ(add(7), 6);
        recorder.Flush();
        EXPECT_EQ(store.Count(), 7);
        EXPECT_EQ(add(8), 7);
    }
    EXPECT_EQ(store.Count(), 8) << "what was left is written when the recorder goes";
    // The serve's connections are batched alike, with the checks.
    HistoryRecorder recorder(store, 3, [&now] { return now; });
    const auto served = [&] {
        recorder.AddServed(Served("a.example:80", kServedCarried, 1, kNow));
        recorder.Sync();
        return Query(Path(), "SELECT count(*) FROM served") + "/" + std::to_string(store.Count());
    };
    EXPECT_EQ(served(), "0/8");
    recorder.Add(Check("a.example:80", "OK", 9, kNow));
    EXPECT_EQ(served(), "2/9") << "one batch of both";
}

// A store that fails mid-run is told once; the checks after it are neither kept nor told again.
TEST_F(HistoryStoreTest, RecorderGoesOnWithoutAStoreThatFailed) {
    HistoryStore store;
    ASSERT_TRUE(OpenStore(store));
    store.SetBusyTimeoutMs(10);
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(Path().c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    {
        HistoryRecorder recorder(store, 2);
        for (int i = 0; i < 10; ++i) {
            recorder.Add(Check("a.example:80", "OK", i, kNow));
        }
    }
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_EQ(m_told, 1);
    EXPECT_EQ(Query(Path(), "SELECT count(*) FROM checks"), "0");
}

} // namespace
} // namespace zandel
