#include "core/util/DateFields.h"

#include <cstddef>
#include <ctime>
#include <string>

#include "core/util/Text.h"

namespace zandel {

std::optional<DateFields> ReadDateFields(std::string_view text, std::string_view separators) {
    if (text.size() != 19 || separators.size() != 5) {
        return std::nullopt;
    }
    static constexpr std::size_t kSeparatorAt[] = {4, 7, 10, 13, 16};
    for (std::size_t i = 0; i < 5; ++i) {
        if (text[kSeparatorAt[i]] != separators[i]) {
            return std::nullopt;
        }
    }
    DateFields f;
    if (!ReadDigits(text, 0, 4, f.year) || !ReadDigits(text, 5, 2, f.month) || !ReadDigits(text, 8, 2, f.day) ||
        !ReadDigits(text, 11, 2, f.hour) || !ReadDigits(text, 14, 2, f.minute) || !ReadDigits(text, 17, 2, f.second) ||
        f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 || f.hour > 23 || f.minute > 59 || f.second > 60) {
        return std::nullopt;
    }
    return f;
}

std::string IsoUtc(std::time_t when) {
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// Reads "YYYY?MM?DD?hh?mm?ss" with the given separators into a calendar record.
bool ReadCalendar(std::string_view text, std::string_view separators, std::tm& out) {
    const std::optional<DateFields> fields = ReadDateFields(text, separators);
    if (!fields) {
        return false;
    }
    out = std::tm{};
    out.tm_year = fields->year - 1900;
    out.tm_mon = fields->month - 1;
    out.tm_mday = fields->day;
    out.tm_hour = fields->hour;
    out.tm_min = fields->minute;
    out.tm_sec = fields->second;
    return true;
}

std::optional<std::time_t> ParseIsoUtc(std::string_view text) {
    if (text.size() != 20 || text.back() != 'Z') {
        return std::nullopt;
    }
    std::tm calendar{};
    if (!ReadCalendar(text.substr(0, 19), "--T::", calendar)) {
        return std::nullopt;
    }
    return timegm(&calendar);
}

} // namespace zandel
