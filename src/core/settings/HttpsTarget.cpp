#include "core/settings/HttpsTarget.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "core/util/HostPort.h"

namespace zandel {

namespace {

constexpr std::string_view kBlanks = " \t";
// The longest host name DNS allows.
constexpr std::size_t kMaxHostBytes = 253;

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool HostByteAllowed(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte != 0x7f && c != '/' && c != '@' && c != '[' && c != ']' && c != ':';
}

} // namespace

std::string HttpsTargetAddress::Authority() const {
    const std::string shown = host.find(':') == std::string::npos ? host : "[" + host + "]";
    return shown + ":" + std::to_string(port);
}

std::optional<HttpsTargetAddress> ParseHttpsTarget(std::string_view text) {
    text = Trimmed(text);
    std::string_view host;
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        // Only an IPv6 address as the resolver reads it, without a zone: a name in brackets is no target. The
        // bytes are looked at first, since inet_pton would stop at a NUL.
        in6_addr address{};
        if (host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos ||
            ::inet_pton(AF_INET6, std::string(host).c_str(), &address) != 1) {
            return std::nullopt;
        }
    } else {
        const std::size_t colon = text.find(':');
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        host = text.substr(0, colon);
        rest = text.substr(colon);
        for (char c : host) {
            if (!HostByteAllowed(c)) {
                return std::nullopt;
            }
        }
    }
    if (host.empty() || host.size() > kMaxHostBytes || rest.empty() || rest.front() != ':') {
        return std::nullopt;
    }
    const std::optional<int> port = ParsePortNumber(rest.substr(1));
    if (!port) {
        return std::nullopt;
    }
    return HttpsTargetAddress{std::string(host), *port};
}

std::optional<HttpsTargetAddress> EffectiveHttpsTarget(std::string_view setting, std::string_view accessUrlHost) {
    if (!Trimmed(setting).empty()) {
        return ParseHttpsTarget(setting);
    }
    // The access URL's host is checked as a target's host would be.
    const std::string host(accessUrlHost);
    if (host.empty()) {
        return std::nullopt;
    }
    const bool bare6 = host.find(':') != std::string::npos && host.front() != '[';
    const std::string bracketed = bare6 ? "[" + host + "]" : host;
    return ParseHttpsTarget(bracketed + ":" + std::to_string(kHttpsDefaultPort));
}

FieldCheck CheckHttpsTargetField(std::string_view text, std::string& value) {
    const std::string_view trimmed = Trimmed(text);
    if (!trimmed.empty() && !ParseHttpsTarget(trimmed)) {
        return {false, kHttpsTargetMessage};
    }
    value = std::string(trimmed);
    return {};
}

} // namespace zandel
