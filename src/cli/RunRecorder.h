#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/RunPlaces.h"
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
    // `places`, when databases are open, is told each row's exit address.
    // `siteCount`: the sites fetched through each proxy that passes, whose classes are kept for an export.
    RunRecorder(HistoryRecorder* history, bool keepReasons, RunPlaces* places, std::size_t siteCount = 0)
        : m_history(history), m_keepReasons(keepReasons), m_places(places),
          m_lookUp(places != nullptr && places->Any()), m_siteCount(keepReasons ? siteCount : 0) {}

    void Recorded(int row, const CheckRecord& record) override;
    void RunEnded() override;
    bool WantsExitAddress() const override { return m_lookUp; }
    // The row's place, and whether --country writes it, as this run found them.
    bool PlaceOf(int row, GeoPlace& place) const;
    bool Keeps(int row) const;
    // The reason of the row's check in this run, "" when it was not checked.
    std::string ReasonOf(int row) const;
    // The row's class of each site in this run; false when its proxy was not checked on them.
    bool SitesOf(int row, std::vector<SiteClass>& classes) const;
    // A run thread given up on may still judge a row: from now on nothing is kept.
    void Abandon();

private:
    void KeepSites(int row, const std::vector<SiteVerdict>& sites);

    HistoryRecorder* m_history;
    bool m_keepReasons;
    RunPlaces* m_places;
    bool m_lookUp; // a database is open
    mutable std::mutex m_mutex;
    bool m_abandoned = false;
    std::vector<std::uint16_t> m_rowReasons; // 0: none, else an index + 1 into m_reasons
    std::vector<std::string> m_reasons;
    std::unordered_map<std::string, std::uint16_t> m_reasonIndex;
    std::size_t m_siteCount;
    std::vector<std::uint8_t> m_rowSites; // m_siteCount a row: 0 none, else the class + 1
};

} // namespace zandel::cli
