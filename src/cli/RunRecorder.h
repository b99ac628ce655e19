#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/check/CheckEngine.h"

namespace zandel {
class HistoryRecorder;
}

namespace zandel::cli {

// What the console keeps of each judged check: the history's batches, and each row's reason for an export.
// A reason is kept as a number into the run's few distinct reasons, so that a list of a million rows pays two
// bytes a row for it.
class RunRecorder final : public ICheckRecorder {
public:
    RunRecorder(HistoryRecorder* history, bool keepReasons) : m_history(history), m_keepReasons(keepReasons) {}

    void Recorded(int row, const CheckRecord& record) override;
    void RunEnded() override;
    // The reason of the row's check in this run, "" when it was not checked.
    std::string ReasonOf(int row) const;
    // A run thread given up on may still judge a row: from now on nothing is kept.
    void Abandon();

private:
    HistoryRecorder* m_history;
    bool m_keepReasons;
    mutable std::mutex m_mutex;
    bool m_abandoned = false;
    std::vector<std::uint16_t> m_rowReasons; // 0: none, else an index + 1 into m_reasons
    std::vector<std::string> m_reasons;
    std::unordered_map<std::string, std::uint16_t> m_reasonIndex;
};

} // namespace zandel::cli
