#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zandel {

// The codes CompactRows keeps cells as, each turned back into exactly the text it came from: an IPv4 address and
// port as its numbers, a response time as milliseconds, a check time as seconds since 1970 (the date as written,
// not a moment in time). An Encode function refuses a text whose code would not give it back byte for byte.

// The codes of an empty cell and an unchecked one, above every time and date that has a code.
constexpr std::uint32_t kEmptyCode = 0xFFFFFFFF;
constexpr std::uint32_t kUncheckedCode = 0xFFFFFFFE;

// A cell's text built on the stack: a row's codes are turned back into text, and checked against the text they
// came from, once per cell a check writes, so this path allocates nothing.
class ShortText {
public:
    void Put(char c) { m_bytes[m_size++] = c; }
    void PutNumber(unsigned value, int width = 0) {
        char digits[10] = {};
        char* const end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        for (auto count = end - digits; count < width; ++count) {
            Put('0');
        }
        for (const char* digit = digits; digit != end; ++digit) {
            Put(*digit);
        }
    }
    std::string_view View() const { return {m_bytes, m_size}; }
    std::string Text() const { return std::string(View()); }

private:
    char m_bytes[24]; // the longest cell written here, "255.255.255.255:65535", is 21 bytes
    std::size_t m_size = 0;
};

ShortText Ipv4Text(std::uint32_t address, std::uint16_t port);
// "a.b.c.d:port" exactly as Ipv4Text writes it.
bool EncodeIpv4(std::string_view text, std::uint32_t& address, std::uint16_t& port);

ShortText TimeText(std::uint32_t code);
// Seconds, a point and three digits of milliseconds.
bool EncodeTime(std::string_view text, std::uint32_t& code);

ShortText DateText(std::uint32_t code);
// "yyyy/MM/dd(HH:mm:ss)" of a real date and time from 1970 on.
bool EncodeDate(std::string_view text, std::uint32_t& code);

// The cell of a time or date code: empty, unchecked, or the code's text.
std::string CodedText(std::uint32_t code, const char* unchecked, ShortText (*text)(std::uint32_t));

} // namespace zandel
