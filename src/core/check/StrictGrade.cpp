#include "core/check/StrictGrade.h"

#include <algorithm>
#include <cstring>

#include <arpa/inet.h>

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

bool IsAddressChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == '.' || c == ':' ||
           c == '%';
}

// Each word of the name, split at underscores.
// Variables that carry what our own request named (the judge's host and URL) or the judge's server itself:
// the judge's address there is no leak, even where it is also ours (a judge on this machine).
bool OwnRequestVariable(std::string_view name) {
    return name == "HTTP_HOST" || name == "REQUEST_URI" || name == "QUERY_STRING" || name.substr(0, 7) == "SERVER_" ||
           name.substr(0, 7) == "SCRIPT_" || name.substr(0, 9) == "DOCUMENT_";
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

bool ParseIpBytes(std::string_view text, IpBytes& out) {
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    text = text.substr(0, text.find('%')); // a zone names a link, not another address
    unsigned char quad[4];
    if (ParseDottedQuad(text, quad)) {
        out = {};
        out[10] = 0xFF;
        out[11] = 0xFF;
        std::memcpy(out.data() + 12, quad, 4);
        return true;
    }
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN + 8) {
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

bool MentionsAddress(std::string_view text, const IpBytes& address) {
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
        IpBytes found{};
        if (ParseIpBytes(token, found) && found == address) {
            return true;
        }
        // "1.2.3.4:8080": an IPv4 address with its port.
        const std::size_t colon = token.rfind(':');
        if (colon != std::string_view::npos && token.find(':') == colon &&
            ParseIpBytes(token.substr(0, colon), found) && found == address) {
            return true;
        }
    }
    return false;
}

JudgeBaseline ReadJudgeBaseline(const HttpAnswer& direct) {
    JudgeBaseline baseline;
    if (direct.statusLine.find("200 OK") == std::string::npos) {
        return baseline;
    }
    baseline.variables = ParseJudgeVariables(direct.body);
    const std::string* remote = FindVariable(baseline.variables, "REMOTE_ADDR");
    if (remote == nullptr || !ParseIpBytes(*remote, baseline.ourAddress)) {
        return baseline;
    }
    baseline.ourAddressText = *remote;
    // Behind a CDN or a load balancer the judge sees that server as its client on every request, and our
    // address only where that server put it: the first of the chain it forwarded.
    if (const std::string* chain = FindVariable(baseline.variables, "HTTP_X_FORWARDED_FOR")) {
        std::string first = chain->substr(0, chain->find(','));
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

StrictFinding GradeStrictly(const JudgeBaseline& baseline, const JudgeVariables& page) {
    // The judge prints its server's own variables (REMOTE_ADDR, REQUEST_METHOD, ...) on every page: an answer
    // without one of them is not the judge's.
    for (const auto& [name, value] : baseline.variables) {
        if (name.rfind("HTTP_", 0) != 0 && name.rfind(kJudgeLinePrefix, 0) != 0 &&
            FindVariable(page, name) == nullptr) {
            return {StrictFinding::Kind::NotJudgePage, name};
        }
    }
    for (const auto& [name, value] : page) {
        if (name.rfind(kJudgeLinePrefix, 0) != 0 && !OwnRequestVariable(name) &&
            MentionsAddress(value, baseline.ourAddress)) {
            return {StrictFinding::Kind::OwnAddress, name};
        }
    }
    for (const auto& [name, value] : page) {
        if (!KnownProxyName(name)) {
            continue;
        }
        // What the judge's own server adds (a CDN's X-Forwarded-For, its Via) is no finding, unless the proxy
        // added itself to the chain.
        const std::string* before = FindVariable(baseline.variables, name);
        if (before == nullptr || ChainLength(value) > ChainLength(*before)) {
            return {StrictFinding::Kind::ProxyVariable, name};
        }
    }
    return {StrictFinding::Kind::Nothing, {}};
}

} // namespace zandel
