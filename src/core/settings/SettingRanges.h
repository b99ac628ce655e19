#pragma once

namespace zandel {

// The defaults of the settings whose owners lie above the settings record (the re-check schedule, the history),
// named for the settings table and for the texts and callers that name them too; their bounds are in the table.

// Re-checks in the background: every so many minutes, off unless the user asks for them.
inline constexpr int kRecheckMinutesDefault = 30;

// How many days of checks the history keeps.
inline constexpr int kHistoryKeepDaysDefault = 30;

} // namespace zandel
