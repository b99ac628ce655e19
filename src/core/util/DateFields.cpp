#include "core/util/DateFields.h"

#include <cstddef>

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

} // namespace zandel
