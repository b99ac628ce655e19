#pragma once

#include <optional>
#include <string_view>

namespace zandel {

// What the uptime and median columns sort by. The history holds the figures (HistoryColumns); the list, which
// lies below the history, sorts by them through this.
class IColumnFigures {
public:
    virtual ~IColumnFigures() = default;
    // None for an entry without a figure, which sorts after every other whichever the direction.
    virtual std::optional<double> SortKey(int column, std::string_view entry) const = 0;
};

} // namespace zandel
