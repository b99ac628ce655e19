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
    if (m_rows.RowCount() >= MaxListRows) {
        ShowOk(m_messages, texts::kRowLimit);
        return {};
    }
    const int mark = m_rows.SelectionMark();
    if (mark < 0) {
        return {};
    }
    return InsertNewRow(mark);
}

ListChange ListCommands::AddAtEnd() {
    if (m_rows.RowCount() >= MaxListRows) {
        ShowOk(m_messages, texts::kRowLimit);
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
    const std::vector<int> selected = m_rows.SelectedRows(MaxListRows);
    // From the last to the first, so that the indexes still to go stay valid.
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        m_rows.RemoveRow(*it);
    }
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
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
        m_rows.RemoveRow(*it);
    }
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
    const std::vector<int> selected = m_rows.SelectedRows(MaxListRows);
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
// and its tag tells where it stood before. Rows that compare equal keep their order.
ListChange ListCommands::Sort(int column, const IColumnFigures* history) {
    if (column < 0 || column >= kShownColumnCount) {
        return {};
    }
    const int count = m_rows.RowCount();
    const int mark = m_rows.SelectionMark();
    std::vector<ProxyRow> rows;
    std::vector<bool> selected;
    rows.reserve(static_cast<std::size_t>(count));
    selected.reserve(static_cast<std::size_t>(count));
    std::vector<int> oldTags;
    for (int row = 0; row < count; ++row) {
        rows.push_back(m_rows.GetRow(row));
        oldTags.push_back(rows.back().tag);
        rows.back().tag = row;
        selected.push_back(m_rows.IsRowSelected(row));
    }

    m_sortColumn = column;
    const bool ascending = m_ascending[static_cast<std::size_t>(column)];
    std::vector<int> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    // The kind column sorts by the kind each address names, by the address within a kind.
    std::vector<std::string> kinds;
    if (column == kKindColumn) {
        for (const ProxyRow& row : rows) {
            kinds.emplace_back(EntryKindName(row.cells[0]));
        }
    }
    // The history's columns sort by its figures; a row without one goes last either way.
    std::vector<std::optional<double>> figures;
    const bool byHistory = column == kUptimeColumn || column == kMedianColumn;
    if (byHistory) {
        for (const ProxyRow& row : rows) {
            figures.push_back(history != nullptr ? history->SortKey(column, row.cells[0]) : std::nullopt);
        }
    }
    const auto cell = [&](int row, int at) -> const std::string& {
        return rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(at)];
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        int compared = 0;
        if (byHistory) {
            const std::optional<double>& x = figures[static_cast<std::size_t>(a)];
            const std::optional<double>& y = figures[static_cast<std::size_t>(b)];
            if (!x || !y) {
                return x.has_value() && !y.has_value();
            }
            compared = *x < *y ? -1 : (*y < *x ? 1 : 0);
        } else if (column == kKindColumn) {
            compared = kinds[static_cast<std::size_t>(a)].compare(kinds[static_cast<std::size_t>(b)]);
            compared = compared != 0 ? compared : CompareCells(0, cell(a, 0), cell(b, 0));
        } else {
            compared = CompareCells(column, cell(a, column), cell(b, column));
        }
        return ascending ? compared < 0 : compared > 0;
    });
    m_ascending[static_cast<std::size_t>(column)] = !ascending;

    int newMark = -1;
    for (int position = 0; position < count; ++position) {
        const int from = order[static_cast<std::size_t>(position)];
        if (from != position || oldTags[static_cast<std::size_t>(position)] != position) {
            m_rows.SetRow(position, rows[static_cast<std::size_t>(from)]);
        }
        if (selected[static_cast<std::size_t>(from)] != selected[static_cast<std::size_t>(position)]) {
            m_rows.SetRowSelected(position, selected[static_cast<std::size_t>(from)]);
        }
        if (from == mark) {
            newMark = position;
        }
    }
    // Selecting moves the mark; giving the marked row the state last puts the mark back on it.
    if (newMark >= 0) {
        m_rows.SetRowSelected(newMark, true);
        if (!selected[static_cast<std::size_t>(mark)]) {
            m_rows.SetRowSelected(newMark, false);
        }
    }
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
