#pragma once

#include <cstddef>

namespace zandel {

// The defaults of the settings whose owners lie above the settings record (the re-check schedule, the history),
// named for the settings table and for the texts and callers that name them too; their bounds are in the table.

// Re-checks in the background: every so many minutes, off unless the user asks for them.
inline constexpr int kRecheckMinutesDefault = 30;

// How many days of checks the history keeps.
inline constexpr int kHistoryKeepDaysDefault = 30;

// The pause before a check's second look (zandel-check's --twice-pause), and the longest one.
inline constexpr int kTwicePauseDefaultSeconds = 2;
inline constexpr int kTwicePauseMaxSeconds = 60;

// The offline country and ASN databases are fetched again once they are this many days old, and a database built
// longer ago than kGeoStaleDays is called out of date on its page: addresses change hands every month.
inline constexpr int kGeoRefreshDaysDefault = 30;
inline constexpr int kGeoStaleDays = 45;

// The most sites a run fetches through each live proxy ([Sites], zandel-check's --site).
inline constexpr std::size_t kMaxSites = 10;

} // namespace zandel
