#include "core/util/Text.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace zandel {

namespace {

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

bool IsValidUtf8(std::string_view text) {
    Utf8Check check;
    check.Add(text);
    return check.Valid();
}

bool IsShiftJisLead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

} // namespace

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

void Utf8Check::Add(unsigned char c) {
    if (m_pending > 0) {
        m_valid = m_valid && IsContinuation(c);
        --m_pending;
    } else if (c >= 0xC2 && c <= 0xDF) {
        m_pending = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
        m_pending = 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
        m_pending = 3;
    } else if (c >= 0x80) {
        m_valid = false;
    }
}

void Utf8Check::Add(std::string_view bytes) {
    for (const char c : bytes) {
        Add(static_cast<unsigned char>(c));
    }
}

std::string CutBytes(std::string_view text, std::size_t limit) {
    return std::string(text.substr(0, std::min(limit, text.size())));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

int CompareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(FoldAscii(a[i]));
        const auto cb = static_cast<unsigned char>(FoldAscii(b[i]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

long long ParseLeadingInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    constexpr long long kCap = std::numeric_limits<int>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(kCap + 1, value * 10 + (text[i] - '0'));
    }
    return negative ? -value : value;
}

void AssignJoined(std::string& text, std::initializer_list<std::string_view> pieces) {
    std::size_t size = 0;
    for (const std::string_view piece : pieces) {
        size += piece.size();
    }
    text.clear();
    text.reserve(size);
    for (const std::string_view piece : pieces) {
        text += piece;
    }
}

std::string CrLfToLf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t cr = text.find("\r\n"); cr != std::string_view::npos; cr = text.find("\r\n", cr + 2)) {
        out.append(text.substr(from, cr - from));
        from = cr + 1;
    }
    out.append(text.substr(from));
    return out;
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

void AppendDecimal(std::string& text, unsigned value, int width) {
    char digits[16];
    char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    for (auto count = static_cast<int>(end - digits); count < width; ++count) {
        text.push_back('0');
    }
    text.append(digits, end);
}

bool ReadDigits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at > text.size() || count > text.size() - at) {
        return false;
    }
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace zandel
