#include "core/serve/ServeConfig.h"

#include <array>

#include <arpa/inet.h>
#include <netinet/in.h>

#include "core/util/HostPort.h"

namespace zandel {

namespace {

struct StrategyName {
    ServeStrategy strategy;
    const char* name;
};

constexpr std::array<StrategyName, 4> kStrategyNames{{
    {ServeStrategy::Fastest, "fastest"},
    {ServeStrategy::RoundRobin, "round-robin"},
    {ServeStrategy::Random, "random"},
    {ServeStrategy::Weighted, "weighted"},
}};

bool IsLiteralAddress(const std::string& host) {
    in6_addr bytes{};
    return ::inet_pton(AF_INET, host.c_str(), &bytes) == 1 || ::inet_pton(AF_INET6, host.c_str(), &bytes) == 1;
}

} // namespace

const char* ServeStrategyName(ServeStrategy strategy) {
    for (const StrategyName& row : kStrategyNames) {
        if (row.strategy == strategy) {
            return row.name;
        }
    }
    return "weighted";
}

std::optional<ServeStrategy> ServeStrategyFromName(std::string_view name) {
    for (const StrategyName& row : kStrategyNames) {
        if (name == row.name) {
            return row.strategy;
        }
    }
    return std::nullopt;
}

bool IsLoopbackHost(std::string_view host) {
    const std::string text(host);
    in_addr v4{};
    if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    return ::inet_pton(AF_INET6, text.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::optional<ServeAddress> ParseServeAddress(std::string_view text) {
    ServeAddress address;
    std::string_view portText = text;
    if (text.find(':') != std::string_view::npos) {
        const std::optional<HostPortText> split = SplitHostPort(text);
        if (!split || split->host.empty()) {
            return std::nullopt;
        }
        std::string_view host = split->host;
        if (IsBracketedHost(host)) {
            host = host.substr(1, host.size() - 2);
        }
        address.host = host == "localhost" ? kServeDefaultHost : std::string(host);
        if (!IsLiteralAddress(address.host)) {
            return std::nullopt;
        }
        portText = split->port;
    } else {
        address.host = kServeDefaultHost;
    }
    const std::optional<int> port = ParsePortNumber(portText);
    if (!port) {
        return std::nullopt;
    }
    address.port = static_cast<std::uint16_t>(*port);
    return address;
}

std::optional<std::vector<std::uint16_t>> ParseServePorts(std::string_view text) {
    std::vector<std::uint16_t> ports;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::optional<int> port = ParsePortNumber(text.substr(0, comma));
        if (!port) {
            return std::nullopt;
        }
        ports.push_back(static_cast<std::uint16_t>(*port));
        if (comma == std::string_view::npos) {
            return ports;
        }
        text.remove_prefix(comma + 1);
    }
}

std::optional<ServeLogin> ParseServeLogin(std::string_view text) {
    text = text.substr(0, text.find_first_of("\r\n"));
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    ServeLogin login{std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
    constexpr std::size_t kSocksField = 255;
    if (login.user.empty() || login.password.empty() || login.user.size() > kSocksField ||
        login.password.size() > kSocksField) {
        return std::nullopt;
    }
    return login;
}

} // namespace zandel
