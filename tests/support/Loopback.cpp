#include "support/Loopback.h"

#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace zandel::test {

namespace {

// A socket bound to the loopback address of the family and the port; `port` becomes the port taken.
UniqueFd BindTo(std::uint16_t& port, LoopbackFamily family, int typeFlags) {
    const bool v6 = family == LoopbackFamily::Ipv6;
    UniqueFd fd(::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC | typeFlags, 0));
    if (!fd.IsOpen()) {
        return fd;
    }
    const int yes = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_storage address{};
    socklen_t length = 0;
    if (v6) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        in6.sin6_addr = in6addr_loopback;
        length = sizeof in6;
    } else {
        auto& in4 = reinterpret_cast<sockaddr_in&>(address);
        in4.sin_family = AF_INET;
        in4.sin_port = htons(port);
        in4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof in4;
    }
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        fd.Close();
        return fd;
    }
    port = ntohs(v6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                    : reinterpret_cast<sockaddr_in&>(address).sin_port);
    return fd;
}

} // namespace

UniqueFd ListenLoopback(std::uint16_t& port, int backlog, int typeFlags, LoopbackFamily family) {
    UniqueFd fd = BindTo(port, family, typeFlags);
    if (fd.IsOpen() && ::listen(fd.Get(), backlog) != 0) {
        fd.Close();
    }
    return fd;
}

UniqueFd BindLoopback(std::uint16_t& port, LoopbackFamily family) {
    return BindTo(port, family, 0);
}

std::string LoopbackAddress(std::uint16_t port, LoopbackFamily family) {
    return (family == LoopbackFamily::Ipv6 ? std::string("[::1]") : std::string(kLoopbackHost)) + ":" +
           std::to_string(port);
}

UniqueFd ConnectLoopback(std::uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.IsOpen()) {
        return fd;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int rc = 0;
    do {
        rc = ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        fd.Reset();
    }
    return fd;
}

bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

std::string BareExchange(std::uint16_t port, std::string_view request) {
    std::string answer;
    UniqueFd fd = ConnectLoopback(port);
    if (!fd.IsOpen() || !SendAll(fd.Get(), request)) {
        return answer;
    }
    char chunk[5120];
    for (;;) {
        const ssize_t got = ::recv(fd.Get(), chunk, sizeof chunk, 0);
        if (got > 0) {
            answer.append(chunk, static_cast<std::size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    return answer;
}

} // namespace zandel::test
