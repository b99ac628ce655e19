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
    if (m_lookUp) {
        // Before the history takes the check, which keeps its place.
        const GeoPlace place = m_places->LookUp(record.exitAddress);
        m_places->Take(row, place, IsGoodResult(record.result));
        if (m_history != nullptr) {
            CheckRecord placed = record;
            placed.country = place.country;
            placed.asn = place.asn;
            m_history->Add(std::move(placed));
        }
    } else if (m_history != nullptr) {
        m_history->Add(record);
    }
    if (!m_keepReasons || row < 0) {
        return;
    }
    KeepSites(row, record.sites);
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

void RunRecorder::KeepSites(int row, const std::vector<SiteVerdict>& sites) {
    if (m_siteCount == 0) {
        return;
    }
    const std::size_t at = static_cast<std::size_t>(row) * m_siteCount;
    if (m_rowSites.size() < at + m_siteCount) {
        m_rowSites.resize(at + m_siteCount, 0);
    }
    // A later check of the row that did not pass leaves it unchecked on the sites.
    for (std::size_t i = 0; i < m_siteCount; ++i) {
        m_rowSites[at + i] = i < sites.size() ? static_cast<std::uint8_t>(static_cast<int>(sites[i].verdict) + 1) : 0;
    }
}

bool RunRecorder::SitesOf(int row, std::vector<SiteClass>& classes) const {
    std::lock_guard lock(m_mutex);
    const std::size_t at = static_cast<std::size_t>(row) * m_siteCount;
    if (row < 0 || m_siteCount == 0 || at + m_siteCount > m_rowSites.size() || m_rowSites[at] == 0) {
        return false;
    }
    classes.clear();
    for (std::size_t i = 0; i < m_siteCount; ++i) {
        classes.push_back(static_cast<SiteClass>(m_rowSites[at + i] - 1));
    }
    return true;
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
