#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace zandel {

// A date and time as written in a cell or a record, field by field, each within its calendar range (a leap second
// allowed; whether the day exists in its month is the caller's to ask).
struct DateFields {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// "YYYY?MM?DD?hh?mm?ss", exactly 19 bytes, with the five separators given ("--T::" for ISO 8601, "//(::" for the
// list's check time): digits where digits stand, nothing else.
std::optional<DateFields> ReadDateFields(std::string_view text, std::string_view separators);
// Reads "YYYY?MM?DD?hh?mm?ss" with the given separators into a calendar record.
bool ReadCalendar(std::string_view text, std::string_view separators, std::tm& out);

// "2026-12-09T05:27:06Z".
std::string IsoUtc(std::time_t when);
// The time of an ISO text IsoUtc wrote; nothing for any other text.
std::optional<std::time_t> ParseIsoUtc(std::string_view text);

} // namespace zandel
