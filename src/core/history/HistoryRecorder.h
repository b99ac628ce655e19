#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "core/check/CheckEngine.h"
#include "core/history/HistoryStore.h"
#include "core/list/CheckRecord.h"

namespace zandel {

// Gathers a run's checks into batches for the history: a batch is handed over once it holds `batchRows` checks or
// its first check is a second old, so that a long run costs one transaction per batch rather than one per row,
// and a killed run loses at most the batches not yet written. A writer thread of its own writes them, so that the
// run never waits for the file (a busy wait for another program's transaction included); where the system gives
// it no thread, the batches are written as they are handed over. Any thread may add. As a run's recorder, it
// hands each run's last checks over as the run ends.
class HistoryRecorder final : public ICheckRecorder {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::size_t kBatchRows = 500;
    static constexpr std::chrono::milliseconds kBatchAge{1000};

    // The store must outlive the recorder, and only the recorder writes to it meanwhile.
    explicit HistoryRecorder(HistoryStore& store, std::size_t batchRows = kBatchRows, Clock clock = nullptr);
    ~HistoryRecorder() override; // flushes
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    void Add(CheckRecord record);
    // A served connection's upstream, batched with the checks alike.
    void AddServed(ServedRecord record);
    // ICheckRecorder
    void Recorded(int /*row*/, const CheckRecord& record) override { Add(record); }
    void RunEnded() override;
    // Called on the run's thread after each run's last checks are handed over (set before any run).
    void SetRunEndedCallback(std::function<void()> callback) { m_onRunEnded = std::move(callback); }
    // Hands what is gathered to the writer without waiting for it (writes it, without a writer thread).
    void HandOver();
    // Returns once the batches handed over so far are written (or dropped with a store that failed).
    void Sync();
    // Hands over what is left and returns once all of it is written.
    void Flush();

private:
    struct Batch {
        std::vector<CheckRecord> checks;
        std::vector<ServedRecord> served;
        std::size_t Size() const { return checks.size() + served.size(); }
        bool Empty() const { return checks.empty() && served.empty(); }
    };

    template <typename Record> void Gather(Record record, std::vector<Record> Batch::*into);
    void HandOverLocked();
    void WriteLoop();
    void Write(const Batch& batch);

    HistoryStore& m_store;
    std::size_t m_batchRows;
    Clock m_clock;
    std::function<void()> m_onRunEnded;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Batch m_pending;
    std::chrono::steady_clock::time_point m_firstPending{};
    std::deque<Batch> m_handedOver;
    bool m_writing = false;
    bool m_stop = false;
    std::atomic<bool> m_failed{false}; // the store has failed: nothing more is gathered
    std::mutex m_storeMutex;           // writes without a writer thread come from the adding threads
    std::thread m_writer;
};

} // namespace zandel
