#pragma once

#include <cstdint>
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

// Where one check left to the Internet, as the databases placed its exit address (since version 2 of the file).
struct HistoryPlace {
    std::string country; // ISO code, "" where unknown
    std::uint32_t asn = 0;
    std::string exitAddress; // the address looked up: the judge's REMOTE_ADDR, else the proxy's own
    std::string checkedAt;
    bool good = false; // of a good check
    bool Known() const { return !country.empty() || asn != 0; }
};

// What the history knows of one address over the kept days.
struct HistorySummary {
    std::string address;
    int checks = 0;
    int good = 0;
    double uptime = 0.0;         // good / checks
    std::optional<int> medianMs; // of the good checks' response times
    // The serve's connections through it (ServedRecord): carried and failed, which the uptime counts with the checks.
    int served = 0;
    int servedGood = 0;
    // Where it last left to the Internet: the place of its latest good check that has one, else of its latest check
    // that has one, so that a proxy failing now keeps where it was last seen working.
    HistoryPlace place = {};
};

// How often one site was reached through the proxies that passed, over the kept days.
struct SiteUptime {
    std::string site; // its URL as the user gave it
    int checks = 0;   // checks of a proxy that passed, which fetched the site
    int reached = 0;
    double uptime = 0.0; // reached / checks
};

// One upstream a served connection tried, kept beside the checks so that the uptime learns from real use.
inline constexpr const char* kServedCarried = "OK";        // it carried the connection: good
inline constexpr const char* kServedFailed = "NG";         // it failed as a proxy: refused, reset, silent, garbled
inline constexpr const char* kServedTarget = "NG(Target)"; // it could not reach the site: kept, but not counted,
                                                           // since the site may be the one down
struct ServedRecord {
    std::string address;  // the upstream as its checks are kept (HistoryAddressOf)
    std::string kind;     // "http", "socks5", ...
    std::string target;   // the host the client asked for, as it wrote it
    int tries = 1;        // the try of its connection this was: 1 for the first upstream asked
    std::string result;   // kServedCarried, kServedFailed or kServedTarget
    std::string servedAt; // UTC, ISO 8601
};

// The checks of every run in an SQLite file, table "checks" (with "site_checks", each site's class in a check;
// "served", the serve's connections, since version 1 of the file: PRAGMA user_version; and each check's place since
// version 2), shared by every running
// program: WAL, so that a reader never waits for a writer; a busy wait, so that two writers take turns; one
// transaction per batch, so that a killed program leaves every batch it committed and none half. The history only
// records: a file that cannot be used (locked past the wait, corrupt, read-only) is reported once through the
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
    bool Add(const std::vector<CheckRecord>& batch, const std::vector<ServedRecord>& served = {});

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
    // The served connections of one address, every kept form of it together, oldest first.
    std::vector<ServedRecord> ServedOf(const std::string& address);

private:
    void Fail(const std::string& what);
    void FailWrite();
    void Tell(const std::string& cause);
    bool Exec(const char* sql);
    bool Prune(const char* sql, const std::string& oldest);
    bool AddPlaceColumns();
    void AddServedSummaries(std::vector<HistorySummary>& summaries);

    sqlite3* m_db = nullptr;
    FailureCallback m_onFailure;
    int m_busyTimeoutMs = 5000;
    bool m_hasServed = false; // a history from before version 1, opened to read, has no served connections
    bool m_hasPlaces = false; // nor one from before version 2 the checks' places
};

// The message box that tells once that the history is not kept.
std::string HistoryUnusableMessage(const std::string& cause);

// The median of response times (the lower middle's and upper middle's mean, rounded down, for an even count).
std::optional<int> MedianMs(std::vector<int> times);

} // namespace zandel
