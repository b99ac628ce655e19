#include "cli/ConsoleRows.h"

#include "core/check/CheckEngine.h"

namespace zandel::cli {

using Lock = std::lock_guard<std::recursive_mutex>;

void ConsoleRows::Abandon() {
    Lock lock(m_mutex);
    if (m_checkingRow >= 0 && !m_abandoned) {
        MemoryRowStore::SetCellText(m_checkingRow, 1, m_resultBefore);
    }
    m_abandoned = true;
}

void ConsoleRows::SetCellText(int row, int column, const std::string& text) {
    Lock lock(m_mutex);
    if (m_abandoned) {
        return;
    }
    if (column == 1 && text == kCheckingText) {
        m_checkingRow = row;
        m_resultBefore = GetCellText(row, 1);
    }
    MemoryRowStore::SetCellText(row, column, text);
}

void ConsoleRows::SetRowImage(int row, int image) {
    Lock lock(m_mutex);
    if (!m_abandoned) {
        MemoryRowStore::SetRowImage(row, image);
    }
}

void ConsoleRows::SetRowTag(int row, int tag) {
    Lock lock(m_mutex);
    if (!m_abandoned) {
        MemoryRowStore::SetRowTag(row, tag);
    }
}

void ConsoleRows::SetRowSelected(int row, bool selected) {
    Lock lock(m_mutex);
    if (!m_abandoned) {
        MemoryRowStore::SetRowSelected(row, selected);
    }
}

void ConsoleRows::SetRow(int row, const ProxyRow& value) {
    Lock lock(m_mutex);
    MemoryRowStore::SetRow(row, value);
}

void ConsoleRows::SetRowResult(int row, const ProxyRow& value) {
    Lock lock(m_mutex);
    MemoryRowStore::SetRowResult(row, value);
    if (row == m_checkingRow && !m_abandoned) {
        m_checkingRow = -1;
    }
}

} // namespace zandel::cli
