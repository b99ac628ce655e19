#include "core/history/HistoryRecorder.h"

#include <system_error>
#include <utility>

#include "core/history/HistoryStore.h"

namespace zandel {

HistoryRecorder::HistoryRecorder(HistoryStore& store, std::size_t batchRows, Clock clock)
    : m_store(store), m_batchRows(batchRows == 0 ? 1 : batchRows), m_clock(std::move(clock)) {
    if (!m_clock) {
        m_clock = [] { return std::chrono::steady_clock::now(); };
    }
    m_failed = !m_store.IsUsable();
    m_pending.checks.reserve(m_batchRows);
    try {
        m_writer = std::thread([this] { WriteLoop(); });
    } catch (const std::system_error&) {
        // Written on the adding thread instead.
    }
}

HistoryRecorder::~HistoryRecorder() {
    Flush();
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_writer.joinable()) {
        m_writer.join();
    }
}

void HistoryRecorder::Add(CheckRecord record) {
    Gather(std::move(record), &Batch::checks);
}

void HistoryRecorder::AddServed(ServedRecord record) {
    Gather(std::move(record), &Batch::served);
}

template <typename Record> void HistoryRecorder::Gather(Record record, std::vector<Record> Batch::*into) {
    if (m_failed) {
        return;
    }
    Batch inline_;
    {
        std::lock_guard lock(m_mutex);
        const auto now = m_clock();
        if (m_pending.Empty()) {
            m_firstPending = now;
        }
        (m_pending.*into).push_back(std::move(record));
        if (m_pending.Size() < m_batchRows && now - m_firstPending < kBatchAge) {
            return;
        }
        if (m_writer.joinable()) {
            HandOverLocked();
            return;
        }
        inline_ = std::exchange(m_pending, {});
    }
    Write(inline_);
}

void HistoryRecorder::HandOverLocked() {
    if (!m_pending.Empty()) {
        m_handedOver.push_back(std::exchange(m_pending, {}));
        m_pending.checks.reserve(m_batchRows);
        m_changed.notify_all();
    }
}

void HistoryRecorder::Sync() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_handedOver.empty() && !m_writing; });
}

void HistoryRecorder::RunEnded() {
    HandOver();
    if (m_onRunEnded) {
        m_onRunEnded();
    }
}

void HistoryRecorder::Flush() {
    HandOver();
    Sync();
}

void HistoryRecorder::HandOver() {
    Batch inline_;
    {
        std::lock_guard lock(m_mutex);
        if (m_writer.joinable()) {
            HandOverLocked();
        } else {
            inline_ = std::exchange(m_pending, {});
        }
    }
    if (!inline_.Empty()) {
        Write(inline_);
    }
}

void HistoryRecorder::Write(const Batch& batch) {
    std::lock_guard lock(m_storeMutex);
    // A batch the store refuses is dropped with the store, which has told why.
    if (!m_failed && !m_store.Add(batch.checks, batch.served)) {
        m_failed = true;
    }
}

void HistoryRecorder::WriteLoop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || !m_handedOver.empty(); });
        if (m_handedOver.empty()) {
            return;
        }
        Batch batch = std::move(m_handedOver.front());
        m_handedOver.pop_front();
        m_writing = true;
        lock.unlock();
        Write(batch);
        lock.lock();
        m_writing = false;
        m_changed.notify_all();
    }
}

} // namespace zandel
