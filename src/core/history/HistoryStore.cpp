#include "core/history/HistoryStore.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include <fcntl.h>
#include "core/history/HistorySqlite.h"
#include "core/util/UniqueFd.h"

namespace zandel {

namespace history {

const SqliteApi& Sqlite() {
    static const SqliteApi api =
        LoadLibraryApi<SqliteApi>("libsqlite3.so.0", "SQLite", [](SharedLibrary& library, SqliteApi& api) {
            ZANDEL_SQLITE_FUNCTIONS(ZANDEL_LIBRARY_RESOLVE)
        });
    return api;
}

void BindForms(const Statement& select, const std::string& address) {
    const std::vector<std::string> forms = HistoryFormsOf(address);
    for (std::size_t i = 0; i < 3; ++i) {
        select.Text(static_cast<int>(i) + 1, forms[i < forms.size() ? i : 0]);
    }
}

} // namespace history

namespace {

using history::Sqlite;
using history::Statement;

constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS checks ("
                                " id INTEGER PRIMARY KEY,"
                                " address TEXT NOT NULL,"
                                " kind TEXT NOT NULL,"
                                " result TEXT NOT NULL,"
                                " response_ms INTEGER,"
                                " https TEXT NOT NULL,"
                                " checked_at TEXT NOT NULL,"
                                " reason TEXT NOT NULL,"
                                // Since version 2; an older file gains them in AddPlaceColumns.
                                " country TEXT,"
                                " asn INTEGER,"
                                " exit_address TEXT);"
                                "CREATE INDEX IF NOT EXISTS checks_by_address ON checks (address, checked_at);"
                                "CREATE INDEX IF NOT EXISTS checks_by_time ON checks (checked_at);"
                                // Since version 1: the connections a serve carried, each upstream tried a row.
                                "CREATE TABLE IF NOT EXISTS served ("
                                " id INTEGER PRIMARY KEY,"
                                " address TEXT NOT NULL,"
                                " kind TEXT NOT NULL,"
                                " target TEXT NOT NULL,"
                                " tries INTEGER NOT NULL,"
                                " result TEXT NOT NULL,"
                                " served_at TEXT NOT NULL);"
                                "CREATE INDEX IF NOT EXISTS served_by_address ON served (address, served_at);"
                                "CREATE INDEX IF NOT EXISTS served_by_time ON served (served_at);"
                                // Added with the sites' checks: a history of an older version gains the table as
                                // it is opened, and an older version reads the checks as ever.
                                "CREATE TABLE IF NOT EXISTS site_checks ("
                                " check_id INTEGER NOT NULL,"
                                " site TEXT NOT NULL,"
                                " class TEXT NOT NULL);"
                                "CREATE INDEX IF NOT EXISTS site_checks_by_check ON site_checks (check_id);"
                                "PRAGMA user_version = 2;";

// Where each check left to the Internet, since version 2: NULL in the checks of older files, and in every check made
// without a database. ALTER TABLE has no IF NOT EXISTS, so the columns are asked for first.
constexpr const char* kPlaceColumns = "SELECT country, asn, exit_address FROM checks LIMIT 0";
constexpr const char* kAddPlaceColumns = "ALTER TABLE checks ADD COLUMN country TEXT;"
                                         "ALTER TABLE checks ADD COLUMN asn INTEGER;"
                                         "ALTER TABLE checks ADD COLUMN exit_address TEXT;";

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
    if (!Exec("BEGIN IMMEDIATE") || !Exec(kSchema) || !AddPlaceColumns()) {
        Fail(path);
        return false;
    }
    const std::string oldest = IsoUtc(now - static_cast<std::time_t>(std::max(keepDays, 0)) * 24 * 60 * 60);
    // The sites' checks go with their checks, before them, while their ids still say which they are.
    if (!Prune("DELETE FROM site_checks WHERE check_id IN (SELECT id FROM checks WHERE checked_at < ?1)", oldest) ||
        !Prune("DELETE FROM checks WHERE checked_at < ?1", oldest) ||
        !Prune("DELETE FROM served WHERE served_at < ?1", oldest) || !Exec("COMMIT")) {
        Fail(path);
        return false;
    }
    m_hasServed = true;
    m_hasPlaces = true;
    return true;
}

// In the schema's transaction, so that two writers opening one older file at once add the columns once.
bool HistoryStore::AddPlaceColumns() {
    return static_cast<bool>(Statement(m_db, kPlaceColumns)) || Exec(kAddPlaceColumns);
}

bool HistoryStore::Prune(const char* sql, const std::string& oldest) {
    const Statement prune(m_db, sql);
    if (!prune) {
        return false;
    }
    prune.Text(1, oldest);
    return Sqlite().sqlite3_step(prune.Get()) == SQLITE_DONE;
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
    // A history no program of version 1 or later has written yet holds no served connections, and is not given
    // their table by a reader.
    const Statement served(m_db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'served'");
    m_hasServed = served && Sqlite().sqlite3_step(served.Get()) == SQLITE_ROW;
    m_hasPlaces = static_cast<bool>(Statement(m_db, kPlaceColumns));
    return true;
}

namespace {

// What the databases did not know stays NULL; the exit address is kept wherever they were asked, so that a check
// placed nowhere differs from one made without a database, and a place reads with what it is the place of.
void BindPlace(const Statement& insert, const CheckRecord& record) {
    if (record.country.empty()) {
        Sqlite().sqlite3_bind_null(insert.Get(), 8);
    } else {
        insert.Text(8, record.country);
    }
    if (record.asn == 0) {
        Sqlite().sqlite3_bind_null(insert.Get(), 9);
    } else {
        Sqlite().sqlite3_bind_int64(insert.Get(), 9, record.asn);
    }
    if (record.exitAddress.empty()) {
        Sqlite().sqlite3_bind_null(insert.Get(), 10);
    } else {
        insert.Text(10, record.exitAddress);
    }
}

bool InsertChecks(sqlite3* db, const std::vector<CheckRecord>& batch) {
    const Statement insert(db, "INSERT INTO checks (address, kind, result, response_ms, https, checked_at, "
                               "reason, country, asn, exit_address) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    const Statement insertSite(db, "INSERT INTO site_checks (check_id, site, class) VALUES (?1, ?2, ?3)");
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
        BindPlace(insert, record);
        ok = Sqlite().sqlite3_step(insert.Get()) == SQLITE_DONE && Sqlite().sqlite3_reset(insert.Get()) == SQLITE_OK;
        const long long id = Sqlite().sqlite3_last_insert_rowid(db);
        for (std::size_t i = 0; ok && i < record.sites.size(); ++i) {
            Sqlite().sqlite3_bind_int64(insertSite.Get(), 1, id);
            insertSite.Text(2, record.sites[i].site);
            insertSite.Text(3, std::string(SiteClassName(record.sites[i].verdict)));
            ok = Sqlite().sqlite3_step(insertSite.Get()) == SQLITE_DONE &&
                 Sqlite().sqlite3_reset(insertSite.Get()) == SQLITE_OK;
        }
    }
    return ok;
}

bool InsertServed(sqlite3* db, const std::vector<ServedRecord>& served) {
    if (served.empty()) {
        return true;
    }
    const Statement insert(db, "INSERT INTO served (address, kind, target, tries, result, served_at) "
                               "VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    bool ok = static_cast<bool>(insert);
    for (const ServedRecord& record : served) {
        if (!ok) {
            break;
        }
        insert.Text(1, record.address);
        insert.Text(2, record.kind);
        insert.Text(3, record.target);
        Sqlite().sqlite3_bind_int(insert.Get(), 4, record.tries);
        insert.Text(5, record.result);
        insert.Text(6, record.servedAt);
        ok = Sqlite().sqlite3_step(insert.Get()) == SQLITE_DONE && Sqlite().sqlite3_reset(insert.Get()) == SQLITE_OK;
    }
    return ok;
}

} // namespace

bool HistoryStore::Add(const std::vector<CheckRecord>& batch, const std::vector<ServedRecord>& served) {
    if (m_db == nullptr) {
        return false;
    }
    if (batch.empty() && served.empty()) {
        return true;
    }
    // IMMEDIATE takes the write lock at once, so that two writers wait their turn in the busy handler rather
    // than meet as a deadlock half-way through.
    if (!Exec("BEGIN IMMEDIATE")) {
        Fail("the history cannot be written");
        return false;
    }
    if (!InsertChecks(m_db, batch) || !InsertServed(m_db, served) || !Exec("COMMIT")) {
        FailWrite();
        return false;
    }
    return true;
}

} // namespace zandel
