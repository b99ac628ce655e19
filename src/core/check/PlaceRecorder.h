#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "core/check/CheckEngine.h"
#include "core/geo/GeoLookup.h"

namespace zandel {

// The list window's recorder: hands each judged check on (to the history) and tells where the row's proxy left to
// the Internet, by the exit address the engine decided (the judge's REMOTE_ADDR, else the proxy's own address).
class PlaceRecorder final : public ICheckRecorder {
public:
    // Called on the run thread for every row judged while databases are open; `good`: the check passed.
    using Placed = std::function<void(int row, const GeoPlace& place, bool good)>;
    explicit PlaceRecorder(Placed placed) : m_placed(std::move(placed)) {}

    // Both set while no run is on its way.
    void SetInner(ICheckRecorder* inner) { m_inner = inner; }
    void SetLookup(std::shared_ptr<const GeoLookup> lookup);

    void Recorded(int row, const CheckRecord& record) override;
    void RunEnded() override;
    bool WantsExitAddress() const override;

private:
    Placed m_placed;
    std::atomic<ICheckRecorder*> m_inner{nullptr};
    std::shared_ptr<const GeoLookup> Lookup() const;

    mutable std::mutex m_mutex;
    std::shared_ptr<const GeoLookup> m_lookup;
};

} // namespace zandel
