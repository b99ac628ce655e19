#include "support/LoopbackServer.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include "support/Loopback.h"

namespace zandel::test {

LoopbackServer::LoopbackServer(Handler handler, std::uint16_t port, LoopbackFamily family)
    : m_handler(std::move(handler)), m_stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!m_stop.IsOpen()) {
        throw std::system_error(errno, std::generic_category(), "loopback server");
    }
    m_port = port;
    m_listen = ListenLoopback(m_port, SOMAXCONN, 0, family);
    if (!m_listen.IsOpen()) {
        throw std::system_error(errno, std::generic_category(), "listen on " + LoopbackAddress(port, family));
    }
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    Stop();
}

void LoopbackServer::Stop() {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopped) {
            return;
        }
        m_stopped = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_stop.Get(), &one, sizeof one);
    if (m_acceptThread.joinable()) {
        m_acceptThread.join();
    }
    // No worker is added after the accept thread has ended.
    for (Worker& worker : m_workers) {
        worker.thread.join();
    }
    m_workers.clear();
    m_listen.Reset();
}

void LoopbackServer::AcceptLoop() {
    pollfd fds[2] = {};
    fds[0].fd = m_listen.Get();
    fds[0].events = POLLIN;
    fds[1].fd = m_stop.Get();
    fds[1].events = POLLIN;
    for (;;) {
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || fds[1].revents != 0) {
            return;
        }
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd =
            ::accept4(m_listen.Get(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        char text[INET6_ADDRSTRLEN] = {};
        if (peer.ss_family == AF_INET6) {
            ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr, text, sizeof text);
        } else {
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(peer).sin_addr, text, sizeof text);
        }
        ReapFinished();
        Spawn(fd, text);
    }
}

void LoopbackServer::Spawn(int fd, std::string peer) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
        std::thread thread([this, fd, peer = std::move(peer), done] {
            {
                ServerConnection connection(fd, m_stop.Get(), peer);
                try {
                    m_handler(connection);
                } catch (...) {
                    // A failing handler drops its connection only.
                }
            }
            done->store(true);
        });
        m_workers.push_back(Worker{std::move(thread), std::move(done)});
    } catch (const std::system_error&) {
        ::close(fd);
    }
}

void LoopbackServer::ReapFinished() {
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace zandel::test
