#include "core/list/CellCodes.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "core/list/ProxyRow.h"
#include "core/util/DateFields.h"

namespace zandel {

namespace {

// A number in [low, high] that fills the text; its form is checked by the caller's round trip.
template <class T> bool Number(std::string_view text, T low, T high, T& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

} // namespace

ShortText Ipv4Text(std::uint32_t address, std::uint16_t port) {
    ShortText text;
    text.PutNumber(address >> 24);
    text.Put('.');
    text.PutNumber((address >> 16) & 0xFF);
    text.Put('.');
    text.PutNumber((address >> 8) & 0xFF);
    text.Put('.');
    text.PutNumber(address & 0xFF);
    text.Put(':');
    text.PutNumber(port);
    return text;
}

bool EncodeIpv4(std::string_view text, std::uint32_t& address, std::uint16_t& port) {
    if (text.size() > 21) {
        return false;
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || !Number<std::uint16_t>(text.substr(colon + 1), 0, 65535, port)) {
        return false;
    }
    std::string_view rest = text.substr(0, colon);
    address = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = part < 3 ? rest.find('.') : rest.size();
        unsigned value = 0;
        if (dot == std::string_view::npos || !Number(rest.substr(0, dot), 0U, 255U, value)) {
            return false;
        }
        address = (address << 8) | value;
        rest = rest.substr(std::min(dot + 1, rest.size()));
    }
    return Ipv4Text(address, port).View() == text;
}

ShortText TimeText(std::uint32_t code) {
    ShortText text;
    text.PutNumber(code / 1000U);
    text.Put('.');
    text.PutNumber(code % 1000U, 3);
    return text;
}

bool EncodeTime(std::string_view text, std::uint32_t& code) {
    if (text.empty() || text == kUncheckedTime) {
        code = text.empty() ? kEmptyCode : kUncheckedCode;
        return true;
    }
    const std::size_t point = text.find('.');
    std::uint64_t seconds = 0;
    unsigned milliseconds = 0;
    if (point == std::string_view::npos || text.size() - point != 4 ||
        !Number<std::uint64_t>(text.substr(0, point), 0, kUncheckedCode / 1000, seconds) ||
        !Number(text.substr(point + 1), 0U, 999U, milliseconds)) {
        return false;
    }
    const std::uint64_t value = seconds * 1000 + milliseconds;
    if (value >= kUncheckedCode || TimeText(static_cast<std::uint32_t>(value)).View() != text) {
        return false;
    }
    code = static_cast<std::uint32_t>(value);
    return true;
}

ShortText DateText(std::uint32_t code) {
    using namespace std::chrono;
    const sys_days day{days{code / 86400}};
    const year_month_day date{day};
    const std::uint32_t second = code % 86400;
    ShortText text;
    text.PutNumber(static_cast<unsigned>(static_cast<int>(date.year())), 4);
    text.Put('/');
    text.PutNumber(static_cast<unsigned>(date.month()), 2);
    text.Put('/');
    text.PutNumber(static_cast<unsigned>(date.day()), 2);
    text.Put('(');
    text.PutNumber(second / 3600, 2);
    text.Put(':');
    text.PutNumber(second / 60 % 60, 2);
    text.Put(':');
    text.PutNumber(second % 60, 2);
    text.Put(')');
    return text;
}

bool EncodeDate(std::string_view text, std::uint32_t& code) {
    if (text.empty() || text == kUncheckedDate) {
        code = text.empty() ? kEmptyCode : kUncheckedCode;
        return true;
    }
    const std::optional<DateFields> fields =
        text.size() == 20 && text.back() == ')' ? ReadDateFields(text.substr(0, 19), "//(::") : std::nullopt;
    if (!fields || fields->year < 1970) {
        return false;
    }
    using namespace std::chrono;
    const year_month_day date{std::chrono::year{fields->year}, std::chrono::month{static_cast<unsigned>(fields->month)},
                              std::chrono::day{static_cast<unsigned>(fields->day)}};
    if (!date.ok()) {
        return false;
    }
    // A leap second's text does not come back from its code: the check below refuses it.
    const std::uint64_t value = static_cast<std::uint64_t>(sys_days{date}.time_since_epoch().count()) * 86400 +
                                static_cast<std::uint64_t>(fields->hour * 3600 + fields->minute * 60 + fields->second);
    if (value >= kUncheckedCode || DateText(static_cast<std::uint32_t>(value)).View() != text) {
        return false;
    }
    code = static_cast<std::uint32_t>(value);
    return true;
}

std::string CodedText(std::uint32_t code, const char* unchecked, ShortText (*text)(std::uint32_t)) {
    if (code == kEmptyCode) {
        return {};
    }
    return code == kUncheckedCode ? std::string(unchecked) : text(code).Text();
}

} // namespace zandel
