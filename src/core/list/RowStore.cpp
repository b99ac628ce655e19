#include "core/list/RowStore.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "core/util/Text.h"

namespace zandel {

ProxyRow IRowStore::GetRow(int row) const {
    ProxyRow value;
    for (int column = 0; column < kColumnCount; ++column) {
        value.cells[static_cast<std::size_t>(column)] = GetCellText(row, column);
    }
    value.image = GetRowImage(row);
    value.tag = GetRowTag(row);
    return value;
}

void IRowStore::SetRow(int row, const ProxyRow& value) {
    for (int column = 0; column < kColumnCount; ++column) {
        SetCellText(row, column, value.cells[static_cast<std::size_t>(column)]);
    }
    SetRowImage(row, value.image);
    SetRowTag(row, value.tag);
}

void IRowStore::SetRowResult(int row, const ProxyRow& value) {
    for (int column = 0; column < kColumnCount; ++column) {
        if (ResultWritesColumn(value, column)) {
            SetCellText(row, column, value.cells[static_cast<std::size_t>(column)]);
        }
    }
    SetRowImage(row, value.image);
}

std::vector<std::string> IRowStore::CellTexts(const std::vector<int>& rows, int column) const {
    std::vector<std::string> texts;
    texts.reserve(rows.size());
    for (int row : rows) {
        texts.push_back(GetCellText(row, column));
    }
    return texts;
}

void IRowStore::AppendRows(const std::vector<ProxyRow>& rows) {
    for (const ProxyRow& value : rows) {
        const int row = RowCount();
        InsertRow(row, value.cells[0], value.image, value.tag);
        for (int column = 1; column < kColumnCount; ++column) {
            SetCellText(row, column, value.cells[static_cast<std::size_t>(column)]);
        }
    }
}

void IRowStore::RemoveRows(const std::vector<int>& rows) {
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        RemoveRow(*it);
    }
}

// Rewrites only the rows that change, so that a list already in order stays as it is.
void IRowStore::Reorder(const std::vector<int>& order) {
    const int count = RowCount();
    const int mark = SelectionMark();
    std::vector<ProxyRow> rows;
    std::vector<bool> selected;
    rows.reserve(order.size());
    for (int row = 0; row < count; ++row) {
        rows.push_back(GetRow(row));
        selected.push_back(IsRowSelected(row));
    }
    int newMark = -1;
    for (int position = 0; position < count; ++position) {
        const int from = order[static_cast<std::size_t>(position)];
        if (from != position || rows[static_cast<std::size_t>(position)].tag != from) {
            ProxyRow value = rows[static_cast<std::size_t>(from)];
            value.tag = from;
            SetRow(position, value);
        }
        if (selected[static_cast<std::size_t>(from)] != selected[static_cast<std::size_t>(position)]) {
            SetRowSelected(position, selected[static_cast<std::size_t>(from)]);
        }
        newMark = from == mark ? position : newMark;
    }
    // Selecting moves the mark; giving the marked row the state last puts the mark back on it.
    if (newMark >= 0) {
        SetRowSelected(newMark, true);
        if (!selected[static_cast<std::size_t>(mark)]) {
            SetRowSelected(newMark, false);
        }
    }
}

void IRowStore::SelectAllRows() {
    const int count = RowCount();
    for (int row = 0; row < count; ++row) {
        SetRowSelected(row, true);
    }
}

void IRowStore::SelectOnly(const std::vector<int>& rows) {
    const int count = RowCount();
    std::vector<bool> wanted(static_cast<std::size_t>(std::max(count, 0)));
    for (int row : rows) {
        if (row >= 0 && row < count) {
            wanted[static_cast<std::size_t>(row)] = true;
        }
    }
    for (int row = 0; row < count; ++row) {
        if (IsRowSelected(row) && !wanted[static_cast<std::size_t>(row)]) {
            SetRowSelected(row, false);
        }
    }
    for (int row : rows) {
        SetRowSelected(row, true);
    }
}

std::vector<int> IRowStore::SelectedRows(int limit) const {
    std::vector<int> rows;
    const int count = RowCount();
    for (int row = 0; row < count && static_cast<int>(rows.size()) < limit; ++row) {
        if (IsRowSelected(row)) {
            rows.push_back(row);
        }
    }
    return rows;
}

RowCellReader::RowCellReader(const IRowStore& store, const std::vector<int>& rows, int column)
    : m_store(store), m_rows(rows), m_column(column) {}

std::string RowCellReader::At(std::size_t k) {
    if (!m_read || k < m_first || k - m_first >= kBatch) {
        const std::size_t end = std::min(m_rows.size(), k + kBatch);
        m_batch = m_store.CellTexts(std::vector<int>(m_rows.begin() + static_cast<std::ptrdiff_t>(std::min(k, end)),
                                                     m_rows.begin() + static_cast<std::ptrdiff_t>(end)),
                                    m_column);
        m_first = k;
        m_read = true;
    }
    const std::size_t index = k - m_first;
    return index < m_batch.size() ? m_batch[index] : std::string();
}

int MemoryRowStore::RowCount() const {
    return m_rows.Count();
}

// Like the list control: an index past the end appends, and the new row's other cells start empty.
void MemoryRowStore::InsertRow(int index, const std::string& address, int image, int tag) {
    if (index < 0) {
        return;
    }
    if (index > RowCount()) {
        index = RowCount();
    }
    m_rows.Insert(index, std::string_view(address).substr(0, kMaxAddressCell), image, tag);
    if (m_mark >= index) {
        ++m_mark;
    }
}

std::string MemoryRowStore::GetCellText(int row, int column) const {
    if (!Valid(row) || column < 0 || column >= kColumnCount) {
        return {};
    }
    return m_rows.Cell(row, column);
}

void MemoryRowStore::SetCellText(int row, int column, const std::string& text) {
    if (Valid(row) && column >= 0 && column < kColumnCount) {
        m_rows.SetCell(row, column, std::string_view(text).substr(0, column == 0 ? kMaxAddressCell : kMaxFieldText));
    }
}

int MemoryRowStore::GetRowImage(int row) const {
    return Valid(row) ? m_rows.Image(row) : -1;
}

void MemoryRowStore::SetRowImage(int row, int image) {
    if (Valid(row)) {
        m_rows.SetImage(row, image);
    }
}

int MemoryRowStore::GetRowTag(int row) const {
    return Valid(row) ? m_rows.Tag(row) : 0;
}

void MemoryRowStore::SetRowTag(int row, int tag) {
    if (Valid(row)) {
        m_rows.SetTag(row, tag);
    }
}

// The mark keeps pointing at its row; when that row goes, it passes to the row that takes its place (or the
// new last row), as the current row of the desktop list does.
void MemoryRowStore::RemoveRow(int row) {
    if (!Valid(row)) {
        return;
    }
    m_rows.Remove(row);
    if (m_mark > row || m_mark >= RowCount()) {
        --m_mark;
    }
}

void MemoryRowStore::RemoveRows(const std::vector<int>& rows) {
    m_mark -= static_cast<int>(std::lower_bound(rows.begin(), rows.end(), m_mark) - rows.begin());
    m_rows.RemoveRows(rows);
    // As RemoveRow leaves it: on the row that took the removed mark's place, or the new last row.
    if (m_mark >= RowCount()) {
        m_mark = RowCount() - 1;
    }
}

void MemoryRowStore::Reorder(const std::vector<int>& order) {
    m_rows.Reorder(order);
    int newMark = -1;
    for (int position = 0; position < RowCount(); ++position) {
        const int from = order[static_cast<std::size_t>(position)];
        m_rows.SetTag(position, from);
        newMark = from == m_mark ? position : newMark;
    }
    m_mark = newMark;
}

void MemoryRowStore::RemoveAllRows() {
    m_rows.Clear();
    m_mark = -1;
}

bool MemoryRowStore::IsRowSelected(int row) const {
    return Valid(row) && m_rows.Selected(row);
}

void MemoryRowStore::SetRowSelected(int row, bool selected) {
    if (!Valid(row)) {
        return;
    }
    m_rows.SetSelected(row, selected);
    if (selected) {
        m_mark = row;
    }
}

int MemoryRowStore::SelectionMark() const {
    return m_mark;
}

} // namespace zandel
