#include "core/serve/ServeConfig.h"

#include <algorithm>
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

bool IsSessionName(std::string_view name) {
    return !name.empty() && name.size() <= kServeMaxSessionName && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
               c == '.';
    });
}

// One word of a user name into `wishes`; false for a word of either kind that is not whole, known or given once.
bool ReadWish(std::string_view word, ServeWishes& wishes) {
    constexpr std::string_view kSession = "session-";
    constexpr std::string_view kType = "type-";
    if (word.starts_with(kSession)) {
        const std::string_view name = word.substr(kSession.size());
        if (!wishes.session.empty() || !IsSessionName(name)) {
            return false;
        }
        wishes.session = std::string(name);
        return true;
    }
    if (!word.starts_with(kType) || wishes.kind) {
        return false;
    }
    const std::string_view kind = word.substr(kType.size());
    if (kind == "http") {
        wishes.kind = ProxyKind::Http;
    } else if (kind == "socks4") {
        wishes.kind = ProxyKind::Socks4;
    } else if (kind == "socks5") {
        wishes.kind = ProxyKind::Socks5;
    }
    return wishes.kind.has_value();
}

bool HasWishWord(std::string_view words) {
    for (std::size_t at = 0; at <= words.size();) {
        const std::size_t end = std::min(words.find(',', at), words.size());
        const std::string_view word = words.substr(at, end - at);
        if (word.starts_with("session-") || word.starts_with("type-")) {
            return true;
        }
        at = end + 1;
    }
    return false;
}

std::optional<ServeWishes> ReadWishes(std::string_view words) {
    ServeWishes wishes;
    for (std::size_t at = 0; at <= words.size();) {
        const std::size_t end = std::min(words.find(',', at), words.size());
        if (!ReadWish(words.substr(at, end - at), wishes)) {
            return std::nullopt;
        }
        at = end + 1;
    }
    return wishes;
}

} // namespace

std::optional<ServeWishes> ParseServeWishes(std::string_view user, std::string_view loginUser) {
    if (loginUser.empty()) {
        return HasWishWord(user) ? ReadWishes(user) : ServeWishes{};
    }
    if (user == loginUser) {
        return ServeWishes{};
    }
    if (user.size() <= loginUser.size() || !user.starts_with(loginUser) || user[loginUser.size()] != ',') {
        return std::nullopt;
    }
    return ReadWishes(user.substr(loginUser.size() + 1));
}

bool KindGranted(const ServeWishes& wishes, ProxyKind kind) {
    if (!wishes.kind) {
        return true;
    }
    switch (*wishes.kind) {
    case ProxyKind::Socks4:
        return kind == ProxyKind::Socks4 || kind == ProxyKind::Socks4a;
    case ProxyKind::Socks5:
        return kind == ProxyKind::Socks5 || kind == ProxyKind::Socks5h;
    default:
        return kind == *wishes.kind;
    }
}

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
