#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include "core/history/CheckRecord.h"

namespace zandel {

class HistoryStore;

// Gathers a run's checks into batches for the history: a batch is written once it holds `batchRows` checks or
// its first check is a second old, so that a long run costs one transaction per batch rather than one per row,
// and a killed run loses at most the last batch. Any thread may add; Flush writes what is left.
class HistoryRecorder final {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::size_t kBatchRows = 500;
    static constexpr std::chrono::milliseconds kBatchAge{1000};

    explicit HistoryRecorder(HistoryStore& store, std::size_t batchRows = kBatchRows, Clock clock = nullptr);
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    void Add(CheckRecord record);
    void Flush();

private:
    void WriteLocked();

    HistoryStore& m_store;
    std::size_t m_batchRows;
    Clock m_clock;
    std::mutex m_mutex;
    std::vector<CheckRecord> m_pending;
    std::chrono::steady_clock::time_point m_firstPending{};
};

} // namespace zandel
