#include "core/util/HostPort.h"

#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>

#include "core/util/Text.h"

namespace zandel {

namespace {

bool IsIpv6Literal(std::string_view text) {
    char literal[INET6_ADDRSTRLEN] = {};
    // A NUL byte would end the text early for inet_pton and let a tail of anything through.
    if (text.empty() || text.size() >= sizeof literal || text.find('\0') != std::string_view::npos) {
        return false;
    }
    std::memcpy(literal, text.data(), text.size());
    in6_addr address{};
    return ::inet_pton(AF_INET6, literal, &address) == 1;
}

} // namespace

std::optional<HostPortText> SplitHostPort(std::string_view address) {
    if (!address.empty() && address.front() == '[') {
        const std::size_t close = address.find(']');
        if (close == std::string_view::npos || !IsIpv6Literal(address.substr(1, close - 1))) {
            return std::nullopt;
        }
        const std::string_view rest = address.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') {
            return std::nullopt;
        }
        return HostPortText{address.substr(0, close + 1), rest.empty() ? rest : rest.substr(1)};
    }
    if (FindAnyOf(address, "[]") != std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t colon = address.find(':');
    if (colon == std::string_view::npos) {
        return HostPortText{address, {}};
    }
    return HostPortText{address.substr(0, colon), address.substr(colon + 1)};
}

bool IsBracketedHost(std::string_view host) {
    return host.size() >= 2 && host.front() == '[' && host.back() == ']';
}

std::optional<int> ParsePortNumber(std::string_view text) {
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

} // namespace zandel
