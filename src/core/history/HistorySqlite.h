#pragma once

// What HistoryStore's two files share of SQLite: the functions, loaded on first use, and a statement that finalizes
// itself. Not for use outside core/history.

#include <optional>
#include <string>

#include <sqlite3.h>

#include "core/util/SharedLibrary.h"

namespace zandel::history {

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

// Loaded on the first call.
const SqliteApi& Sqlite();

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
void BindForms(const Statement& select, const std::string& address);

} // namespace zandel::history
