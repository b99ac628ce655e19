// HistoryStore's readers: the summaries the list's columns show, one address's checks and served connections.

#include <algorithm>
#include <unordered_map>

#include "core/history/HistorySqlite.h"
#include "core/history/HistoryStore.h"

namespace zandel {

namespace {

using history::BindForms;
using history::Sqlite;
using history::Statement;

// Carried and failed connections of each address; those that failed for their site alone are not counted.
constexpr const char* kServedCounts =
    "SELECT address, sum(result = 'OK'), sum(result = 'NG') FROM served GROUP BY address";

// Good checks and carried connections of all checks and counted connections.
double Uptime(const HistorySummary& summary) {
    const int all = summary.checks + summary.served;
    return all == 0 ? 0.0 : static_cast<double>(summary.good + summary.servedGood) / all;
}

// The place of the check `row` stands on (from column `first`: checked_at, country, asn, exit_address), kept where it
// is later than `place` among checks of its kind, a good check's over any failed one's.
void KeepLatestPlace(const Statement& row, int first, bool good, HistoryPlace& place) {
    if (Sqlite().sqlite3_column_type(row.Get(), first + 1) == SQLITE_NULL &&
        Sqlite().sqlite3_column_type(row.Get(), first + 2) == SQLITE_NULL) {
        return;
    }
    if (place.Known() && place.good && !good) {
        return;
    }
    std::string checkedAt = row.ColumnText(first);
    if (place.Known() && place.good == good && checkedAt < place.checkedAt) {
        return;
    }
    place.checkedAt = std::move(checkedAt);
    place.good = good;
    place.country = row.ColumnText(first + 1);
    place.asn = static_cast<std::uint32_t>(Sqlite().sqlite3_column_int64(row.Get(), first + 2));
    place.exitAddress = row.ColumnText(first + 3);
}

} // namespace

std::string HistoryUnusableMessage(const std::string& cause) {
    return "ﾁｪｯｸ履歴(" + std::string(kHistoryFileName) + ")を使えません。\n履歴を残さずにﾁｪｯｸを続けます。\n\n" + cause;
}

std::optional<int> MedianMs(std::vector<int> times) {
    if (times.empty()) {
        return std::nullopt;
    }
    const std::size_t middle = times.size() / 2;
    std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(middle), times.end());
    const int upper = times[middle];
    if (times.size() % 2 == 1) {
        return upper;
    }
    const int lower = *std::max_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(middle));
    return static_cast<int>((static_cast<long long>(lower) + upper) / 2);
}

std::vector<HistorySummary> HistoryStore::Summaries() {
    std::vector<HistorySummary> summaries;
    if (m_db == nullptr) {
        return summaries;
    }
    const Statement select(m_db, m_hasPlaces ? "SELECT address, result, response_ms, checked_at, country, asn, "
                                               "exit_address FROM checks ORDER BY address"
                                             : "SELECT address, result, response_ms FROM checks ORDER BY address");
    if (!select) {
        return summaries;
    }
    // A proxy's checks may be kept under more than one form of its address (an older version's among them):
    // they are summed up as one, under the form met first.
    std::unordered_map<std::string, std::size_t> groupIndex;
    std::vector<std::vector<int>> times;
    std::string address;
    std::size_t index = 0;
    while (Sqlite().sqlite3_step(select.Get()) == SQLITE_ROW) {
        std::string next = select.ColumnText(0);
        if (summaries.empty() || next != address) {
            address = std::move(next);
            const auto [found, added] = groupIndex.emplace(HistoryGroupOf(address), summaries.size());
            if (added) {
                summaries.push_back({address, 0, 0, 0.0, std::nullopt});
                times.emplace_back();
            }
            index = found->second;
        }
        HistorySummary& summary = summaries[index];
        ++summary.checks;
        const bool good = IsGoodResult(select.ColumnText(1));
        if (good) {
            ++summary.good;
            if (const std::optional<int> ms = select.ColumnInt(2)) {
                times[index].push_back(*ms);
            }
        }
        if (m_hasPlaces) {
            KeepLatestPlace(select, 3, good, summary.place);
        }
    }
    for (std::size_t i = 0; i < summaries.size(); ++i) {
        summaries[i].medianMs = MedianMs(std::move(times[i]));
    }
    AddServedSummaries(summaries);
    for (HistorySummary& summary : summaries) {
        summary.uptime = Uptime(summary);
    }
    return summaries;
}

// Each address's served connections into its group's summary, a summary of its own for an address the serve alone
// has seen; the summaries stay in address order.
void HistoryStore::AddServedSummaries(std::vector<HistorySummary>& summaries) {
    if (!m_hasServed) {
        return;
    }
    const Statement select(m_db, kServedCounts);
    if (!select) {
        return;
    }
    std::unordered_map<std::string, std::size_t> groupIndex;
    for (std::size_t i = 0; i < summaries.size(); ++i) {
        groupIndex.emplace(HistoryGroupOf(summaries[i].address), i);
    }
    const std::size_t checked = summaries.size();
    while (Sqlite().sqlite3_step(select.Get()) == SQLITE_ROW) {
        const std::string address = select.ColumnText(0);
        const int good = select.ColumnInt(1).value_or(0);
        const int counted = good + select.ColumnInt(2).value_or(0);
        if (counted == 0) {
            continue;
        }
        const auto [found, added] = groupIndex.emplace(HistoryGroupOf(address), summaries.size());
        if (added) {
            summaries.push_back({address, 0, 0, 0.0, std::nullopt});
        }
        summaries[found->second].served += counted;
        summaries[found->second].servedGood += good;
    }
    if (summaries.size() > checked) {
        std::stable_sort(summaries.begin(), summaries.end(),
                         [](const HistorySummary& a, const HistorySummary& b) { return a.address < b.address; });
    }
}

std::optional<HistorySummary> HistoryStore::SummaryOf(const std::string& address) {
    if (m_db == nullptr) {
        return std::nullopt;
    }
    const Statement select(m_db, m_hasPlaces ? "SELECT result, response_ms, checked_at, country, asn, exit_address "
                                               "FROM checks WHERE address IN (?1, ?2, ?3)"
                                             : "SELECT result, response_ms FROM checks WHERE address IN (?1, ?2, ?3)");
    if (!select) {
        return std::nullopt;
    }
    BindForms(select, address);
    HistorySummary summary{address, 0, 0, 0.0, std::nullopt};
    std::vector<int> times;
    while (Sqlite().sqlite3_step(select.Get()) == SQLITE_ROW) {
        ++summary.checks;
        const bool good = IsGoodResult(select.ColumnText(0));
        if (good) {
            ++summary.good;
            if (const std::optional<int> ms = select.ColumnInt(1)) {
                times.push_back(*ms);
            }
        }
        if (m_hasPlaces) {
            KeepLatestPlace(select, 2, good, summary.place);
        }
    }
    if (m_hasServed) {
        const Statement served(m_db, "SELECT sum(result = 'OK'), sum(result = 'NG') FROM served "
                                     "WHERE address IN (?1, ?2, ?3)");
        if (served) {
            BindForms(served, address);
            if (Sqlite().sqlite3_step(served.Get()) == SQLITE_ROW) {
                summary.servedGood = served.ColumnInt(0).value_or(0);
                summary.served = summary.servedGood + served.ColumnInt(1).value_or(0);
            }
        }
    }
    if (summary.checks + summary.served == 0) {
        return std::nullopt;
    }
    summary.uptime = Uptime(summary);
    summary.medianMs = MedianMs(std::move(times));
    return summary;
}

std::vector<CheckRecord> HistoryStore::ChecksOf(const std::string& address) {
    std::vector<CheckRecord> checks;
    if (m_db == nullptr) {
        return checks;
    }
    const Statement select(m_db, m_hasPlaces ? "SELECT address, kind, result, response_ms, https, checked_at, reason, "
                                               "exit_address, country, asn FROM checks WHERE address IN (?1, ?2, ?3) "
                                               "ORDER BY checked_at, id"
                                             : "SELECT address, kind, result, response_ms, https, checked_at, reason "
                                               "FROM checks WHERE address IN (?1, ?2, ?3) ORDER BY checked_at, id");
    if (!select) {
        return checks;
    }
    BindForms(select, address);
    while (Sqlite().sqlite3_step(select.Get()) == SQLITE_ROW) {
        CheckRecord& check = checks.emplace_back(
            CheckRecord{select.ColumnText(0), select.ColumnText(1), select.ColumnText(2), select.ColumnInt(3),
                        select.ColumnText(4), select.ColumnText(5), select.ColumnText(6), std::string()});
        if (m_hasPlaces) {
            check.exitAddress = select.ColumnText(7);
            check.country = select.ColumnText(8);
            check.asn = static_cast<std::uint32_t>(Sqlite().sqlite3_column_int64(select.Get(), 9));
        }
    }
    return checks;
}

long long HistoryStore::Count() {
    if (m_db == nullptr) {
        return -1;
    }
    const Statement count(m_db, "SELECT count(*) FROM checks");
    if (!count || Sqlite().sqlite3_step(count.Get()) != SQLITE_ROW) {
        return -1;
    }
    return Sqlite().sqlite3_column_int64(count.Get(), 0);
}

std::vector<ServedRecord> HistoryStore::ServedOf(const std::string& address) {
    std::vector<ServedRecord> served;
    if (m_db == nullptr || !m_hasServed) {
        return served;
    }
    const Statement select(m_db, "SELECT address, kind, target, tries, result, served_at FROM served "
                                 "WHERE address IN (?1, ?2, ?3) ORDER BY served_at, id");
    if (!select) {
        return served;
    }
    BindForms(select, address);
    while (Sqlite().sqlite3_step(select.Get()) == SQLITE_ROW) {
        served.push_back({select.ColumnText(0), select.ColumnText(1), select.ColumnText(2),
                          select.ColumnInt(3).value_or(0), select.ColumnText(4), select.ColumnText(5)});
    }
    return served;
}

std::vector<SiteUptime> HistoryStore::SiteUptimes(const std::string& address) {
    std::vector<SiteUptime> uptimes;
    if (m_db == nullptr) {
        return uptimes;
    }
    // A history no site was ever checked in may have no such table (one of an older version opened to read).
    const Statement select(m_db, address.empty()
                                     ? "SELECT site, class FROM site_checks ORDER BY rowid"
                                     : "SELECT site, class FROM site_checks WHERE check_id IN (SELECT id FROM checks "
                                       "WHERE address IN (?1, ?2, ?3)) ORDER BY rowid");
    if (!select) {
        return uptimes;
    }
    if (!address.empty()) {
        BindForms(select, address);
    }
    while (Sqlite().sqlite3_step(select.Get()) == SQLITE_ROW) {
        std::string site = select.ColumnText(0);
        auto found = std::find_if(uptimes.begin(), uptimes.end(),
                                  [&site](const SiteUptime& known) { return known.site == site; });
        if (found == uptimes.end()) {
            found = uptimes.insert(uptimes.end(), SiteUptime{std::move(site), 0, 0, 0.0});
        }
        ++found->checks;
        found->reached += select.ColumnText(1) == SiteClassName(SiteClass::Reached) ? 1 : 0;
    }
    for (SiteUptime& uptime : uptimes) {
        uptime.uptime = static_cast<double>(uptime.reached) / uptime.checks;
    }
    return uptimes;
}

} // namespace zandel
