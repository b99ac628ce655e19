#include "core/check/StrictGrade.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include "core/check/AnswerJudge.h"

namespace zandel {

namespace {

// Headers that reveal a proxy besides the ones the plain grading knows.
constexpr std::array<const char*, 5> kMoreProxyVariables = {
    "HTTP_FORWARDED", "HTTP_X_REAL_IP", "HTTP_TRUE_CLIENT_IP", "HTTP_X_PROXY_ID", "HTTP_X_BLUECOAT_VIA",
};
// The signed judge's own lines are not the request's.
constexpr std::string_view kJudgeLinePrefix = "ZANDEL_";

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

// Each word of the name, split at underscores.
// Variables that carry what our own request named (the judge's host and URL) or the judge's server itself:
// the judge's address there is no leak, even where it is also ours (a judge on this machine).
bool OwnRequestVariable(std::string_view name) {
    return name == "HTTP_HOST" || name == "HTTP_X_FORWARDED_HOST" || name == "REQUEST_URI" || name == "QUERY_STRING" ||
           name.substr(0, 7) == "SERVER_" || name.substr(0, 7) == "SCRIPT_" || name.substr(0, 9) == "DOCUMENT_";
}

bool NameSaysProxy(std::string_view name) {
    if (name.substr(0, 5) != "HTTP_") {
        return false;
    }
    std::size_t start = 5;
    while (start <= name.size()) {
        std::size_t end = name.find('_', start);
        if (end == std::string_view::npos) {
            end = name.size();
        }
        const std::string_view word = name.substr(start, end - start);
        if (word == "VIA" || word.find("PROXY") != std::string_view::npos ||
            word.find("FORWARD") != std::string_view::npos) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool KnownProxyName(std::string_view name) {
    const auto in = [name](const auto& list) {
        return std::any_of(list.begin(), list.end(), [name](const char* known) { return name == known; });
    };
    return in(kAddressVariables) || in(kProxyVariables) || in(kMoreProxyVariables) || NameSaysProxy(name);
}

std::size_t ChainLength(std::string_view value) {
    return static_cast<std::size_t>(std::count(value.begin(), value.end(), ',')) + 1;
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

JudgeBaseline ReadJudgeBaseline(const HttpAnswer& direct) {
    JudgeBaseline baseline;
    if (direct.statusLine.find("200 OK") == std::string::npos) {
        return baseline;
    }
    baseline.variables = ParseJudgeVariables(direct.body);
    const std::optional<std::string_view> remote = FindVariable(baseline.variables, "REMOTE_ADDR");
    if (!remote || !ParseIpBytes(*remote, baseline.ourAddress)) {
        return baseline;
    }
    baseline.ourAddressText = std::string(*remote);
    // Behind a CDN or a load balancer the judge sees that server as its client on every request, and our
    // address only where that server put it: the first of the chain it forwarded.
    if (const std::optional<std::string_view> chain = FindVariable(baseline.variables, "HTTP_X_FORWARDED_FOR")) {
        std::string first(chain->substr(0, chain->find(',')));
        first.erase(0, first.find_first_not_of(" \t"));
        first.erase(first.find_last_not_of(" \t") + 1);
        IpBytes forwarded{};
        if (ParseIpBytes(first, forwarded)) {
            baseline.ourAddress = forwarded;
            baseline.ourAddressText = first;
        }
    }
    baseline.usable = true;
    return baseline;
}

StrictFinding GradeStrictly(const JudgeBaseline& baseline, const OwnAddresses& ours, const JudgeVariables& page,
                            AddressScope scope) {
    // The judge prints its server's own variables (REMOTE_ADDR, REQUEST_METHOD, ...) on every page: an answer
    // without one of them is not the judge's. REMOTE_HOST is a name the server may or may not find for a client.
    // Every run asks only for REMOTE_ADDR, which every echo page prints, as the plain grading does.
    if (scope == AddressScope::Headers && baseline.usable && !FindVariable(page, "REMOTE_ADDR")) {
        return {StrictFinding::Kind::NotJudgePage, "REMOTE_ADDR", {}};
    }
    static const JudgeVariables kNone;
    for (const auto [name, value] : scope == AddressScope::Headers ? kNone : baseline.variables) {
        if (name.rfind("HTTP_", 0) != 0 && name.rfind(kJudgeLinePrefix, 0) != 0 && name != "REMOTE_HOST" &&
            !FindVariable(page, name)) {
            return {StrictFinding::Kind::NotJudgePage, std::string(name), {}};
        }
    }
    for (const auto [name, value] : page) {
        if (name.rfind(kJudgeLinePrefix, 0) == 0 || OwnRequestVariable(name) ||
            (scope == AddressScope::Headers && name.rfind("HTTP_", 0) != 0)) {
            continue;
        }
        if (const OwnAddress* own = FindOwnAddress(value, ours)) {
            return {StrictFinding::Kind::OwnAddress, std::string(name), own->text};
        }
    }
    if (!baseline.usable) {
        return {StrictFinding::Kind::Nothing, {}, {}};
    }
    for (const auto [name, value] : page) {
        if (!KnownProxyName(name)) {
            continue;
        }
        // What the judge's own server adds (a CDN's X-Forwarded-For, its Via) is no finding, unless the proxy
        // added itself to the chain.
        const std::optional<std::string_view> before = FindVariable(baseline.variables, name);
        if (!before || ChainLength(value) > ChainLength(*before)) {
            return {StrictFinding::Kind::ProxyVariable, std::string(name), {}};
        }
    }
    return {StrictFinding::Kind::Nothing, {}, {}};
}

} // namespace zandel
