#include "support/FakeProxy.h"

#include <cerrno>
#include <system_error>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include "core/util/Text.h"
#include "support/HttpHead.h"
#include "support/Loopback.h"
#include "support/TestTls.h"

namespace zandel::test {

namespace {

constexpr std::string_view kBadGateway =
    "HTTP/1.0 502 Bad Gateway\r\nContent-Type: text/plain\r\n\r\nThis proxy only reaches 127.0.0.1.\r\n";
constexpr std::string_view kBadRequest =
    "HTTP/1.0 400 Bad Request\r\nContent-Type: text/plain\r\n\r\nAn absolute http URL is needed.\r\n";

bool IsLoopbackName(std::string_view host) {
    return host == "127.0.0.1" || EqualsNoCase(host, "localhost");
}

// Bytes both ways between the client and the server until either closes or the fake stops.
void Relay(ServerConnection& connection, int upstream) {
    pollfd fds[3] = {{connection.Fd(), POLLIN, 0}, {upstream, POLLIN, 0}, {connection.StopFd(), POLLIN, 0}};
    char chunk[4096];
    for (;;) {
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[2].revents != 0) {
            return;
        }
        for (int side = 0; side < 2; ++side) {
            if (fds[side].revents == 0) {
                continue;
            }
            const ssize_t got = ::recv(fds[side].fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                continue;
            }
            const std::string_view bytes(chunk, got > 0 ? static_cast<std::size_t>(got) : 0);
            if (got <= 0 || (side == 0 ? !SendAll(upstream, bytes) : !connection.Send(bytes))) {
                return;
            }
        }
    }
}

} // namespace

FakeProxy::FakeProxy(FakeScript script, std::uint16_t port, LoopbackFamily family)
    : m_script(std::move(script)), m_port(port), m_family(family) {
    if (!m_script.empty() && m_script.front().kind == FakeStep::Kind::Refuse) {
        // A port bound but never listening: every connection attempt is refused, and no one else gets the port.
        m_refusing = BindLoopback(m_port, family);
        if (!m_refusing.IsOpen()) {
            throw std::system_error(errno, std::generic_category(), "bind " + LoopbackAddress(port, family));
        }
        return;
    }
    m_server =
        std::make_unique<LoopbackServer>([this](ServerConnection& connection) { Serve(connection); }, port, family);
    m_port = m_server->Port();
}

FakeProxy::~FakeProxy() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_server.reset();
}

std::string FakeProxy::Address() const {
    return LoopbackAddress(m_port, m_family);
}

void FakeProxy::OpenGate() {
    {
        std::lock_guard lock(m_mutex);
        ++m_gatePermits;
    }
    m_changed.notify_all();
}

bool FakeProxy::WaitGate() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_stopping || m_gatePermits > 0; });
    if (m_stopping) {
        return false;
    }
    --m_gatePermits;
    return true;
}

bool FakeProxy::WaitForFinished(std::size_t count, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_received.size() >= count; });
}

bool FakeProxy::WaitForDelivered(std::size_t count, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_delivered >= count; });
}

std::vector<std::string> FakeProxy::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

void FakeProxy::Serve(ServerConnection& connection) {
    bool going = true;
    for (auto step = m_script.begin(); going && step != m_script.end(); ++step) {
        switch (step->kind) {
        case FakeStep::Kind::Refuse:
            going = false;
            break;
        case FakeStep::Kind::ReadRequest:
            going = connection.ReadRequestHead();
            break;
        case FakeStep::Kind::Expect:
            going = connection.Received().compare(0, step->bytes.size(), step->bytes) == 0;
            break;
        case FakeStep::Kind::ReadBytes:
            going = connection.ReadUntilSize(static_cast<std::size_t>(step->milliseconds));
            break;
        case FakeStep::Kind::Send:
            going = connection.Send(step->bytes);
            break;
        case FakeStep::Kind::Pause:
            going = connection.Pause(step->milliseconds);
            break;
        case FakeStep::Kind::WaitGate:
            going = WaitGate();
            break;
        case FakeStep::Kind::AnswerGet:
            if (connection.RequestHead().substr(0, 8) == "CONNECT ") {
                break;
            }
            connection.Send(step->bytes);
            [[fallthrough]];
        case FakeStep::Kind::Close:
            connection.FinishSending();
            {
                std::lock_guard lock(m_mutex);
                ++m_delivered;
            }
            m_changed.notify_all();
            connection.DrainUntilPeerCloses();
            going = false;
            break;
        case FakeStep::Kind::Tls:
            ServeTlsHandshake(connection, step->bytes);
            going = false;
            break;
        case FakeStep::Kind::StaySilent:
            connection.DrainUntilPeerCloses();
            going = false;
            break;
        case FakeStep::Kind::Forward:
            going = Forward(connection, step->bytes);
            break;
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_received.push_back(connection.Received());
    }
    m_changed.notify_all();
}

bool FakeProxy::Forward(ServerConnection& connection, const std::string& addedHeaders) {
    if (!connection.ReadRequestHead()) {
        return false;
    }
    RequestHead head;
    AbsoluteUrl url;
    std::string_view refusal;
    if (ParseRequestHead(connection.RequestHead(), head) && head.method == "CONNECT" &&
        ParseAbsoluteUrl("http://" + head.target + "/", url) && IsLoopbackName(url.host)) {
        UniqueFd upstream = ConnectLoopback(static_cast<std::uint16_t>(url.port));
        if (upstream.IsOpen() && connection.Send("HTTP/1.0 200 Connection established\r\n\r\n")) {
            Relay(connection, upstream.Get());
        }
        connection.FinishSending();
        connection.DrainUntilPeerCloses();
        return false;
    }
    if (!ParseRequestHead(connection.RequestHead(), head) || !ParseAbsoluteUrl(head.target, url)) {
        refusal = kBadRequest;
    } else if (!IsLoopbackName(url.host)) {
        refusal = kBadGateway;
    }
    UniqueFd upstream;
    if (refusal.empty()) {
        upstream = ConnectLoopback(static_cast<std::uint16_t>(url.port));
        if (!upstream.IsOpen()) {
            refusal = kBadGateway;
        }
    }
    if (!refusal.empty()) {
        connection.Send(refusal);
        connection.FinishSending();
        connection.DrainUntilPeerCloses();
        return false;
    }

    std::string request = head.method + " " + url.path + " " + head.version + "\r\n";
    for (const auto& [name, value] : head.headers) {
        // Hop-by-hop headers stop here, as at a real proxy; only the added ones tell about this proxy.
        if (!EqualsNoCase(name, "Proxy-Connection") && !EqualsNoCase(name, "Connection")) {
            request.append(name).append(": ").append(value).append("\r\n");
        }
    }
    request.append(addedHeaders).append("\r\n");
    if (SendAll(upstream.Get(), request)) {
        pollfd fds[2] = {};
        fds[0].fd = upstream.Get();
        fds[0].events = POLLIN;
        fds[1].fd = connection.StopFd();
        fds[1].events = POLLIN;
        char chunk[4096];
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                break;
            }
            if (fds[1].revents != 0) {
                return false;
            }
            const ssize_t got = ::recv(upstream.Get(), chunk, sizeof chunk, 0);
            if (got <= 0 || !connection.Send(std::string_view(chunk, static_cast<std::size_t>(got)))) {
                break;
            }
        }
    }
    connection.FinishSending();
    connection.DrainUntilPeerCloses();
    return false;
}

} // namespace zandel::test
