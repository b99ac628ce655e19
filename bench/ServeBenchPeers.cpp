#include "bench/ServeBenchPeers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include "support/Loopback.h"

namespace zandel::bench {

namespace {

constexpr auto kPeerPatience = std::chrono::seconds(30);
constexpr std::size_t kChunk = std::size_t{64} * 1024;
constexpr int kBareHopPipe = 256 * 1024;

// The port of "host:port" or of "http://host:port/..." when the host is the origin's name or address.
int OriginPort(std::string_view authority) {
    const std::size_t colon = authority.rfind(':');
    if (colon == std::string_view::npos) {
        return -1;
    }
    const std::string_view host = authority.substr(0, colon);
    if (host != kOriginName && host != "127.0.0.1") {
        return -1;
    }
    return std::atoi(std::string(authority.substr(colon + 1)).c_str());
}

UniqueFd DialOrigin(int port) {
    return port > 0 ? test::ConnectLoopback(static_cast<std::uint16_t>(port)) : UniqueFd();
}

void Linger0AndClose(UniqueFd& fd) {
    const linger hard{1, 0};
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    fd.Reset();
}

// Waits until the peer closes (or the patience is out), reading whatever it sends.
void DrainUntilClosed(int fd) {
    char buffer[4096];
    pollfd wait{fd, POLLIN, 0};
    while (::poll(&wait, 1, static_cast<int>(std::chrono::milliseconds(kPeerPatience).count())) > 0) {
        if (::recv(fd, buffer, sizeof buffer, 0) <= 0) {
            return;
        }
    }
}

SSL_CTX* ServerContext(const std::string& identityPem) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    BIO* bio = BIO_new_mem_buf(identityPem.data(), static_cast<int>(identityPem.size()));
    X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    bio = BIO_new_mem_buf(identityPem.data(), static_cast<int>(identityPem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    SSL_CTX_use_certificate(context, certificate);
    SSL_CTX_use_PrivateKey(context, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
    return context;
}

} // namespace

ConnectionThreads::~ConnectionThreads() {
    while (m_live.load() > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

Listener::Listener(std::function<void(UniqueFd)> serve) : m_serve(std::move(serve)) {
    m_socket = test::ListenLoopback(m_port, 4096);
    m_thread = std::thread([this] {
        while (true) {
            const int fd = ::accept4(m_socket.Get(), nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE) {
                    continue;
                }
                return;
            }
            m_serve(UniqueFd(fd));
        }
    });
}

Listener::~Listener() {
    ::shutdown(m_socket.Get(), SHUT_RDWR); // wakes the accept with an error
    m_thread.join();
}

bool SendAll(int fd, std::string_view bytes) {
    return test::SendAll(fd, bytes);
}

bool ReadHead(int fd, std::string& head, std::string& rest, BenchClock::time_point deadline) {
    std::string in;
    char buffer[4096];
    while (true) {
        const std::size_t end = in.find("\r\n\r\n");
        if (end != std::string::npos) {
            head = in.substr(0, end + 4);
            rest = in.substr(end + 4);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - BenchClock::now()).count();
        pollfd wait{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&wait, 1, static_cast<int>(left)) <= 0) {
            return false;
        }
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return false;
        }
        in.append(buffer, static_cast<std::size_t>(got));
    }
}

void Relay(int a, int b, std::string toB) {
    if (!toB.empty() && !SendAll(b, toB)) {
        return;
    }
    std::vector<char> buffer(kChunk);
    bool aOpen = true;
    bool bOpen = true;
    while (aOpen || bOpen) {
        pollfd waits[2] = {{aOpen ? a : -1, POLLIN, 0}, {bOpen ? b : -1, POLLIN, 0}};
        if (::poll(waits, 2, static_cast<int>(std::chrono::milliseconds(kPeerPatience).count())) <= 0) {
            return;
        }
        for (int side = 0; side < 2; ++side) {
            if (waits[side].revents == 0) {
                continue;
            }
            const int from = side == 0 ? a : b;
            const int to = side == 0 ? b : a;
            const ssize_t got = ::recv(from, buffer.data(), buffer.size(), 0);
            if (got < 0) {
                return;
            }
            if (got == 0) {
                ::shutdown(to, SHUT_WR);
                (side == 0 ? aOpen : bOpen) = false;
            } else if (!SendAll(to, std::string_view(buffer.data(), static_cast<std::size_t>(got)))) {
                return;
            }
        }
    }
}

// Moves everything `from` sends into `to` until its end, then ends `to`'s sending side.
void SpliceAll(int from, int to) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return;
    }
    const UniqueFd read(ends[0]);
    const UniqueFd write(ends[1]);
    ::fcntl(write.Get(), F_SETPIPE_SZ, kBareHopPipe);
    while (true) {
        ssize_t held = ::splice(from, nullptr, write.Get(), nullptr, kBareHopPipe, SPLICE_F_MOVE);
        if (held <= 0) {
            break;
        }
        while (held > 0) {
            const ssize_t moved =
                ::splice(read.Get(), nullptr, to, nullptr, static_cast<std::size_t>(held), SPLICE_F_MOVE);
            if (moved <= 0) {
                return;
            }
            held -= moved;
        }
    }
    ::shutdown(to, SHUT_WR);
}

bool ServeTls(int fd, const std::string& identityPem, const std::string& answer) {
    SSL_CTX* context = ServerContext(identityPem);
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, fd);
    bool done = SSL_accept(ssl) == 1;
    if (done && !answer.empty()) {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos) {
            const int got = SSL_read(ssl, buffer, sizeof buffer);
            if (got <= 0) {
                done = false;
                break;
            }
            head.append(buffer, static_cast<std::size_t>(got));
        }
        done = done && SSL_write(ssl, answer.data(), static_cast<int>(answer.size())) > 0;
        SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    SSL_CTX_free(context);
    ERR_clear_error();
    return done;
}

// ---- the origin ----

struct Origin::Ports {
    std::unique_ptr<Listener> http;
    std::unique_ptr<Listener> tls;
    std::unique_ptr<Listener> big;
};

namespace {

std::string PageAnswer() {
    const std::string page = kOriginPage;
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page;
}

} // namespace

Origin::Origin(std::string identityPem) : m_identity(std::move(identityPem)), m_ports(std::make_unique<Ports>()) {
    m_ports->http = std::make_unique<Listener>([this](UniqueFd fd) {
        m_threads.Start([fd = std::make_shared<UniqueFd>(std::move(fd))] {
            std::string head;
            std::string rest;
            if (ReadHead(fd->Get(), head, rest, BenchClock::now() + kPeerPatience)) {
                SendAll(fd->Get(), PageAnswer());
            }
        });
    });
    m_ports->tls = std::make_unique<Listener>([this](UniqueFd fd) {
        m_threads.Start(
            [this, fd = std::make_shared<UniqueFd>(std::move(fd))] { ServeTls(fd->Get(), m_identity, PageAnswer()); });
    });
    m_ports->big = std::make_unique<Listener>([this](UniqueFd fd) {
        m_threads.Start([this, fd = std::make_shared<UniqueFd>(std::move(fd))] {
            std::string head;
            std::string rest;
            if (!ReadHead(fd->Get(), head, rest, BenchClock::now() + kPeerPatience)) {
                return;
            }
            // The kernel's own TCP pacing: the sender is held to the rate, as a link would hold it, with no
            // sleeping of ours in between.
            const std::uint64_t pace = m_bigPace;
            if (pace > 0) {
                ::setsockopt(fd->Get(), SOL_SOCKET, SO_MAX_PACING_RATE, &pace, sizeof pace);
            }
            const std::vector<char> zeros(kChunk, '\0');
            for (long long left = m_bigBytes; left > 0; left -= static_cast<long long>(kChunk)) {
                const std::size_t size = static_cast<std::size_t>(std::min<long long>(left, kChunk));
                if (!SendAll(fd->Get(), std::string_view(zeros.data(), size))) {
                    return;
                }
            }
        });
    });
}

Origin::~Origin() {
    m_ports.reset();
}

std::uint16_t Origin::HttpPort() const {
    return m_ports->http->Port();
}
std::uint16_t Origin::TlsPort() const {
    return m_ports->tls->Port();
}
std::uint16_t Origin::BigPort() const {
    return m_ports->big->Port();
}

// ---- the upstreams ----

const char* BehaviourName(Behaviour behaviour) {
    static constexpr const char* kNames[] = {"healthy", "black hole", "resetter", "slow", "tampering", "intercepting"};
    return kNames[static_cast<int>(behaviour)];
}

BenchUpstream::BenchUpstream(Behaviour behaviour, const std::string& interceptPem)
    : m_behaviour(behaviour), m_interceptPem(interceptPem) {
    m_listener = std::make_unique<Listener>([this](UniqueFd fd) {
        ++m_accepted;
        m_threads.Start([this, fd = std::make_shared<UniqueFd>(std::move(fd)), at = BenchClock::now()]() mutable {
            Serve(std::move(*fd), at);
        });
    });
}

BenchUpstream::~BenchUpstream() {
    m_listener.reset();
}

std::uint16_t BenchUpstream::Port() const {
    return m_listener->Port();
}

int BenchUpstream::AcceptedAfterFirstSpoilt() const {
    const std::lock_guard lock(m_mutex);
    const bool tunnelsOnly = m_behaviour == Behaviour::Intercepting;
    return static_cast<int>(std::count_if(m_accepts.begin(), m_accepts.end(), [&](const auto& accept) {
        return accept.first > m_firstSpoilt && (accept.second || !tunnelsOnly);
    }));
}

void BenchUpstream::Spoilt() {
    const std::lock_guard lock(m_mutex);
    m_firstSpoilt = std::min(m_firstSpoilt, BenchClock::now());
}

void BenchUpstream::Serve(UniqueFd client, BenchClock::time_point accepted) {
    if (m_behaviour == Behaviour::BlackHole) {
        DrainUntilClosed(client.Get());
        return;
    }
    std::string head;
    std::string rest;
    if (!ReadHead(client.Get(), head, rest, BenchClock::now() + kPeerPatience)) {
        return;
    }
    if (m_behaviour == Behaviour::Resetter) {
        Linger0AndClose(client);
        return;
    }
    if (m_behaviour == Behaviour::Slow) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
    }
    const std::size_t blank = head.find(' ');
    const std::size_t second = head.find(' ', blank + 1);
    const std::string method = head.substr(0, blank);
    const std::string target = head.substr(blank + 1, second - blank - 1);
    {
        const std::lock_guard lock(m_mutex);
        m_accepts.emplace_back(accepted, method == "CONNECT");
    }
    if (method == "CONNECT") {
        if (m_behaviour == Behaviour::Tampering) {
            SendAll(client.Get(), "HTTP/1.1 200 Connection established\r\n\r\n");
            pollfd hello{client.Get(), POLLIN, 0}; // the client's TLS hello, answered with a page of its own
            ::poll(&hello, 1, 2000);
            SendAll(client.Get(), "<html>the upstream's own page</html>\r\n\r\n");
            DrainUntilClosed(client.Get());
            Spoilt();
            return;
        }
        if (m_behaviour == Behaviour::Intercepting) {
            SendAll(client.Get(), "HTTP/1.1 200 Connection established\r\n\r\n");
            ServeTls(client.Get(), m_interceptPem, PageAnswer());
            DrainUntilClosed(client.Get());
            Spoilt();
            return;
        }
        const UniqueFd origin = DialOrigin(OriginPort(target));
        if (!origin.IsOpen()) {
            SendAll(client.Get(), "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        SendAll(client.Get(), "HTTP/1.1 200 Connection established\r\n\r\n");
        Relay(client.Get(), origin.Get(), rest);
        return;
    }
    if (m_behaviour == Behaviour::Tampering) {
        SendAll(client.Get(), "<html>the upstream's own page</html>\r\n");
        Spoilt();
        return;
    }
    // Absolute form: "http://origin.test:port/path" in origin form to the origin.
    constexpr std::string_view kScheme = "http://";
    const std::string rest_ = target.substr(std::min(target.size(), kScheme.size()));
    const std::size_t pathAt = std::min(rest_.find('/'), rest_.size());
    const UniqueFd origin = DialOrigin(OriginPort(rest_.substr(0, pathAt)));
    if (!origin.IsOpen()) {
        SendAll(client.Get(), "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
        return;
    }
    const std::string path = pathAt < rest_.size() ? rest_.substr(pathAt) : "/";
    Relay(client.Get(), origin.Get(), method + " " + path + head.substr(second) + rest);
}

// ---- the idle holder ----

BareHop::BareHop(std::uint16_t port) : m_to(port) {
    m_listener = std::make_unique<Listener>([this](UniqueFd client) {
        auto ends = std::make_shared<std::pair<UniqueFd, UniqueFd>>(std::move(client), DialOrigin(m_to));
        if (!ends->second.IsOpen()) {
            return;
        }
        m_threads.Start([ends] { SpliceAll(ends->first.Get(), ends->second.Get()); });
        m_threads.Start([ends] { SpliceAll(ends->second.Get(), ends->first.Get()); });
    });
}

BareHop::~BareHop() = default;

std::uint16_t BareHop::Port() const {
    return m_listener->Port();
}

IdleHolder::IdleHolder() {
    m_listen = test::ListenLoopback(m_port, 4096, SOCK_NONBLOCK);
    m_epoll.Reset(::epoll_create1(EPOLL_CLOEXEC));
    m_wake.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = m_listen.Get();
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, m_listen.Get(), &event);
    event.data.fd = m_wake.Get();
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, m_wake.Get(), &event);
    m_thread = std::thread([this] { Run(); });
}

IdleHolder::~IdleHolder() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.Get(), &one, sizeof one);
    m_thread.join();
}

void IdleHolder::Run() {
    std::vector<UniqueFd> held;
    epoll_event events[64];
    char buffer[4096];
    while (true) {
        const int ready = ::epoll_wait(m_epoll.Get(), events, 64, -1);
        for (int i = 0; i < ready; ++i) {
            const int fd = events[i].data.fd;
            if (fd == m_wake.Get()) {
                return;
            }
            if (fd == m_listen.Get()) {
                for (int client; (client = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
                    epoll_event event{};
                    event.events = EPOLLIN;
                    event.data.fd = client;
                    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, client, &event);
                    held.emplace_back(client);
                }
                continue;
            }
            // The CONNECT head comes in one piece on loopback: answered once, then the tunnel stays silent.
            if (::recv(fd, buffer, sizeof buffer, 0) > 0) {
                SendAll(fd, "HTTP/1.1 200 Connection established\r\n\r\n");
            }
            ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, fd, nullptr);
        }
    }
}

} // namespace zandel::bench
