#pragma once

#include <optional>
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

} // namespace zandel
