#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace zandel {

// Texts that pass through fixed 260-byte fields (cells, list slots, paths) hold at most this many bytes.
inline constexpr std::size_t kMaxFieldText = 259;

// The first `limit` bytes of `text`.
std::string CutBytes(std::string_view text, std::size_t limit = kMaxFieldText);

// At most `limit` bytes of `text`, never cut inside a character: UTF-8 when the text is valid UTF-8, else
// Shift-JIS (a double-byte character is kept whole or not at all).
std::string CutAtCharBoundary(std::string_view text, std::size_t limit = kMaxFieldText);

// Whether bytes fed in pieces make valid UTF-8 as a whole (a character may span two pieces).
class Utf8Check final {
public:
    void Add(unsigned char c);
    void Add(std::string_view bytes);
    bool Valid() const { return m_valid && m_pending == 0; }

private:
    bool m_valid = true;
    int m_pending = 0; // continuation bytes still owed by the last lead byte
};

// ASCII letter case folded; bytes above 0x7F (Shift-JIS, UTF-8) compare as they are.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
int CompareNoCase(std::string_view a, std::string_view b);
// An ASCII capital as its small letter; any other byte as it is. Texts folded so compare as bytes as CompareNoCase
// does.
char FoldAscii(char c);

// The C library's atoi: optional blanks and sign, leading digits, 0 when there are none. Never overflows.
long long ParseLeadingInt(std::string_view text);

// The `count` decimal digits of `text` from `at` as a number; false when one of them is not a digit or the text
// ends first.
bool ReadDigits(std::string_view text, std::size_t at, std::size_t count, int& value);

// `value` in decimal at the end of `text`, zeros in front up to `width` digits (printf's "%0*u").
void AppendDecimal(std::string& text, unsigned value, int width = 0);

// string_view's find_first_of and find_first_not_of for a set of a few bytes, without the library call the standard
// ones make for each byte looked at: every address of a list goes through them several times.
inline bool IsOneOf(char c, std::string_view set) {
    for (const char member : set) {
        if (member == c) {
            return true;
        }
    }
    return false;
}
inline std::size_t FindAnyOf(std::string_view text, std::string_view set, std::size_t from = 0) {
    for (std::size_t i = from; i < text.size(); ++i) {
        if (IsOneOf(text[i], set)) {
            return i;
        }
    }
    return std::string_view::npos;
}
inline std::size_t FindNoneOf(std::string_view text, std::string_view set, std::size_t from = 0) {
    for (std::size_t i = from; i < text.size(); ++i) {
        if (!IsOneOf(text[i], set)) {
            return i;
        }
    }
    return std::string_view::npos;
}

// `text` made of the pieces one after another, allocating at most once (not at all where its room suffices): the
// grade writes a reason and a transcript text for every page, and a chain of + allocates at each step.
void AssignJoined(std::string& text, std::initializer_list<std::string_view> pieces);

// Every CR LF pair turned into LF (for showing a Windows-style text on a Linux console).
std::string CrLfToLf(std::string_view text);

} // namespace zandel
