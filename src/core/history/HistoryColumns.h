#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/history/HistoryStore.h"
#include "core/list/ColumnFigures.h"

namespace zandel {

// The address a list entry's checks are kept under: what the check run records for it (no password, no
// comment), so that a row finds its history whatever else its cell holds.
std::string HistoryAddressOf(std::string_view entry);

// 87: whole percent, rounded down, so that 100 means that no check failed.
int UptimePercent(const HistorySummary& summary);
// "87%".
std::string UptimeText(const HistorySummary& summary);
// "0.123" (seconds); empty when no check was good.
std::string MedianText(const HistorySummary& summary);

// The history's summaries as the list's uptime and median columns show and sort them.
class HistoryColumns final : public IColumnFigures {
public:
    HistoryColumns() = default;
    explicit HistoryColumns(std::vector<HistorySummary> summaries);

    // The summary of the entry's address; nullptr when it has no checks.
    const HistorySummary* Find(std::string_view entry) const;
    // The text of the uptime or median column for an entry; empty without history.
    std::string Cell(int column, std::string_view entry) const;
    // The uptime column's figure for an entry, as the filter compares it; none without history.
    std::optional<int> UptimePercent(std::string_view entry) const;
    // What the column sorts by; none for an entry without history (or without a good check, for the median),
    // which sorts after every other whichever the direction.
    std::optional<double> SortKey(int column, std::string_view entry) const override;

private:
    std::unordered_map<std::string, HistorySummary> m_byAddress;
};

// The history file as seen from outside: it changes whenever any program writes a check (into the file or into its
// write-ahead log, which stat() shows at once), and reading never changes it, so that the columns are read again
// only when there is more to read, at the cost of two stat() calls.
struct HistoryStamp {
    struct File {
        bool exists = false;
        unsigned long long device = 0;
        unsigned long long inode = 0;
        long long size = 0;
        long long modifiedNs = 0;
        bool operator==(const File&) const = default;
    };
    File database;
    File log;
    bool operator==(const HistoryStamp&) const = default;
};
HistoryStamp HistoryStampOf(const std::string& path);

} // namespace zandel
