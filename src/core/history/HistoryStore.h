#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/list/CheckRecord.h"
#include "core/settings/SettingRanges.h"

struct sqlite3;

namespace zandel {

inline constexpr const char* kHistoryFileName = "history.sqlite";

// What the history knows of one address over the kept days.
struct HistorySummary {
    std::string address;
    int checks = 0;
    int good = 0;
    double uptime = 0.0;         // good / checks
    std::optional<int> medianMs; // of the good checks' response times
};

// How often one site was reached through the proxies that passed, over the kept days.
struct SiteUptime {
    std::string site; // its URL as the user gave it
    int checks = 0;   // checks of a proxy that passed, which fetched the site
    int reached = 0;
    double uptime = 0.0; // reached / checks
};

// The checks of every run in an SQLite file, table "checks" (and "site_checks", each site's class in a check), shared
// by every running program: WAL, so that a reader never waits for a writer; a busy wait, so that two writers take
// turns; one transaction per batch, so that a killed program leaves every batch it committed and none half. The history
// only records: a file that cannot be used (locked past the wait, corrupt, read-only) is reported once through the
// failure callback and the store then does nothing, so that checking goes on without it.
class HistoryStore final {
public:
    using FailureCallback = std::function<void(const std::string& cause)>;

    HistoryStore() = default;
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Opens (or creates) the file and prunes the checks older than `keepDays` before `now`. False, after
    // telling, when it cannot be used.
    bool Open(const std::string& path, int keepDays, std::time_t now, FailureCallback onFailure);
    // Opens an existing file only to read it, beside a program that writes it: nothing is created, pruned or told.
    // False when there is no such file or it is no history.
    bool OpenForReading(const std::string& path);
    bool IsUsable() const { return m_db != nullptr; }
    // How long a writer waits for another's transaction before the file counts as locked.
    void SetBusyTimeoutMs(int milliseconds);

    // One batch, in one transaction: all of it or, after telling, none.
    bool Add(const std::vector<CheckRecord>& batch);

    // Per proxy and user, every kept form of its address together (HistoryGroupOf), under the form first in
    // address order, in that order.
    std::vector<HistorySummary> Summaries();
    // One address's, every kept form of it together, through the index: what a few addresses need without
    // reading the whole history.
    std::optional<HistorySummary> SummaryOf(const std::string& address);
    // The checks of one address, every kept form of it together, oldest first.
    std::vector<CheckRecord> ChecksOf(const std::string& address);
    // Per site, in the order first met: through every proxy, or through the one address (every kept form of it).
    std::vector<SiteUptime> SiteUptimes(const std::string& address = {});
    // How many checks are kept.
    long long Count();

private:
    void Fail(const std::string& what);
    void FailWrite();
    void Tell(const std::string& cause);
    bool Exec(const char* sql);

    sqlite3* m_db = nullptr;
    FailureCallback m_onFailure;
    int m_busyTimeoutMs = 5000;
};

// The message box that tells once that the history is not kept.
std::string HistoryUnusableMessage(const std::string& cause);

// The median of response times (the lower middle's and upper middle's mean, rounded down, for an even count).
std::optional<int> MedianMs(std::vector<int> times);

} // namespace zandel
