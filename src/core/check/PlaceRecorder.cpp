#include "core/check/PlaceRecorder.h"

#include "core/list/CheckRecord.h"

namespace zandel {

void PlaceRecorder::SetLookup(std::shared_ptr<const GeoLookup> lookup) {
    std::lock_guard lock(m_mutex);
    m_lookup = std::move(lookup);
}

std::shared_ptr<const GeoLookup> PlaceRecorder::Lookup() const {
    std::lock_guard lock(m_mutex);
    return m_lookup;
}

void PlaceRecorder::Recorded(int row, const CheckRecord& record) {
    if (ICheckRecorder* inner = m_inner.load(); inner != nullptr) {
        inner->Recorded(row, record);
    }
    const std::shared_ptr<const GeoLookup> lookup = Lookup();
    if (row < 0 || lookup == nullptr || !lookup->Any()) {
        return;
    }
    GeoPlace place;
    lookup->LookUp(record.exitAddress, place);
    m_placed(row, place, IsGoodResult(record.result));
}

void PlaceRecorder::RunEnded() {
    if (ICheckRecorder* inner = m_inner.load(); inner != nullptr) {
        inner->RunEnded();
    }
}

bool PlaceRecorder::WantsExitAddress() const {
    const std::shared_ptr<const GeoLookup> lookup = Lookup();
    return lookup != nullptr && lookup->Any();
}

} // namespace zandel
