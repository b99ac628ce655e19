#include "core/history/HistoryStore.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include <fcntl.h>
#include <sqlite3.h>

#include "core/util/SharedLibrary.h"
#include "core/util/UniqueFd.h"

namespace zandel {

namespace {

// SQLite is loaded when a history is first opened, not linked (core/util/SharedLibrary.h says why).
#define ZANDEL_SQLITE_FUNCTIONS(F)                                                                                     \
    F(sqlite3_bind_int)                                                                                                \
    F(sqlite3_bind_int64)                                                                                              \
    F(sqlite3_bind_null)                                                                                               \
    F(sqlite3_bind_text)                                                                                               \
    F(sqlite3_busy_timeout)                                                                                            \
    F(sqlite3_close_v2)                                                                                                \
    F(sqlite3_column_bytes)                                                                                            \
    F(sqlite3_column_int)                                                                                              \
    F(sqlite3_column_int64)                                                                                            \
    F(sqlite3_column_text)                                                                                             \
    F(sqlite3_column_type)                                                                                             \
    F(sqlite3_errmsg)                                                                                                  \
    F(sqlite3_exec)                                                                                                    \
    F(sqlite3_finalize)                                                                                                \
    F(sqlite3_get_autocommit)                                                                                          \
    F(sqlite3_last_insert_rowid)                                                                                       \
    F(sqlite3_open_v2)                                                                                                 \
    F(sqlite3_prepare_v2)                                                                                              \
    F(sqlite3_reset)                                                                                                   \
    F(sqlite3_step)

struct SqliteApi {
    ZANDEL_SQLITE_FUNCTIONS(ZANDEL_LIBRARY_MEMBER)
    std::string error; // why SQLite could not be loaded; empty once it is
};

const SqliteApi& Sqlite() {
    static const SqliteApi api =
        LoadLibraryApi<SqliteApi>("libsqlite3.so.0", "SQLite", [](SharedLibrary& library, SqliteApi& api) {
            ZANDEL_SQLITE_FUNCTIONS(ZANDEL_LIBRARY_RESOLVE)
        });
    return api;
}

constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS checks ("
                                " id INTEGER PRIMARY KEY,"
                                " address TEXT NOT NULL,"
                                " kind TEXT NOT NULL,"
                                " result TEXT NOT NULL,"
                                " response_ms INTEGER,"
                                " https TEXT NOT NULL,"
                                " checked_at TEXT NOT NULL,"
                                " reason TEXT NOT NULL);"
                                "CREATE INDEX IF NOT EXISTS checks_by_address ON checks (address, checked_at);"
                                "CREATE INDEX IF NOT EXISTS checks_by_time ON checks (checked_at);"
                                // Added with the sites' checks: a history of an older version gains the table as
                                // it is opened, and an older version reads the checks as ever.
                                "CREATE TABLE IF NOT EXISTS site_checks ("
                                " check_id INTEGER NOT NULL,"
                                " site TEXT NOT NULL,"
                                " class TEXT NOT NULL);"
                                "CREATE INDEX IF NOT EXISTS site_checks_by_check ON site_checks (check_id);";

// A prepared statement that finalizes itself.
class Statement final {
public:
    Statement(sqlite3* db, const char* sql) {
        if (Sqlite().sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
            m_stmt = nullptr;
        }
    }
    ~Statement() { Sqlite().sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* Get() const { return m_stmt; }
    explicit operator bool() const { return m_stmt != nullptr; }

    void Text(int index, const std::string& text) const {
        Sqlite().sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    std::string ColumnText(int column) const {
        const auto* bytes = Sqlite().sqlite3_column_text(m_stmt, column);
        return bytes == nullptr ? std::string()
                                : std::string(reinterpret_cast<const char*>(bytes),
                                              static_cast<std::size_t>(Sqlite().sqlite3_column_bytes(m_stmt, column)));
    }
    std::optional<int> ColumnInt(int column) const {
        if (Sqlite().sqlite3_column_type(m_stmt, column) == SQLITE_NULL) {
            return std::nullopt;
        }
        return Sqlite().sqlite3_column_int(m_stmt, column);
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// Binds ?1 to ?3 to the forms the checks of `address` may be kept under (the first repeated where there are fewer).
void BindForms(const Statement& select, const std::string& address) {
    const std::vector<std::string> forms = HistoryFormsOf(address);
    for (std::size_t i = 0; i < 3; ++i) {
        select.Text(static_cast<int>(i) + 1, forms[i < forms.size() ? i : 0]);
    }
}

// A store that never opened a database does not load SQLite to close it.
void Close(sqlite3*& db) {
    if (db != nullptr) {
        Sqlite().sqlite3_close_v2(db);
        db = nullptr;
    }
}

} // namespace

HistoryStore::~HistoryStore() {
    Close(m_db);
}

void HistoryStore::SetBusyTimeoutMs(int milliseconds) {
    m_busyTimeoutMs = milliseconds;
    if (m_db != nullptr) {
        Sqlite().sqlite3_busy_timeout(m_db, milliseconds);
    }
}

void HistoryStore::Fail(const std::string& what) {
    const std::string& notLoaded = Sqlite().error;
    const std::string cause = what + ": " +
                              (m_db != nullptr     ? std::string(Sqlite().sqlite3_errmsg(m_db))
                               : notLoaded.empty() ? std::string("out of memory")
                                                   : notLoaded);
    Close(m_db);
    Tell(cause);
}

// A write that failed may have ended its transaction itself (a full disk does): a rollback then only says that no
// transaction is active, so the write's own error is taken first, and the rollback made only where one is open.
void HistoryStore::FailWrite() {
    const std::string cause = std::string("the history cannot be written: ") + Sqlite().sqlite3_errmsg(m_db);
    if (Sqlite().sqlite3_get_autocommit(m_db) == 0) {
        Exec("ROLLBACK");
    }
    Close(m_db);
    Tell(cause);
}

void HistoryStore::Tell(const std::string& cause) {
    if (m_onFailure) {
        // Told once: the store is closed from now on and never fails again.
        const FailureCallback tell = std::exchange(m_onFailure, nullptr);
        tell(cause);
    }
}

bool HistoryStore::Exec(const char* sql) {
    return Sqlite().sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool HistoryStore::Open(const std::string& path, int keepDays, std::time_t now, FailureCallback onFailure) {
    Close(m_db);
    m_onFailure = std::move(onFailure);
    if (!Sqlite().error.empty()) {
        Fail("cannot open " + path);
        return false;
    }
    // SQLite would make a new file readable by all (0644 less the umask), and its -wal and -shm files take the
    // file's mode: made here first, the history is the user's alone, since it names the users of proxies.
    const UniqueFd made(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    const int opened = Sqlite().sqlite3_open_v2(
        path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (opened != SQLITE_OK) {
        Fail("cannot open " + path);
        return false;
    }
    Sqlite().sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
    // A corrupt file or one that is not a database shows itself at the first statement; a read-only one at
    // the first write, which the schema and the pruning are.
    if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=NORMAL")) {
        Fail(path);
        return false;
    }
    if (!Exec("BEGIN IMMEDIATE") || !Exec(kSchema)) {
        Fail(path);
        return false;
    }
    // The sites' checks go with their checks, before them, while their ids still say which they are.
    const Statement pruneSites(
        m_db, "DELETE FROM site_checks WHERE check_id IN (SELECT id FROM checks WHERE checked_at < ?1)");
    const Statement prune(m_db, "DELETE FROM checks WHERE checked_at < ?1");
    if (!pruneSites || !prune) {
        Fail(path);
        return false;
    }
    const std::string oldest = IsoUtc(now - static_cast<std::time_t>(std::max(keepDays, 0)) * 24 * 60 * 60);
    pruneSites.Text(1, oldest);
    prune.Text(1, oldest);
    if (Sqlite().sqlite3_step(pruneSites.Get()) != SQLITE_DONE || Sqlite().sqlite3_step(prune.Get()) != SQLITE_DONE ||
        !Exec("COMMIT")) {
        Fail(path);
        return false;
    }
    return true;
}

bool HistoryStore::OpenForReading(const std::string& path) {
    Close(m_db);
    m_onFailure = nullptr;
    if (!Sqlite().error.empty()) {
        return false;
    }
    if (Sqlite().sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW, nullptr) !=
        SQLITE_OK) {
        Close(m_db);
        return false;
    }
    Sqlite().sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
    // A file that is no database, or no history, shows itself here rather than as an empty history later.
    const Statement probe(m_db, "SELECT 1 FROM checks LIMIT 1");
    if (!probe || Sqlite().sqlite3_step(probe.Get()) == SQLITE_ERROR) {
        Close(m_db);
        return false;
    }
    return true;
}

bool HistoryStore::Add(const std::vector<CheckRecord>& batch) {
    if (m_db == nullptr) {
        return false;
    }
    if (batch.empty()) {
        return true;
    }
    // IMMEDIATE takes the write lock at once, so that two writers wait their turn in the busy handler rather
    // than meet as a deadlock half-way through.
    if (!Exec("BEGIN IMMEDIATE")) {
        Fail("the history cannot be written");
        return false;
    }
    {
        const Statement insert(m_db, "INSERT INTO checks (address, kind, result, response_ms, https, checked_at, "
                                     "reason) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        const Statement insertSite(m_db, "INSERT INTO site_checks (check_id, site, class) VALUES (?1, ?2, ?3)");
        bool ok = insert && insertSite;
        for (const CheckRecord& record : batch) {
            if (!ok) {
                break;
            }
            insert.Text(1, record.address);
            insert.Text(2, record.kind);
            insert.Text(3, record.result);
            if (record.responseMs) {
                Sqlite().sqlite3_bind_int(insert.Get(), 4, *record.responseMs);
            } else {
                Sqlite().sqlite3_bind_null(insert.Get(), 4);
            }
            insert.Text(5, record.https);
            insert.Text(6, record.checkedAt);
            insert.Text(7, record.reason);
            ok =
                Sqlite().sqlite3_step(insert.Get()) == SQLITE_DONE && Sqlite().sqlite3_reset(insert.Get()) == SQLITE_OK;
            const long long id = Sqlite().sqlite3_last_insert_rowid(m_db);
            for (std::size_t i = 0; ok && i < record.sites.size(); ++i) {
                Sqlite().sqlite3_bind_int64(insertSite.Get(), 1, id);
                insertSite.Text(2, record.sites[i].site);
                insertSite.Text(3, std::string(SiteClassName(record.sites[i].verdict)));
                ok = Sqlite().sqlite3_step(insertSite.Get()) == SQLITE_DONE &&
                     Sqlite().sqlite3_reset(insertSite.Get()) == SQLITE_OK;
            }
        }
        if (!ok) {
            FailWrite();
            return false;
        }
    }
    if (!Exec("COMMIT")) {
        FailWrite();
        return false;
    }
    return true;
}

std::string HistoryUnusableMessage(const std::string& cause) {
    return "ﾁｪｯｸ履歴(" + std::string(kHistoryFileName) + ")を使えません。\n履歴を残さずにﾁｪｯｸを続けます。\n\n" + cause;
}

std::optional<int> MedianMs(std::vector<int> times) {
    if (times.empty()) {
        return std::nullopt;
    }
    const std::size_t middle = times.size() / 2;
    std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(middle), times.end());
    const int upper = times[middle];
    if (times.size() % 2 == 1) {
        return upper;
    }
    const int lower = *std::max_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(middle));
    return static_cast<int>((static_cast<long long>(lower) + upper) / 2);
}

std::vector<HistorySummary> HistoryStore::Summaries() {
    std::vector<HistorySummary> summaries;
    if (m_db == nullptr) {
        return summaries;
    }
    const Statement select(m_db, "SELECT address, result, response_ms FROM checks ORDER BY address");
    if (!select) {
        return summaries;
    }
    // A proxy's checks may be kept under more than one form of its address (an older version's among them):
    // they are summed up as one, under the form met first.
    std::unordered_map<std::string, std::size_t> groupIndex;
    std::vector<std::vector<int>> times;
    std::string address;
    std::size_t index = 0;
    while (Sqlite().sqlite3_step(select.Get()) == SQLITE_ROW) {
        std::string next = select.ColumnText(0);
        if (summaries.empty() || next != address) {
            address = std::move(next);
            const auto [found, added] = groupIndex.emplace(HistoryGroupOf(address), summaries.size());
            if (added) {
                summaries.push_back({address, 0, 0, 0.0, std::nullopt});
                times.emplace_back();
            }
            index = found->second;
        }
        HistorySummary& summary = summaries[index];
        ++summary.checks;
        if (IsGoodResult(select.ColumnText(1))) {
            ++summary.good;
            if (const std::optional<int> ms = select.ColumnInt(2)) {
                times[index].push_back(*ms);
            }
        }
    }
    for (std::size_t i = 0; i < summaries.size(); ++i) {
        summaries[i].uptime = static_cast<double>(summaries[i].good) / summaries[i].checks;
        summaries[i].medianMs = MedianMs(std::move(times[i]));
    }
    return summaries;
}

std::optional<HistorySummary> HistoryStore::SummaryOf(const std::string& address) {
    if (m_db == nullptr) {
        return std::nullopt;
    }
    const Statement select(m_db, "SELECT result, response_ms FROM checks WHERE address IN (?1, ?2, ?3)");
    if (!select) {
        return std::nullopt;
    }
    BindForms(select, address);
    HistorySummary summary{address, 0, 0, 0.0, std::nullopt};
    std::vector<int> times;
    while (Sqlite().sqlite3_step(select.Get()) == SQLITE_ROW) {
        ++summary.checks;
        if (IsGoodResult(select.ColumnText(0))) {
            ++summary.good;
            if (const std::optional<int> ms = select.ColumnInt(1)) {
                times.push_back(*ms);
            }
        }
    }
    if (summary.checks == 0) {
        return std::nullopt;
    }
    summary.uptime = static_cast<double>(summary.good) / summary.checks;
    summary.medianMs = MedianMs(std::move(times));
    return summary;
}

std::vector<CheckRecord> HistoryStore::ChecksOf(const std::string& address) {
    std::vector<CheckRecord> checks;
    if (m_db == nullptr) {
        return checks;
    }
    const Statement select(m_db, "SELECT address, kind, result, response_ms, https, checked_at, reason FROM checks "
                                 "WHERE address IN (?1, ?2, ?3) ORDER BY checked_at, id");
    if (!select) {
        return checks;
    }
    BindForms(select, address);
    while (Sqlite().sqlite3_step(select.Get()) == SQLITE_ROW) {
        checks.push_back({select.ColumnText(0), select.ColumnText(1), select.ColumnText(2), select.ColumnInt(3),
                          select.ColumnText(4), select.ColumnText(5), select.ColumnText(6), std::string()});
    }
    return checks;
}

std::vector<SiteUptime> HistoryStore::SiteUptimes(const std::string& address) {
    std::vector<SiteUptime> uptimes;
    if (m_db == nullptr) {
        return uptimes;
    }
    // A history no site was ever checked in may have no such table (one of an older version opened to read).
    const Statement select(m_db, address.empty()
                                     ? "SELECT site, class FROM site_checks ORDER BY rowid"
                                     : "SELECT site, class FROM site_checks WHERE check_id IN (SELECT id FROM checks "
                                       "WHERE address IN (?1, ?2, ?3)) ORDER BY rowid");
    if (!select) {
        return uptimes;
    }
    if (!address.empty()) {
        BindForms(select, address);
    }
    while (Sqlite().sqlite3_step(select.Get()) == SQLITE_ROW) {
        std::string site = select.ColumnText(0);
        auto found = std::find_if(uptimes.begin(), uptimes.end(),
                                  [&site](const SiteUptime& known) { return known.site == site; });
        if (found == uptimes.end()) {
            found = uptimes.insert(uptimes.end(), SiteUptime{std::move(site), 0, 0, 0.0});
        }
        ++found->checks;
        found->reached += select.ColumnText(1) == SiteClassName(SiteClass::Reached) ? 1 : 0;
    }
    for (SiteUptime& uptime : uptimes) {
        uptime.uptime = static_cast<double>(uptime.reached) / uptime.checks;
    }
    return uptimes;
}

long long HistoryStore::Count() {
    if (m_db == nullptr) {
        return -1;
    }
    const Statement count(m_db, "SELECT count(*) FROM checks");
    if (!count || Sqlite().sqlite3_step(count.Get()) != SQLITE_ROW) {
        return -1;
    }
    return Sqlite().sqlite3_column_int64(count.Get(), 0);
}

} // namespace zandel
