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

// Looked up before the check is handed on, so that the history keeps the place with it.
void PlaceRecorder::Recorded(int row, const CheckRecord& record) {
    ICheckRecorder* inner = m_inner.load();
    if (row >= 0 && m_fetchesSites && m_sited) {
        m_sited(row, record.sites);
    }
    const std::shared_ptr<const GeoLookup> lookup = Lookup();
    if (lookup == nullptr || !lookup->Any()) {
        if (inner != nullptr) {
            inner->Recorded(row, record);
        }
        return;
    }
    GeoPlace place;
    lookup->LookUp(record.exitAddress, place);
    if (inner != nullptr) {
        CheckRecord placed = record;
        placed.country = place.country;
        placed.asn = place.asn;
        inner->Recorded(row, placed);
    }
    if (row >= 0) {
        m_placed(row, place, IsGoodResult(record.result));
    }
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
