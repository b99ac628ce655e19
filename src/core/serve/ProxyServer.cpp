#include "core/serve/ProxyServer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

namespace zandel {

namespace {

using Clock = ServeConnection::Clock;

constexpr std::uint64_t kWakeTag = 0;
constexpr std::uint64_t kListenTag = 1;
// Clients past the limit are still heard, to be told in their own protocol that the serve is full; past these
// as well they are closed at once.
constexpr std::size_t kBusyExtra = 64;
constexpr int kBacklog = 511;
constexpr int kEventsAtOnce = 64;
// While the system gives no more descriptors, the listener rests this long between tries.
constexpr int kPausedWaitMs = 250;

std::string AddressText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6) {
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr, text, sizeof text);
    } else {
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr, text, sizeof text);
    }
    return text;
}

// Registers, changes or drops the events a descriptor is watched for; 0 is not watched at all, so that a hang-up
// nobody waits on cannot wake the loop over and over.
void Watch(int epoll, int fd, std::uint64_t tag, std::uint32_t& current, std::uint32_t wanted) {
    if (wanted == current) {
        return;
    }
    epoll_event event{};
    event.events = wanted;
    event.data.u64 = tag;
    if (wanted == 0) {
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
    } else if (::epoll_ctl(epoll, current == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &event) != 0) {
        // A descriptor closed and made again under the same number has left the set, or is still in it.
        ::epoll_ctl(epoll, errno == ENOENT ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &event);
    }
    current = wanted;
}

} // namespace

ProxyServer::ProxyServer(const ServeConfig& config, ServePool& pool) : m_config(config), m_pool(pool) {}

ProxyServer::~ProxyServer() {
    Stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool ProxyServer::Listen(std::string& error) {
    sockaddr_storage address{};
    socklen_t length = 0;
    const bool v6 = m_config.host.find(':') != std::string::npos;
    if (v6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(m_config.port);
        ::inet_pton(AF_INET6, m_config.host.c_str(), &in6->sin6_addr);
        length = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&address);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(m_config.port);
        ::inet_pton(AF_INET, m_config.host.c_str(), &in4->sin_addr);
        length = sizeof(sockaddr_in);
    }
    const std::string shown = (v6 ? "[" + m_config.host + "]" : m_config.host) + ":" + std::to_string(m_config.port);
    if (!IsLoopbackHost(m_config.host) && !m_config.login) {
        error = shown + ": other machines reach this address, and without a login every proxy of the pool is theirs";
        return false;
    }
    m_listen.Reset(::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int on = 1;
    if (!m_listen.IsOpen() || ::setsockopt(m_listen.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        (v6 && ::setsockopt(m_listen.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0) ||
        ::bind(m_listen.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        ::listen(m_listen.Get(), kBacklog) != 0 ||
        ::getsockname(m_listen.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = shown + ": " + std::strerror(errno);
        m_listen.Reset();
        return false;
    }
    m_port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                      : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    m_epoll.Reset(::epoll_create1(EPOLL_CLOEXEC));
    m_wake.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.u64 = kWakeTag;
    if (!m_epoll.IsOpen() || !m_wake.IsOpen() || ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, m_wake.Get(), &wake) != 0) {
        error = shown + ": " + std::strerror(errno);
        return false;
    }
    m_pipes = PipeBudget::ForConnections(static_cast<long>(m_config.maxClients) + static_cast<long>(kBusyExtra));
    WatchListener(true);
    return true;
}

bool ProxyServer::Start() {
    try {
        m_thread = std::thread(&ProxyServer::Run, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void ProxyServer::Stop() {
    if (m_wake.IsOpen()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wake.Get(), &one, sizeof one);
    }
}

ServeStatus ProxyServer::Status() const {
    return {m_pool.Size(), m_pool.ListRows(), m_counters.open.load(), m_counters.accepted.load(),
            m_counters.failures.load()};
}

void ProxyServer::WatchListener(bool on) {
    if (on == m_listening) {
        return;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kListenTag;
    ::epoll_ctl(m_epoll.Get(), on ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, m_listen.Get(), &event);
    m_listening = on;
}

int ProxyServer::WaitMs(Clock::time_point now) const {
    Clock::time_point nearest = Clock::time_point::max();
    for (const auto& [id, watched] : m_connections) {
        nearest = std::min(nearest, watched.connection->Deadline());
    }
    int waitMs = m_listening ? -1 : kPausedWaitMs;
    if (nearest != Clock::time_point::max()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(nearest - now).count();
        const int leftMs = static_cast<int>(std::clamp<long long>(left, 0, 60LL * 1000));
        waitMs = waitMs < 0 ? leftMs : std::min(waitMs, leftMs);
    }
    return waitMs;
}

void ProxyServer::Run() {
    // A splice into a socket whose peer has gone raises SIGPIPE, which no flag turns off as MSG_NOSIGNAL does for
    // send: blocked on this thread, it stays with the thread, and the failure is read from errno.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    std::array<epoll_event, kEventsAtOnce> events{};
    while (true) {
        const int ready = ::epoll_wait(m_epoll.Get(), events.data(), kEventsAtOnce, WaitMs(Clock::now()));
        const Clock::time_point now = Clock::now();
        for (int i = 0; i < ready; ++i) {
            const std::uint64_t tag = events[static_cast<std::size_t>(i)].data.u64;
            if (tag == kWakeTag) {
                m_connections.clear();
                return;
            }
            if (tag == kListenTag) {
                Accept(now);
            } else {
                Dispatch(tag, events[static_cast<std::size_t>(i)].events, now);
            }
        }
        for (auto& [id, watched] : m_connections) {
            if (!watched.connection->Ended() && watched.connection->Deadline() <= now) {
                watched.connection->OnTime(now);
                Settle(id, watched);
            }
        }
        std::erase_if(m_connections, [](const auto& entry) { return entry.second.connection->Ended(); });
        WatchListener(true);
    }
}

void ProxyServer::Accept(Clock::time_point now) {
    while (true) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd =
            ::accept4(m_listen.Get(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                WatchListener(false);
            }
            return;
        }
        UniqueFd client(fd);
        const std::size_t open = m_connections.size();
        if (open >= static_cast<std::size_t>(m_config.maxClients) + kBusyExtra) {
            continue;
        }
        ++m_counters.accepted;
        const std::uint64_t id = m_nextId++;
        Watched& watched = m_connections[id];
        watched.connection = std::make_unique<ServeConnection>(
            std::move(client), AddressText(peer), m_config, m_pool, m_counters,
            open >= static_cast<std::size_t>(m_config.maxClients), now, &m_served, &m_pipes);
        Settle(id, watched);
    }
}

void ProxyServer::Dispatch(std::uint64_t tag, std::uint32_t events, Clock::time_point now) {
    const auto found = m_connections.find(tag >> 1);
    if (found == m_connections.end() || found->second.connection->Ended()) {
        return;
    }
    ServeConnection& connection = *found->second.connection;
    if ((tag & 1) != 0) {
        connection.OnUpstream(events, now);
    } else {
        connection.OnClient(events, now);
    }
    Settle(found->first, found->second);
}

void ProxyServer::Settle(std::uint64_t id, Watched& watched) {
    const ServeConnection& connection = *watched.connection;
    if (connection.Ended()) {
        return; // its descriptors are closed, and so out of the set
    }
    Watch(m_epoll.Get(), connection.ClientFd(), id << 1, watched.clientEvents, connection.ClientWants());
    if (connection.UpstreamFd() != watched.upstreamFd || connection.UpstreamSerial() != watched.upstreamSerial) {
        // The one before was closed (a failover), which took it out of the set.
        watched.upstreamFd = connection.UpstreamFd();
        watched.upstreamSerial = connection.UpstreamSerial();
        watched.upstreamEvents = 0;
    }
    if (watched.upstreamFd >= 0) {
        Watch(m_epoll.Get(), watched.upstreamFd, id << 1 | 1, watched.upstreamEvents, connection.UpstreamWants());
    }
}

} // namespace zandel
