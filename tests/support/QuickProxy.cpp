#include "support/QuickProxy.h"

#include <cstring>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/Loopback.h"

namespace zandel::test {

namespace {

constexpr std::string_view kAnswer =
    "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nHTTP_VIA=1.0 quick\r\nREMOTE_ADDR=127.0.0.1\r\n";

} // namespace

QuickProxy::QuickProxy(int backlog) {
    m_port = 0;
    m_listen = ListenLoopback(m_port, backlog);
    if (!m_listen.IsOpen()) {
        throw std::system_error(errno, std::generic_category(), "quick proxy");
    }
    m_stop.Reset(::eventfd(0, EFD_CLOEXEC));
    m_thread = std::thread([this] { Serve(); });
}

QuickProxy::~QuickProxy() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_stop.Get(), &one, sizeof one);
    m_thread.join();
}

std::string QuickProxy::Address() const {
    return LoopbackAddress(m_port);
}

void QuickProxy::Serve() {
    char buffer[4096];
    for (;;) {
        pollfd fds[2] = {{m_listen.Get(), POLLIN, 0}, {m_stop.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || fds[1].revents != 0) {
            return;
        }
        UniqueFd connection(::accept4(m_listen.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection.IsOpen()) {
            continue;
        }
        // The whole request head is read first, so that the close is a clean one and not a reset.
        std::string head;
        while (head.find("\r\n\r\n") == std::string::npos) {
            pollfd in{connection.Get(), POLLIN, 0};
            if (::poll(&in, 1, 2000) <= 0) {
                break;
            }
            const ssize_t got = ::recv(connection.Get(), buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;
            }
            head.append(buffer, static_cast<std::size_t>(got));
        }
        SendAll(connection.Get(), kAnswer);
    }
}

} // namespace zandel::test
