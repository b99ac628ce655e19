#include "core/list/ListCommands.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <vector>

#include "core/util/MessageService.h"
#include "core/util/Texts.h"
#include "core/list/RowStore.h"
#include "core/util/ProxyAddress.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

constexpr int kResponseTimeColumn = 2;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

void ResetResults(ProxyRow& row) {
    row.cells[1] = kUncheckedResult;
    row.cells[2] = kUncheckedTime;
    row.cells[3] = kUncheckedDate;
    row.cells[kHttpsColumn] = kHttpsUnchecked;
    row.image = StatusUnchecked;
    row.reason.clear();
    row.findings = {};
}

} // namespace

std::string AskDeleteNgRows(int count) {
    return "NGのアドレス(" + std::to_string(count) + "件)を削除しますか？";
}

ListCommands::ListCommands(IRowStore& rows, IMessageService& messages) : m_rows(rows), m_messages(messages) {}

// The document counts as changed as soon as the edit opens, whatever the user then does with it.
ListChange ListCommands::Edit() const {
    const int mark = m_rows.SelectionMark();
    if (mark < 0 || mark >= m_rows.RowCount()) {
        return {};
    }
    return {.markModified = true, .updateCounts = true, .editRow = mark};
}

ListChange ListCommands::InsertAtMark() {
    if (m_rows.RowCount() >= m_maxRows) {
        ShowOk(m_messages, texts::RowLimitMessage(m_maxRows));
        return {};
    }
    const int mark = m_rows.SelectionMark();
    if (mark < 0) {
        return {};
    }
    return InsertNewRow(mark);
}

ListChange ListCommands::AddAtEnd() {
    if (m_rows.RowCount() >= m_maxRows) {
        ShowOk(m_messages, texts::RowLimitMessage(m_maxRows));
        return {};
    }
    return InsertNewRow(m_rows.RowCount());
}

ListChange ListCommands::InsertNewRow(int index) {
    m_rows.InsertRow(index, kNewRowAddress, StatusUnchecked, index);
    m_rows.SetCellText(index, 1, kUncheckedResult);
    m_rows.SetCellText(index, 2, kUncheckedTime);
    m_rows.SetCellText(index, 3, kUncheckedDate);
    m_rows.SetCellText(index, kHttpsColumn, kHttpsUnchecked);
    return {.markModified = true, .updateCounts = true, .editRow = index};
}

// The question comes first, even when there turns out to be nothing to delete.
ListChange ListCommands::DeleteSelected() {
    if (m_messages.Show(kAskDeleteRows, MbButtons::OkCancel, MbIcon::Warning) != MbResult::Ok) {
        return {};
    }
    if (m_rows.RowCount() == 0 || m_rows.SelectionMark() < 0) {
        return {};
    }
    const std::vector<int> selected = m_rows.SelectedRows(m_rows.RowCount());
    m_rows.RemoveRows(selected);
    return {.markModified = true, .updateCounts = true};
}

// Selecting changes no row: the document stays as it was.
ListChange ListCommands::SelectAll() {
    if (m_rows.RowCount() == 0) {
        return {};
    }
    // With a filter on, the hidden rows stay out of it.
    const std::vector<int> shown = ShownRows();
    if (static_cast<int>(shown.size()) == m_rows.RowCount()) {
        m_rows.SelectAllRows();
    } else {
        m_rows.SelectOnly(shown);
    }
    return {.updateCounts = true};
}

std::vector<int> ListCommands::ShownRows(bool (*wanted)(ResultGrade)) const {
    std::vector<int> rows;
    const int count = m_rows.RowCount();
    for (int row = 0; row < count; ++row) {
        if (m_rows.IsRowShown(row) && (wanted == nullptr || wanted(GradeOfResult(m_rows.GetCellText(row, 1))))) {
            rows.push_back(row);
        }
    }
    return rows;
}

ListChange ListCommands::SelectGrade(bool (*wanted)(ResultGrade)) {
    if (m_rows.RowCount() == 0) {
        return {};
    }
    m_rows.SelectOnly(ShownRows(wanted));
    return {.updateCounts = true};
}

ListChange ListCommands::SelectLive() {
    return SelectGrade(IsLiveGrade);
}

ListChange ListCommands::SelectNg() {
    return SelectGrade(IsNgGrade);
}

ListChange ListCommands::DeleteNg() {
    const std::vector<int> doomed = ShownRows(IsNgGrade);
    if (doomed.empty() || m_messages.Show(AskDeleteNgRows(static_cast<int>(doomed.size())), MbButtons::OkCancel,
                                          MbIcon::Warning) != MbResult::Ok) {
        return {};
    }
    m_rows.RemoveRows(doomed);
    return {.markModified = true, .updateCounts = true};
}

ListChange ListCommands::ClearResults() {
    if (m_messages.Show(kAskClearResults, MbButtons::OkCancel, MbIcon::Warning) != MbResult::Ok) {
        return {};
    }
    const int count = m_rows.RowCount();
    if (count == 0) {
        return {};
    }
    for (int row = 0; row < count; ++row) {
        ProxyRow value = m_rows.GetRow(row);
        ResetResults(value);
        value.tag = row;
        m_rows.SetRow(row, value);
    }
    return {.markModified = true};
}

// Each row takes the other's image and cells and keeps its own index as tag.
void ListCommands::SwapRows(int upper, int lower) {
    ProxyRow first = m_rows.GetRow(upper);
    ProxyRow second = m_rows.GetRow(lower);
    second.tag = upper;
    first.tag = lower;
    m_rows.SetRow(upper, second);
    m_rows.SetRow(lower, first);
}

// Where the selected rows stand among the rows on view.
std::vector<std::size_t> ListCommands::SelectedPositions(const std::vector<int>& shown) const {
    const std::vector<int> selected = m_rows.SelectedRows(m_rows.RowCount());
    std::vector<std::size_t> positions;
    std::size_t at = 0;
    for (int row : selected) {
        while (at < shown.size() && shown[at] < row) {
            ++at;
        }
        if (at < shown.size() && shown[at] == row) {
            positions.push_back(at);
        }
    }
    return positions;
}

// Every selected row swaps with the row on view above it, top first: a block of adjacent rows thus moves as a block,
// and a row passes over the rows a filter hides. The selection goes along with the rows.
ListChange ListCommands::MoveUp() {
    if (m_rows.RowCount() == 0) {
        return {};
    }
    const std::vector<int> shown = ShownRows();
    const std::vector<std::size_t> picked = SelectedPositions(shown);
    if (picked.empty() || picked.front() == 0) {
        return {};
    }
    for (std::size_t at : picked) {
        SwapRows(shown[at - 1], shown[at]);
    }
    for (std::size_t at : picked) {
        m_rows.SetRowSelected(shown[at - 1], true);
        m_rows.SetRowSelected(shown[at], false);
    }
    return {.markModified = true, .scrollTo = shown[picked.front()]};
}

ListChange ListCommands::MoveDown() {
    if (m_rows.RowCount() == 0) {
        return {};
    }
    const std::vector<int> shown = ShownRows();
    const std::vector<std::size_t> picked = SelectedPositions(shown);
    if (picked.empty() || picked.back() + 1 == shown.size()) {
        return {};
    }
    for (auto it = picked.rbegin(); it != picked.rend(); ++it) {
        SwapRows(shown[*it], shown[*it + 1]);
    }
    for (auto it = picked.rbegin(); it != picked.rend(); ++it) {
        m_rows.SetRowSelected(shown[*it + 1], true);
        m_rows.SetRowSelected(shown[*it], false);
    }
    return {.markModified = true, .scrollTo = shown[picked.back()]};
}

bool ListCommands::NextSortAscending(int column) const {
    return column >= 0 && column < kShownColumnCount && m_ascending[static_cast<std::size_t>(column)];
}

// Rows are numbered afresh, then reordered; each keeps its cells, image, selection and the selection mark,
// and its tag tells where it stood before. Rows that compare equal keep their order. Only the sorted column is read,
// and each cell's key is worked out once: a million rows sort in well under a second.
ListChange ListCommands::Sort(int column, const IColumnFigures* history) {
    if (column < 0 || column >= kShownColumnCount) {
        return {};
    }
    const int count = m_rows.RowCount();
    std::vector<int> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    const bool byHistory = column == kUptimeColumn || column == kMedianColumn;
    // The kind and history columns are no cells: they are read from the address.
    std::vector<std::string> cells = m_rows.CellTexts(order, byHistory || column == kKindColumn ? 0 : column);
    const auto at = [](const auto& keys, int row) -> const auto& {
        return keys[static_cast<std::size_t>(row)];
    };

    m_sortColumn = column;
    const bool ascending = m_ascending[static_cast<std::size_t>(column)];
    m_ascending[static_cast<std::size_t>(column)] = !ascending;
    const auto sortBy = [&](auto compare) {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const int compared = compare(a, b);
            return ascending ? compared < 0 : compared > 0;
        });
    };
    if (byHistory) {
        // A row without a figure goes last either way.
        std::vector<std::optional<double>> figures;
        figures.reserve(cells.size());
        for (const std::string& address : cells) {
            figures.push_back(history != nullptr ? history->SortKey(column, address) : std::nullopt);
        }
        std::stable_partition(order.begin(), order.end(), [&](int row) { return at(figures, row).has_value(); });
        const auto withFigure = static_cast<std::ptrdiff_t>(
            std::count_if(figures.begin(), figures.end(), [](const auto& figure) { return figure.has_value(); }));
        std::stable_sort(order.begin(), order.begin() + withFigure, [&](int a, int b) {
            return ascending ? *at(figures, a) < *at(figures, b) : *at(figures, b) < *at(figures, a);
        });
    } else if (column == kCountryColumn || column == kAsnColumn || IsSiteColumn(column)) {
        // By the country's code, the AS number or the site's class's rank the store gives as the cell; a row without
        // one goes last.
        std::stable_partition(order.begin(), order.end(), [&](int row) { return !at(cells, row).empty(); });
        const auto placed = static_cast<std::ptrdiff_t>(
            std::count_if(cells.begin(), cells.end(), [](const std::string& cell) { return !cell.empty(); }));
        std::vector<double> numbers;
        if (column == kAsnColumn) {
            numbers.reserve(cells.size());
            for (const std::string& cell : cells) {
                numbers.push_back(LeadingNumber(cell));
            }
        }
        std::stable_sort(order.begin(), order.begin() + placed, [&](int a, int b) {
            const int compared =
                column == kAsnColumn
                    ? (at(numbers, a) < at(numbers, b) ? -1 : (at(numbers, b) < at(numbers, a) ? 1 : 0))
                    : at(cells, a).compare(at(cells, b));
            return ascending ? compared < 0 : compared > 0;
        });
    } else if (column == kKindColumn) {
        // By the kind each address names, by the address within a kind.
        std::vector<std::string_view> kinds;
        kinds.reserve(cells.size());
        for (const std::string& address : cells) {
            kinds.emplace_back(EntryKindName(address));
        }
        sortBy([&](int a, int b) {
            const int compared = at(kinds, a).compare(at(kinds, b));
            return compared != 0 ? compared : CompareCells(0, at(cells, a), at(cells, b));
        });
    } else if (column == kResponseTimeColumn) {
        std::vector<double> times;
        times.reserve(cells.size());
        for (const std::string& cell : cells) {
            times.push_back(LeadingNumber(cell));
        }
        sortBy([&](int a, int b) { return at(times, a) < at(times, b) ? -1 : (at(times, b) < at(times, a) ? 1 : 0); });
    } else {
        // Folded once, compared as bytes: the order CompareNoCase gives, without folding at every comparison.
        for (std::string& cell : cells) {
            std::transform(cell.begin(), cell.end(), cell.begin(), FoldAscii);
        }
        sortBy([&](int a, int b) { return at(cells, a).compare(at(cells, b)); });
    }
    m_rows.Reorder(order);
    return {.markModified = true};
}

int ListCommands::CompareCells(int column, std::string_view a, std::string_view b) {
    if (column == kResponseTimeColumn) {
        const double x = LeadingNumber(a);
        const double y = LeadingNumber(b);
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    return CompareNoCase(a, b);
}

// Blanks, a sign, digits with a decimal point and an exponent, as far as they form a number. The decimal
// point is always '.', whatever the locale.
double ListCommands::LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    double sign = 1.0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        sign = text[i] == '-' ? -1.0 : 1.0;
        ++i;
    }
    double value = 0.0;
    bool digits = false;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10.0 + (text[i] - '0');
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && IsDigit(text[i]); ++i) {
            value += (text[i] - '0') * scale;
            scale /= 10.0;
            digits = true;
        }
    }
    if (!digits) {
        return 0.0;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        int exponentSign = 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            exponentSign = text[j] == '-' ? -1 : 1;
            ++j;
        }
        int exponent = 0;
        bool exponentDigits = false;
        for (; j < text.size() && IsDigit(text[j]); ++j) {
            exponent = std::min(exponent * 10 + (text[j] - '0'), 9999);
            exponentDigits = true;
        }
        // A zero stays zero: 0 times an overflowing power would be no number at all and upset the sort.
        if (exponentDigits && value != 0.0) {
            value *= std::pow(10.0, exponentSign * exponent);
        }
    }
    return sign * value;
}

} // namespace zandel
