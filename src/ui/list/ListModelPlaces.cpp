// Where each row's proxy leaves to the Internet: as this session's checks found it, else as the history last saw it.

#include "ui/list/ListModel.h"

#include "core/check/CheckFormat.h"
#include "core/history/HistoryColumns.h"
#include "core/util/DateFields.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

void ListModel::SetPlace(int row, const GeoPlace& place, bool good) {
    if (row < 0 || row >= Count()) {
        return;
    }
    Extra& extra = m_extras[Index(row)];
    if (!good && (extra.country != 0 || extra.asn != 0)) {
        return;
    }
    extra.country = m_places.Learn(place);
    extra.asn = place.asn;
    extra.datacenter = place.datacenter;
    Changed(row, kCountryColumn, kAsnColumn);
}

bool ListModel::PlaceOf(int row, GeoPlace& place) const {
    const Extra& extra = m_extras[Index(row)];
    if (!m_places.PlaceOf(extra.country, extra.asn, place)) {
        return false;
    }
    place.datacenter = extra.datacenter;
    return true;
}

std::string ListModel::PlaceKey(int row, int column) const {
    const Extra& extra = m_extras[Index(row)];
    if (column == kAsnColumn) {
        return extra.asn != 0 ? std::to_string(extra.asn) : std::string();
    }
    GeoPlace place;
    m_places.PlaceOf(extra.country, 0, place);
    return place.country;
}

// "JP Japan"; "AS16509 Amazon.com, Inc. [DC]" for a network of a data centre.
QString ListModel::PlaceText(int row, int column) const {
    GeoPlace place;
    const bool ours = PlaceOf(row, place);
    if (!ours && !EarlierPlaceOf(row, place)) {
        return {};
    }
    // A place from the history may come without its names.
    const auto named = [ours](const std::string& code, const std::string& name) {
        return ours || !name.empty() ? code + " " + name : code;
    };
    if (column == kCountryColumn) {
        return place.country.empty() ? QString() : FromBytes(named(place.country, place.countryName));
    }
    if (place.asn == 0) {
        return {};
    }
    return FromBytes(named("AS" + std::to_string(place.asn), place.asName) + (place.datacenter ? " [DC]" : ""));
}

// The place the history last saw the row's proxy leave from, while its figures are read (the uptime columns show): so
// that a row not yet checked in this session, or failing now, still shows where it was seen working. Without names
// where this session has not learnt them, and without the data-centre mark, which the history does not keep.
const HistoryPlace* ListModel::EarlierPlace(int row) const {
    if (m_figures == nullptr) {
        return nullptr;
    }
    const HistorySummary* summary = m_figures->Find(m_rows.Cell(row, 0));
    return summary != nullptr && summary->place.Known() ? &summary->place : nullptr;
}

bool ListModel::EarlierPlaceOf(int row, GeoPlace& place) const {
    const HistoryPlace* earlier = EarlierPlace(row);
    if (earlier == nullptr) {
        return false;
    }
    place.country = earlier->country;
    place.asn = earlier->asn;
    m_places.NameOf(place);
    return true;
}

// Where a place the columns show from the history comes from; none for a place of this session.
QVariant ListModel::PlaceTip(int row) const {
    GeoPlace place;
    const HistoryPlace* earlier = PlaceOf(row, place) ? nullptr : EarlierPlace(row);
    if (earlier == nullptr) {
        return {};
    }
    const std::optional<std::time_t> when = ParseIsoUtc(earlier->checkedAt);
    return FromBytes("ﾁｪｯｸ履歴より: " + (when ? FormatCheckTime(*when) : earlier->checkedAt) + " " +
                     earlier->exitAddress + (earlier->good ? "" : " (NG)"));
}

} // namespace zandel::ui
