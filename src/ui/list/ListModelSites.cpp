// The sites' classes of each row and their columns' titles and tips.

#include "ui/list/ListModel.h"

#include <algorithm>

namespace zandel::ui {

void ListModel::SetSites(int row, const std::vector<SiteVerdict>& sites) {
    if (row < 0 || row >= Count()) {
        return;
    }
    std::uint32_t packed = 0;
    for (std::size_t i = 0; i < std::min(sites.size(), kMaxSites); ++i) {
        packed |= (static_cast<std::uint32_t>(sites[i].verdict) + 1) << (kSiteBits * i);
    }
    m_extras[Index(row)].sites = packed;
    Changed(row, kFirstSiteColumn, kShownColumnCount - 1);
}

RowFindings ListModel::Findings(int row) const {
    const Extra& extra = m_extras[Index(row)];
    return {.sites = extra.sites, .asn = extra.asn, .country = extra.country, .datacenter = extra.datacenter};
}

void ListModel::SetFindings(int row, const RowFindings& findings) {
    Extra& extra = m_extras[Index(row)];
    extra.sites = findings.sites;
    extra.asn = findings.asn;
    extra.country = findings.country;
    extra.datacenter = findings.datacenter;
    Changed(row, kCountryColumn, kShownColumnCount - 1);
}

bool ListModel::SitesOf(int row, std::vector<SiteClass>& classes, std::size_t count) const {
    const std::uint32_t packed = m_extras[Index(row)].sites;
    if (packed == 0) {
        return false;
    }
    classes.clear();
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned code = SiteCode(packed, static_cast<int>(i));
        classes.push_back(code == 0 ? SiteClass::Failed : static_cast<SiteClass>(code - 1));
    }
    return true;
}

std::string ListModel::SiteKey(int row, int column) const {
    const unsigned code = SiteCode(m_extras[Index(row)].sites, column - kFirstSiteColumn);
    return code == 0 ? std::string() : std::to_string(SiteClassRank(static_cast<SiteClass>(code - 1)));
}

void ListModel::ResetSites(const QStringList& titles) {
    for (Extra& extra : m_extras) {
        extra.sites = 0;
    }
    for (int i = 0; i < static_cast<int>(kMaxSites); ++i) {
        m_titles[kFirstSiteColumn + i] = titles.value(i);
    }
    Q_EMIT headerDataChanged(Qt::Horizontal, kFirstSiteColumn, kShownColumnCount - 1);
    const auto [top, bottom] = RowsInView();
    if (top <= bottom) {
        Q_EMIT dataChanged(index(top, kFirstSiteColumn), index(bottom, kShownColumnCount - 1));
    }
    Q_EMIT cellsChanged(kFirstSiteColumn, kShownColumnCount - 1);
}

void ListModel::SetSiteTips(const QStringList& tips) {
    m_tips.resize(kShownColumnCount);
    for (int i = 0; i < static_cast<int>(kMaxSites); ++i) {
        m_tips[kFirstSiteColumn + i] = tips.value(i);
    }
}

unsigned ListModel::SiteCode(std::uint32_t packed, int site) {
    return (packed >> (kSiteBits * static_cast<unsigned>(site))) & ((1U << kSiteBits) - 1);
}

} // namespace zandel::ui
