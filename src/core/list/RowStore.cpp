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
