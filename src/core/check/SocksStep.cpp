#include "core/check/SocksStep.h"

#include <algorithm>
#include <cerrno>

#include <arpa/inet.h>
#include <sys/socket.h>

#include "core/check/SocksReply.h"
#include "core/util/HostPort.h"

namespace zandel {

namespace {

// RFC 1929 and SOCKS5's name field count their bytes in one byte.
constexpr std::size_t kMaxSocksField = 255;
constexpr std::uint8_t kNoMethod = 0x00;
constexpr std::uint8_t kLoginMethod = 0x02;
constexpr std::uint8_t kNoneAcceptable = 0xFF;

std::string PortBytes(std::uint16_t port) {
    return {static_cast<char>(port >> 8), static_cast<char>(port & 0xFF)};
}

// The target's address of `family` as bytes: the literal itself, else what the run looked up for the name.
std::string AddressBytes(const SocksTarget& target, int family) {
    std::string host = target.host;
    if (IsBracketedHost(host)) {
        host = host.substr(1, host.size() - 2);
    }
    unsigned char bytes[16] = {};
    if (::inet_pton(family, host.c_str(), bytes) == 1) {
        return std::string(reinterpret_cast<const char*>(bytes), family == AF_INET ? 4 : 16);
    }
    return family == AF_INET ? target.ipv4 : target.ipv6;
}

bool IsLiteral(const SocksTarget& target) {
    unsigned char bytes[16] = {};
    return IsBracketedHost(target.host) || ::inet_pton(AF_INET, target.host.c_str(), bytes) == 1;
}

} // namespace

SocksStep::SocksStep(IStepContext& context, ProxyKind kind, const SocksTarget& target, const ProxyLogin& login,
                     bool forTunnel)
    : m_context(context), m_kind(kind), m_target(target), m_login(login), m_forTunnel(forTunnel) {}

StepWait SocksStep::Ended(SocksReport::End end, std::uint8_t code) {
    if (m_over) {
        return StepWait::Over;
    }
    using End = SocksReport::End;
    m_over = true;
    m_through = end == End::Through;
    // Whatever answered was no SOCKS proxy of this version: another kind may fit it.
    m_misfit = (end == End::Closed || end == End::BadReply) && m_fd >= 0 &&
               (m_phase == Phase::Choice || (m_kind != ProxyKind::Socks5 && m_kind != ProxyKind::Socks5h));
    switch (end) {
    case End::Through:
        m_status = JobStatus::Ok;
        break;
    case End::TimedOut:
        m_status = JobStatus::TimedOut;
        break;
    case End::Stopped:
        m_status = JobStatus::Cancelled;
        break;
    default:
        m_status = JobStatus::SocketError;
        break;
    }
    SocksReport report;
    report.end = end;
    report.version = m_kind == ProxyKind::Socks4 || m_kind == ProxyKind::Socks4a ? 4 : 5;
    report.code = code;
    if (!m_forTunnel) {
        m_context.Job().socks = report;
        return StepWait::Over;
    }
    TunnelReport& tunnel = m_context.Job().tunnel;
    switch (end) {
    case End::Through:
        break;
    case End::NotRun:
        tunnel.end = TunnelReport::End::Refused;
        break;
    case End::Closed:
        tunnel.end = TunnelReport::End::Closed;
        break;
    case End::TimedOut:
        tunnel.end = TunnelReport::End::TimedOut;
        break;
    case End::Stopped:
        tunnel.end = TunnelReport::End::Stopped;
        break;
    default:
        tunnel.end = TunnelReport::End::BadStatus;
        tunnel.statusLine = SocksRefusalText(report);
        break;
    }
    return StepWait::Over;
}

void SocksStep::Stop(StepStop why) {
    Ended(StoppedEnd(why, SocksReport::End::Stopped, SocksReport::End::TimedOut,
                     m_fd < 0 ? SocksReport::End::NotRun : SocksReport::End::Closed));
}

StepWait SocksStep::Start(int fd, std::string_view /*early*/) {
    m_fd = fd;
    if (!m_forTunnel) {
        m_context.Raise(ProbeEvent::PE_CONNECTED);
    }
    if (m_login.given && (m_login.user.size() > kMaxSocksField || m_login.password.size() > kMaxSocksField)) {
        return Ended(SocksReport::End::LoginTooLong);
    }
    if (m_kind == ProxyKind::Socks4 || m_kind == ProxyKind::Socks4a) {
        m_phase = Phase::Reply;
        return SendConnect();
    }
    std::string greeting{static_cast<char>(kSocks5), 1, static_cast<char>(kNoMethod)};
    if (OffersLogin()) {
        greeting = {static_cast<char>(kSocks5), 2, static_cast<char>(kNoMethod), static_cast<char>(kLoginMethod)};
    }
    return Send(std::move(greeting), Phase::Choice);
}

// RFC 1929 gives a user name and a password one byte or more each: a login short of either is not offered.
bool SocksStep::OffersLogin() const {
    return m_login.given && !m_login.user.empty() && !m_login.password.empty();
}

StepWait SocksStep::SendConnect() {
    const std::string port = PortBytes(m_target.port);
    // The user name is SOCKS4's only field of a login; its password has no place there.
    const std::string user = m_login.given ? m_login.user : std::string();
    if (m_kind == ProxyKind::Socks4 || m_kind == ProxyKind::Socks4a) {
        std::string ipv4 = AddressBytes(m_target, AF_INET);
        const bool byName = m_kind == ProxyKind::Socks4a && !IsLiteral(m_target);
        if (byName) {
            ipv4 = std::string("\0\0\0\1", 4);
        }
        if (ipv4.size() != 4 || (byName && m_target.host.size() > kMaxSocksField)) {
            return Ended(SocksReport::End::NeedsIpv4);
        }
        std::string request = std::string{4, 1} + port + ipv4 + user + '\0';
        if (byName) {
            request += m_target.host + '\0';
        }
        return Send(std::move(request), Phase::Reply);
    }
    std::string address;
    const std::string ipv4 = AddressBytes(m_target, AF_INET);
    const std::string ipv6 = AddressBytes(m_target, AF_INET6);
    const bool byName = !IsLiteral(m_target) && (m_kind == ProxyKind::Socks5h || (ipv4.empty() && ipv6.empty()));
    if (byName) {
        if (m_target.host.size() > kMaxSocksField) {
            return Ended(SocksReport::End::BadReply);
        }
        address = std::string{3, static_cast<char>(m_target.host.size())} + m_target.host;
    } else if (ipv4.size() == 4) {
        address = std::string{1} + ipv4;
    } else {
        address = std::string{4} + ipv6;
    }
    return Send(std::string{static_cast<char>(kSocks5), 1, 0} + address + port, Phase::Reply);
}

StepWait SocksStep::Send(std::string bytes, Phase next) {
    m_out = std::move(bytes);
    m_sent = 0;
    m_in.clear();
    m_phase = next;
    return Flush();
}

StepWait SocksStep::Flush() {
    while (m_sent < m_out.size()) {
        const ssize_t sent = ::send(m_fd, m_out.data() + m_sent, m_out.size() - m_sent, MSG_NOSIGNAL);
        if (sent < 0) {
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? StepWait::Write
                                                                             : Ended(SocksReport::End::Closed);
        }
        m_sent += static_cast<std::size_t>(sent);
    }
    return StepWait::Read;
}

StepWait SocksStep::OnReady() {
    if (m_over) {
        return StepWait::Over;
    }
    return m_sent < m_out.size() ? Flush() : Read();
}

StepWait SocksStep::Read() {
    const auto answer = [this] {
        switch (m_phase) {
        case Phase::Choice:
            return ReadSocks5Choice(m_in);
        case Phase::Login:
            return ReadSocksLoginAnswer(m_in);
        case Phase::Reply:
            break;
        }
        return m_kind == ProxyKind::Socks4 || m_kind == ProxyKind::Socks4a ? ReadSocks4Reply(m_in)
                                                                           : ReadSocks5Reply(m_in);
    };
    // Never more than the answer holds: what follows it is the target's, for the next step.
    SocksAnswer now = answer();
    char chunk[300];
    const std::size_t want = now.need > m_in.size() ? now.need - m_in.size() : 1;
    const ssize_t got = ::recv(m_fd, chunk, std::min(want, sizeof chunk), 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return StepWait::Read;
    }
    if (got <= 0) {
        return Ended(SocksReport::End::Closed);
    }
    m_in.append(chunk, static_cast<std::size_t>(got));
    now = answer();
    if (now.state == SocksAnswer::State::Bad) {
        return Ended(SocksReport::End::BadReply);
    }
    return now.state == SocksAnswer::State::More ? StepWait::Read : Answer();
}

StepWait SocksStep::Answer() {
    const std::uint8_t code = m_phase == Phase::Choice  ? ReadSocks5Choice(m_in).code
                              : m_phase == Phase::Login ? ReadSocksLoginAnswer(m_in).code
                              : m_kind == ProxyKind::Socks4 || m_kind == ProxyKind::Socks4a
                                  ? ReadSocks4Reply(m_in).code
                                  : ReadSocks5Reply(m_in).code;
    switch (m_phase) {
    case Phase::Choice:
        if (code == kNoMethod) {
            m_context.Raise(ProbeEvent::PE_SOCKS_GREETED);
            return SendConnect();
        }
        // Offered no login, a proxy that wants one answers that no method is acceptable (dante, microsocks).
        if (code == kLoginMethod || (code == kNoneAcceptable && !OffersLogin())) {
            if (!OffersLogin()) {
                return Ended(m_login.given ? SocksReport::End::LoginEmpty : SocksReport::End::LoginNeeded);
            }
            return Send(std::string{1, static_cast<char>(m_login.user.size())} + m_login.user +
                            static_cast<char>(m_login.password.size()) + m_login.password,
                        Phase::Login);
        }
        return Ended(code == kNoneAcceptable ? SocksReport::End::NoMethod : SocksReport::End::BadReply, code);
    case Phase::Login:
        if (code != 0) {
            return Ended(SocksReport::End::LoginRefused, code);
        }
        m_context.Raise(ProbeEvent::PE_SOCKS_GREETED);
        return SendConnect();
    case Phase::Reply:
        break;
    }
    if (code != 0 && code != kGranted4) {
        return Ended(SocksReport::End::Rejected, code);
    }
    m_context.Raise(ProbeEvent::PE_SOCKS_OPEN);
    return Ended(SocksReport::End::Through);
}

} // namespace zandel
