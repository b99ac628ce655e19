#include "core/settings/FieldRules.h"

#include <algorithm>
#include <limits>

namespace zandel {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string ReplaceAll(std::string text, std::string_view placeholder, const std::string& value) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size())) {
        text.replace(at, placeholder.size(), value);
    }
    return text;
}

} // namespace

std::string IntRangeMessage(int lowest, int highest) {
    return ReplaceAll(ReplaceAll(kIntRangeMessage, "%1", std::to_string(lowest)), "%2", std::to_string(highest));
}

std::string TextLimitMessage(std::size_t limit) {
    return ReplaceAll(kTextLimitMessage, "%1", std::to_string(limit));
}

std::optional<int> ParseDialogInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t digitsStart = i;
    long long value = 0;
    constexpr long long kCap = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(kCap, value * 10 + (text[i] - '0'));
    }
    if (i == digitsStart) {
        return std::nullopt;
    }
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    value = negative ? -value : value;
    value = std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    return static_cast<int>(value);
}

FieldCheck CheckIntField(std::string_view text, int lowest, int highest, int& value) {
    const std::optional<int> parsed = ParseDialogInt(text);
    if (!parsed) {
        return {false, kNotAnIntegerMessage};
    }
    if (*parsed < lowest || *parsed > highest) {
        return {false, IntRangeMessage(lowest, highest)};
    }
    value = *parsed;
    return {};
}

FieldCheck CheckTextField(std::string_view text, std::size_t limit) {
    if (text.size() > limit) {
        return {false, TextLimitMessage(limit)};
    }
    return {};
}

int SpinStep(std::string_view text, int fallback, int delta, int lowest, int highest) {
    const long long start = ParseDialogInt(text).value_or(fallback);
    return static_cast<int>(std::clamp<long long>(start + delta, lowest, highest));
}

} // namespace zandel
