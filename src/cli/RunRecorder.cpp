#include "cli/RunRecorder.h"

#include <limits>

#include "core/history/HistoryRecorder.h"
#include "core/list/CheckRecord.h"

namespace zandel::cli {

void RunRecorder::Recorded(int row, const CheckRecord& record) {
    std::lock_guard lock(m_mutex);
    if (m_abandoned) {
        return;
    }
    if (m_history != nullptr) {
        m_history->Add(record);
    }
    if (m_lookUp) {
        m_places->Take(row, record.exitAddress, IsGoodResult(record.result));
    }
    if (!m_keepReasons || row < 0) {
        return;
    }
    std::uint16_t code = 0;
    if (const auto found = m_reasonIndex.find(record.reason); found != m_reasonIndex.end()) {
        code = found->second;
    } else if (m_reasons.size() < std::numeric_limits<std::uint16_t>::max()) {
        m_reasons.push_back(record.reason);
        code = static_cast<std::uint16_t>(m_reasons.size());
        m_reasonIndex.emplace(record.reason, code);
    }
    const auto index = static_cast<std::size_t>(row);
    if (m_rowReasons.size() <= index) {
        m_rowReasons.resize(index + 1, 0);
    }
    m_rowReasons[index] = code;
}

void RunRecorder::RunEnded() {
    std::lock_guard lock(m_mutex);
    if (m_history != nullptr && !m_abandoned) {
        m_history->HandOver();
    }
}

std::string RunRecorder::ReasonOf(int row) const {
    std::lock_guard lock(m_mutex);
    const auto index = static_cast<std::size_t>(row);
    if (row < 0 || index >= m_rowReasons.size() || m_rowReasons[index] == 0) {
        return {};
    }
    return m_reasons[m_rowReasons[index] - 1U];
}

bool RunRecorder::PlaceOf(int row, GeoPlace& place) const {
    std::lock_guard lock(m_mutex);
    return m_places != nullptr && m_places->PlaceOf(row, place);
}

bool RunRecorder::Keeps(int row) const {
    std::lock_guard lock(m_mutex);
    return m_places == nullptr || m_places->Keeps(row);
}

void RunRecorder::Abandon() {
    std::lock_guard lock(m_mutex);
    m_abandoned = true;
}

} // namespace zandel::cli
