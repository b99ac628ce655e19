#include "support/ServerConnection.h"

#include <cerrno>
#include <chrono>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

namespace zandel::test {

namespace {

constexpr std::string_view kHeadEnd = "\r\n\r\n";
constexpr int kDeliveryLimitMs = 2000;

bool FinAcknowledged(int fd) {
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) {
        return true;
    }
    return info.tcpi_state == TCP_FIN_WAIT2 || info.tcpi_state == TCP_TIME_WAIT || info.tcpi_state == TCP_CLOSE;
}

} // namespace

ServerConnection::ServerConnection(int fd, int stopFd, std::string peerAddress)
    : m_fd(fd), m_stopFd(stopFd), m_peerAddress(std::move(peerAddress)) {}

ServerConnection::WaitResult ServerConnection::WaitFor(short events, int timeoutMs) {
    pollfd fds[2] = {};
    fds[0].fd = m_fd.Get();
    fds[0].events = events;
    fds[1].fd = m_stopFd;
    fds[1].events = POLLIN;
    for (;;) {
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return WaitResult::Failed;
        }
        if (fds[1].revents != 0) {
            return WaitResult::Stopped;
        }
        return ready == 0 ? WaitResult::Failed : WaitResult::Ready;
    }
}

long ServerConnection::ReadSome() {
    if (m_peerClosed) {
        return 0;
    }
    for (;;) {
        if (WaitFor(POLLIN, -1) != WaitResult::Ready) {
            return -1;
        }
        char chunk[4096];
        const ssize_t got = ::recv(m_fd.Get(), chunk, sizeof chunk, 0);
        if (got > 0) {
            m_received.append(chunk, static_cast<std::size_t>(got));
            return got;
        }
        if (got == 0) {
            m_peerClosed = true;
            return 0;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return -1;
        }
    }
}

bool ServerConnection::ReadRequestHead() {
    while (m_headLength == 0) {
        const std::size_t found = m_received.find(kHeadEnd);
        if (found != std::string::npos) {
            m_headLength = found + kHeadEnd.size();
            break;
        }
        if (ReadSome() <= 0) {
            return false;
        }
    }
    return true;
}

bool ServerConnection::ReadUntilSize(std::size_t total) {
    while (m_received.size() < total) {
        if (ReadSome() <= 0) {
            return false;
        }
    }
    return true;
}

std::string_view ServerConnection::RequestHead() const {
    return std::string_view(m_received).substr(0, m_headLength);
}

bool ServerConnection::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(m_fd.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (WaitFor(POLLOUT, -1) != WaitResult::Ready) {
                return false;
            }
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool ServerConnection::Pause(int milliseconds) {
    pollfd stop{m_stopFd, POLLIN, 0};
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            return true;
        }
        if (::poll(&stop, 1, static_cast<int>(left)) > 0) {
            return false;
        }
    }
}

void ServerConnection::FinishSending() {
    ::shutdown(m_fd.Get(), SHUT_WR);
    for (int waited = 0; waited < kDeliveryLimitMs && !FinAcknowledged(m_fd.Get()); ++waited) {
        if (!Pause(1)) {
            return;
        }
    }
}

void ServerConnection::DrainUntilPeerCloses() {
    while (ReadSome() > 0) {
    }
}

bool ServerConnection::Stopped() const {
    pollfd stop{m_stopFd, POLLIN, 0};
    return ::poll(&stop, 1, 0) > 0;
}

} // namespace zandel::test
