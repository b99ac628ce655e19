#pragma once

namespace zandel {

// The ranges of the settings whose owners lie above the settings record (the re-check schedule, the history):
// kept here so that the record needs none of them.

// Re-checks in the background: every so many minutes, off unless the user asks for them.
inline constexpr int kRecheckMinutesLowest = 5;
inline constexpr int kRecheckMinutesHighest = 1440;
inline constexpr int kRecheckMinutesDefault = 30;

// How many days of checks the history keeps.
inline constexpr int kHistoryKeepDaysDefault = 30;
inline constexpr int kHistoryKeepDaysLowest = 1;
inline constexpr int kHistoryKeepDaysHighest = 3650;

} // namespace zandel
