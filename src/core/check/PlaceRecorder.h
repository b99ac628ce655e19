#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "core/check/CheckEngine.h"
#include "core/geo/GeoLookup.h"

namespace zandel {

// The list window's recorder: hands each judged check on (to the history), tells where the row's proxy left to the
// Internet, by the exit address the engine decided (the judge's REMOTE_ADDR, else the proxy's own address), and what
// each site answered through it.
class PlaceRecorder final : public ICheckRecorder {
public:
    // Called on the run thread for every row judged while databases are open; `good`: the check passed.
    using Placed = std::function<void(int row, const GeoPlace& place, bool good)>;
    explicit PlaceRecorder(Placed placed) : m_placed(std::move(placed)) {}

    // Called on the run thread for every row judged while the run fetches sites: the classes of a check that passed,
    // none for one that did not.
    using Sited = std::function<void(int row, const std::vector<SiteVerdict>& sites)>;
    void SetSited(Sited sited) { m_sited = std::move(sited); }

    // Set while no run is on its way.
    void SetInner(ICheckRecorder* inner) { m_inner = inner; }
    void SetLookup(std::shared_ptr<const GeoLookup> lookup);
    void SetFetchesSites(bool fetches) { m_fetchesSites = fetches; }

    void Recorded(int row, const CheckRecord& record) override;
    void RunEnded() override;
    bool WantsExitAddress() const override;

private:
    Placed m_placed;
    Sited m_sited;
    std::atomic<ICheckRecorder*> m_inner{nullptr};
    std::atomic<bool> m_fetchesSites{false};
    std::shared_ptr<const GeoLookup> Lookup() const;

    mutable std::mutex m_mutex;
    std::shared_ptr<const GeoLookup> m_lookup;
};

} // namespace zandel
