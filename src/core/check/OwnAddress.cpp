#include "core/check/OwnAddress.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace zandel {

namespace {

bool ParseDottedQuad(std::string_view text, unsigned char (&out)[4]) {
    int part = 0;
    int value = -1;
    int digits = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            value = (value < 0 ? 0 : value) * 10 + (c - '0');
            if (++digits > 3 || value > 255) {
                return false;
            }
        } else if (c == '.' && value >= 0 && part < 3) {
            out[part++] = static_cast<unsigned char>(value);
            value = -1;
            digits = 0;
        } else {
            return false;
        }
    }
    if (part != 3 || value < 0) {
        return false;
    }
    out[3] = static_cast<unsigned char>(value);
    return true;
}

// What an address may be written with: hex digits, the separators, a zone mark, and the x of "0x7f000001".
constexpr std::array<bool, 256> kAddressChars = [] {
    std::array<bool, 256> chars{};
    for (const unsigned char c : std::string_view("0123456789abcdefABCDEF.:%xX")) {
        chars[c] = true;
    }
    return chars;
}();
bool IsAddressChar(char c) {
    return kAddressChars[static_cast<unsigned char>(c)];
}

// One part of an address as inet_aton reads it: 0x... hex, 0... octal, else decimal; false past 32 bits or on a
// digit its base does not have.
bool ParseAtonPart(std::string_view part, std::uint64_t& value) {
    unsigned base = 10;
    if (part.size() > 1 && part[0] == '0') {
        const bool hex = part[1] == 'x' || part[1] == 'X';
        base = hex ? 16 : 8;
        part.remove_prefix(hex ? 2 : 1);
        if (part.empty() && hex) {
            return false; // "0x" alone: the C library reads the 0 and stops at the x
        }
    }
    value = 0;
    for (const char c : part) {
        const unsigned digit = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                               : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                               : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                      : 99;
        value = value * base + digit;
        if (digit >= base || value > 0xFFFFFFFFU) {
            return false;
        }
    }
    return true;
}

// An IPv4 address in a form a program reads as one: what inet_aton takes (dotted decimal with leading zeros, a
// single integer in decimal, hex or octal, "127.1", parts in hex or octal). Read here, since every word of every
// header of every page comes this way.
bool ParseIpv4Forms(std::string_view text, IpBytes& out) {
    unsigned char quad[4];
    if (ParseDottedQuad(text, quad)) {
        out = Ipv4Bytes(quad);
        return true;
    }
    std::uint64_t parts[4] = {};
    std::size_t last = 0;
    for (std::size_t start = 0;; ++last) {
        const std::size_t dot = std::min(text.find('.', start), text.size());
        const std::string_view part = text.substr(start, dot - start);
        if (last == 4 || part.empty() || part[0] < '0' || part[0] > '9' || !ParseAtonPart(part, parts[last])) {
            return false;
        }
        if (dot == text.size()) {
            break;
        }
        start = dot + 1;
    }
    // The last part fills the bytes the ones before it left: a.b.c.d, a.b.(16 bits), a.(24 bits), (32 bits).
    std::uint32_t address = 0;
    for (std::size_t i = 0; i < last; ++i) {
        if (parts[i] > 0xFF) {
            return false;
        }
        address |= static_cast<std::uint32_t>(parts[i]) << (24 - 8 * i);
    }
    const unsigned lastBits = 32 - 8 * static_cast<unsigned>(last);
    if (lastBits < 32 && parts[last] >> lastBits != 0) {
        return false;
    }
    address |= static_cast<std::uint32_t>(parts[last]);
    for (int i = 0; i < 4; ++i) {
        quad[i] = static_cast<unsigned char>(address >> (24 - 8 * i));
    }
    out = Ipv4Bytes(quad);
    return true;
}

const OwnAddress* OwnMatch(const IpBytes& found, const OwnAddresses& ours) {
    for (const OwnAddress& own : ours) {
        if (own.bytes == found) {
            return &own;
        }
    }
    return nullptr;
}

std::string AddressText(const IpBytes& bytes) {
    char text[INET6_ADDRSTRLEN] = {};
    if (IsIpv4(bytes)) {
        ::inet_ntop(AF_INET, bytes.data() + 12, text, sizeof text);
    } else {
        ::inet_ntop(AF_INET6, bytes.data(), text, sizeof text);
    }
    return text;
}

} // namespace

IpBytes Ipv4Bytes(const void* four) {
    IpBytes bytes{};
    bytes[10] = 0xFF;
    bytes[11] = 0xFF;
    std::memcpy(bytes.data() + 12, four, 4);
    return bytes;
}

bool IsIpv4(const IpBytes& bytes) {
    return std::all_of(bytes.begin(), bytes.begin() + 10, [](unsigned char b) { return b == 0; }) &&
           bytes[10] == 0xFF && bytes[11] == 0xFF;
}

bool ParseIpBytes(std::string_view text, IpBytes& out) {
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    text = text.substr(0, text.find('%')); // a zone names a link, not another address
    unsigned char quad[4];
    if (ParseDottedQuad(text, quad)) {
        out = Ipv4Bytes(quad);
        return true;
    }
    // Every IPv6 spelling has two colons at least.
    if (text.size() >= INET6_ADDRSTRLEN + 8 || std::count(text.begin(), text.end(), ':') < 2) {
        return false;
    }
    const std::string copy(text);
    in6_addr address{};
    if (::inet_pton(AF_INET6, copy.c_str(), &address) != 1) {
        return false;
    }
    std::memcpy(out.data(), &address, 16);
    return true;
}

void AddOwnAddress(OwnAddresses& ours, const IpBytes& bytes, const std::string& text) {
    if (OwnMatch(bytes, ours) == nullptr) {
        ours.push_back({bytes, text});
    }
}

OwnAddresses MachineAddresses() {
    OwnAddresses ours;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return ours;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr) {
            continue;
        }
        IpBytes bytes{};
        if (entry->ifa_addr->sa_family == AF_INET) {
            bytes = Ipv4Bytes(&reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr);
        } else if (entry->ifa_addr->sa_family == AF_INET6) {
            std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr, 16);
        } else {
            continue;
        }
        AddOwnAddress(ours, bytes, AddressText(bytes));
    }
    ::freeifaddrs(list);
    return ours;
}

const OwnAddress* FindOwnAddress(std::string_view text, const OwnAddresses& ours) {
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && !IsAddressChar(text[at])) {
            ++at;
        }
        std::size_t end = at;
        while (end < text.size() && IsAddressChar(text[end])) {
            ++end;
        }
        const std::string_view token = text.substr(at, end - at);
        at = end;
        // Every spelling of an address has a digit; words of hex letters alone ("cafe", "e") are none.
        if (std::none_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        IpBytes found{};
        if (ParseIpBytes(token, found)) {
            if (const OwnAddress* own = OwnMatch(found, ours)) {
                return own;
            }
        }
        // An IPv4 address between colons: "1.2.3.4:8080", "ip:1.2.3.4", "2130706433:80".
        for (std::size_t start = 0; start <= token.size();) {
            const std::size_t colon = std::min(token.find(':', start), token.size());
            std::string_view part = token.substr(start, colon - start);
            while (!part.empty() && part.back() == '.') {
                part.remove_suffix(1); // the full stop of a sentence
            }
            if (ParseIpv4Forms(part, found)) {
                if (const OwnAddress* own = OwnMatch(found, ours)) {
                    return own;
                }
            }
            start = colon + 1;
        }
    }
    return nullptr;
}

bool MentionsAddress(std::string_view text, const IpBytes& address) {
    return FindOwnAddress(text, {{address, {}}}) != nullptr;
}

} // namespace zandel
