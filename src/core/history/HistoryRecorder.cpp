#include "core/history/HistoryRecorder.h"

#include <utility>

#include "core/history/HistoryStore.h"

namespace zandel {

HistoryRecorder::HistoryRecorder(HistoryStore& store, std::size_t batchRows, Clock clock)
    : m_store(store), m_batchRows(batchRows == 0 ? 1 : batchRows), m_clock(std::move(clock)) {
    if (!m_clock) {
        m_clock = [] { return std::chrono::steady_clock::now(); };
    }
    m_pending.reserve(m_batchRows);
}

void HistoryRecorder::Add(CheckRecord record) {
    std::lock_guard lock(m_mutex);
    if (!m_store.IsUsable()) {
        return;
    }
    const auto now = m_clock();
    if (m_pending.empty()) {
        m_firstPending = now;
    }
    m_pending.push_back(std::move(record));
    if (m_pending.size() >= m_batchRows || now - m_firstPending >= kBatchAge) {
        WriteLocked();
    }
}

void HistoryRecorder::Flush() {
    std::lock_guard lock(m_mutex);
    WriteLocked();
}

void HistoryRecorder::WriteLocked() {
    if (!m_pending.empty()) {
        // A batch the store refuses is dropped with the store, which has told why.
        m_store.Add(m_pending);
        m_pending.clear();
    }
}

} // namespace zandel
