#include "core/check/ProbeAddress.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include "core/util/Text.h"

namespace zandel {

namespace {

socklen_t AddressLength(const sockaddr_storage& address) {
    return address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

// `found` holds `length` bytes of an IPv4 or IPv6 socket address.
sockaddr_storage WithPort(const void* found, std::size_t length, std::uint16_t port) {
    sockaddr_storage address{};
    std::memcpy(&address, found, std::min(length, sizeof address));
    if (address.ss_family == AF_INET6) {
        reinterpret_cast<sockaddr_in6*>(&address)->sin6_port = htons(port);
    } else {
        reinterpret_cast<sockaddr_in*>(&address)->sin_port = htons(port);
    }
    return address;
}

bool ParseIpv6(const char* text, std::uint16_t port, ProbeAddresses& addresses) {
    sockaddr_in6 address{};
    if (::inet_pton(AF_INET6, text, &address.sin6_addr) != 1) {
        return false;
    }
    address.sin6_family = AF_INET6;
    addresses.push_back(WithPort(&address, sizeof address, port));
    return true;
}

} // namespace

std::uint16_t ProbePort(const ProbeTarget& target) {
    const long long value = ParseLeadingInt(target.port);
    return static_cast<std::uint16_t>(static_cast<unsigned long long>(value) & 0xFFFFu);
}

HostKind LiteralProbeHost(const char* host, std::uint16_t port, ProbeAddresses& addresses) {
    addresses.clear();
    const std::size_t length = std::strlen(host);
    // No name holds a control byte: the resolver is never asked for one, whichever form of entry gave it.
    const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; };
    if (length == 0 || std::any_of(host, host + length, control)) {
        return HostKind::Invalid;
    }
    if (host[0] == '[') {
        char inner[kMaxTargetHost + 2] = {};
        if (length < 3 || host[length - 1] != ']' || length - 2 >= sizeof inner) {
            return HostKind::Invalid;
        }
        std::memcpy(inner, host + 1, length - 2);
        return ParseIpv6(inner, port, addresses) ? HostKind::Address : HostKind::Invalid;
    }
    sockaddr_in address{};
    if (::inet_pton(AF_INET, host, &address.sin_addr) == 1) {
        address.sin_family = AF_INET;
        addresses.push_back(WithPort(&address, sizeof address, port));
        return HostKind::Address;
    }
    return ParseIpv6(host, port, addresses) ? HostKind::Address : HostKind::Name;
}

ProbeAddresses ResolveProbeHost(const char* host, std::uint16_t port) {
    ProbeAddresses addresses;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &found) != 0) {
        return addresses;
    }
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        const bool known = (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) ||
                           (entry->ai_family == AF_INET6 && entry->ai_addrlen >= sizeof(sockaddr_in6));
        if (known) {
            addresses.push_back(WithPort(entry->ai_addr, entry->ai_addrlen, port));
        }
    }
    ::freeaddrinfo(found);
    return addresses;
}

UniqueFd OpenProbeConnection(const sockaddr_storage& address) {
    UniqueFd socket(::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.IsOpen() &&
        ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), AddressLength(address)) != 0 &&
        errno != EINPROGRESS) {
        socket.Reset();
    }
    return socket;
}

} // namespace zandel
