#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/list/ProxyRow.h"
#include "core/list/RowStore.h"
#include "core/serve/ServeConnection.h"

namespace zandel {

// The last connections of a serve, for the window: the serve's loop adds each as it ends, the window reads them
// on its own thread. A bounded ring, so that a serve of days costs what one of minutes does.
class ServeLog final {
public:
    static constexpr std::size_t kKept = 1000;

    void Add(const ServeConnectionRecord& record);
    // Oldest first.
    std::vector<ServeConnectionRecord> Records() const;
    // How many were ever added: the window redraws only when it grew.
    long long Added() const;

private:
    mutable std::mutex m_mutex;
    std::deque<ServeConnectionRecord> m_records;
    long long m_added = 0;
};

// The outcome in the window's words.
const char* ServeOutcomeText(ServeOutcome outcome);

// The rows of a finished check the pool may take, copied on the window's thread so that the names among them are
// looked up on another: the live ones (whether a leaky one serves is UpstreamsOfRows' rule).
MemoryRowStore LiveRowsOf(const IRowStore& rows);

// The favourites as last checked, by a run of the list or a re-check: the pool when the user chose the favourites.
class FavouriteChecks final {
public:
    // Each favourite among the rows keeps the row as the check left it.
    void Note(const IRowStore& rows, const std::vector<std::string>& favourites);
    // The favourites in their order, each as last checked; one never checked is left out.
    MemoryRowStore Rows(const std::vector<std::string>& favourites) const;

private:
    std::unordered_map<std::string, ProxyRow> m_latest;
};

} // namespace zandel
