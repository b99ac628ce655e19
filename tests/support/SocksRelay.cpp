#include "support/SocksRelay.h"

#include <array>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include "support/ServerConnection.h"

namespace zandel::test {

namespace {

std::uint8_t At(const std::string& bytes, std::size_t index) {
    return static_cast<std::uint8_t>(bytes[index]);
}

// Both ways until either side closes or the server stops.
void Relay(int client, int origin, int stop) {
    std::array<pollfd, 3> fds{{{client, POLLIN, 0}, {origin, POLLIN, 0}, {stop, POLLIN, 0}}};
    char buffer[16384];
    while (::poll(fds.data(), fds.size(), 10000) > 0 && fds[2].revents == 0) {
        for (int side = 0; side < 2; ++side) {
            if (fds[static_cast<std::size_t>(side)].revents == 0) {
                continue;
            }
            const ssize_t got = ::recv(fds[static_cast<std::size_t>(side)].fd, buffer, sizeof buffer, 0);
            if (got <= 0 || !SendAll(fds[static_cast<std::size_t>(1 - side)].fd,
                                     std::string_view(buffer, static_cast<std::size_t>(got)))) {
                return;
            }
        }
    }
}

} // namespace

SocksRelay::SocksRelay(std::uint16_t originPort)
    : m_originPort(originPort), m_server([this](ServerConnection& connection) { Serve(connection); }) {}

std::vector<std::string> SocksRelay::Names() const {
    const std::lock_guard lock(m_mutex);
    return m_names;
}

void SocksRelay::Serve(ServerConnection& connection) {
    if (!connection.ReadUntilSize(3) || !connection.Send(std::string("\x05\x00", 2)) ||
        !connection.ReadUntilSize(3 + 5)) {
        return;
    }
    const std::string& in = connection.Received();
    const std::size_t start = 3;
    std::uint16_t port = 0;
    std::uint32_t address = 0;
    if (At(in, start + 3) == 3) {
        const std::size_t length = At(in, start + 4);
        if (!connection.ReadUntilSize(start + 5 + length + 2)) {
            return;
        }
        const std::lock_guard lock(m_mutex);
        m_names.push_back(in.substr(start + 5, length));
        address = INADDR_LOOPBACK;
        port = m_originPort;
    } else if (At(in, start + 3) == 1 && connection.ReadUntilSize(start + 10)) {
        address = static_cast<std::uint32_t>(At(in, start + 4)) << 24 | At(in, start + 5) << 16 |
                  At(in, start + 6) << 8 | At(in, start + 7);
        port = static_cast<std::uint16_t>(At(in, start + 8) << 8 | At(in, start + 9));
    }
    if (address >> 24 != 127) {
        connection.Send(std::string("\x05\x02\x00\x01\x00\x00\x00\x00\x00\x00", 10));
        return;
    }
    UniqueFd origin(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    if (::connect(origin.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        connection.Send(std::string("\x05\x05\x00\x01\x00\x00\x00\x00\x00\x00", 10));
        return;
    }
    connection.Send(std::string("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x00", 10));
    Relay(connection.Fd(), origin.Get(), connection.StopFd());
}

} // namespace zandel::test
