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

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if (!IsContinuation(static_cast<unsigned char>(text[i + k]))) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

bool IsShiftJisLead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
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

std::string CutAtCharBoundary(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return std::string(text);
    }
    std::size_t end = limit;
    if (IsValidUtf8(text)) {
        while (end > 0 && IsContinuation(static_cast<unsigned char>(text[end]))) {
            --end;
        }
        return std::string(text.substr(0, end));
    }
    // Shift-JIS from the Windows program: keep a double-byte character whole or not at all.
    std::size_t i = 0;
    while (i < limit) {
        const std::size_t width = IsShiftJisLead(static_cast<unsigned char>(text[i])) ? 2 : 1;
        if (i + width > limit) {
            break;
        }
        i += width;
    }
    return std::string(text.substr(0, i));
}

} // namespace zandel
