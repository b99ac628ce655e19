#include "core/serve/ServeLog.h"

#include <unordered_set>

namespace zandel {

void ServeLog::Add(const ServeConnectionRecord& record) {
    const std::lock_guard lock(m_mutex);
    if (m_records.size() == kKept) {
        m_records.pop_front();
    }
    m_records.push_back(record);
    ++m_added;
}

std::vector<ServeConnectionRecord> ServeLog::Records() const {
    const std::lock_guard lock(m_mutex);
    return {m_records.begin(), m_records.end()};
}

long long ServeLog::Added() const {
    const std::lock_guard lock(m_mutex);
    return m_added;
}

const char* ServeOutcomeText(ServeOutcome outcome) {
    switch (outcome) {
    case ServeOutcome::Through:
        return "OK";
    case ServeOutcome::Refused:
        return "拒否";
    case ServeOutcome::Failed:
        return "失敗";
    case ServeOutcome::Dropped:
        break;
    }
    return "切断";
}

MemoryRowStore LiveRowsOf(const IRowStore& rows) {
    MemoryRowStore live;
    std::vector<ProxyRow> kept;
    for (int row = 0; row < rows.RowCount(); ++row) {
        if (IsLiveGrade(GradeOfResult(rows.GetCellText(row, 1)))) {
            kept.push_back(rows.GetRow(row));
        }
    }
    live.AppendRows(kept);
    return live;
}

void FavouriteChecks::Note(const IRowStore& rows, const std::vector<std::string>& favourites) {
    if (favourites.empty()) {
        return; // a long list read through for nothing, after every run
    }
    const std::unordered_set<std::string> wanted(favourites.begin(), favourites.end());
    for (int row = 0; row < rows.RowCount(); ++row) {
        // A row the check has not reached (unchecked, or stopped before it) says nothing new of its proxy.
        if (GradeOfResult(rows.GetCellText(row, 1)) == ResultGrade::Unchecked) {
            continue;
        }
        if (std::string address = rows.GetCellText(row, 0); wanted.contains(address)) {
            m_latest[std::move(address)] = rows.GetRow(row);
        }
    }
}

MemoryRowStore FavouriteChecks::Rows(const std::vector<std::string>& favourites) const {
    MemoryRowStore rows;
    std::vector<ProxyRow> kept;
    for (const std::string& favourite : favourites) {
        if (const auto found = m_latest.find(favourite); found != m_latest.end()) {
            kept.push_back(found->second);
        }
    }
    rows.AppendRows(kept);
    return rows;
}

} // namespace zandel
