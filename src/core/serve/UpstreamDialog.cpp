#include "core/serve/UpstreamDialog.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "core/check/ProbePlan.h"
#include "core/check/SocksReply.h"

namespace zandel {

namespace {

// The longest CONNECT answer head taken, as the engine's CONNECT step takes it.
constexpr std::size_t kMaxConnectHead = 8192;
constexpr char kSocks5Version = 5;
constexpr unsigned char kMethodNone = 0;
constexpr unsigned char kMethodLogin = 2;

void AppendPort(std::string& bytes, std::uint16_t port) {
    bytes.push_back(static_cast<char>(port >> 8));
    bytes.push_back(static_cast<char>(port & 0xFF));
}

std::string AddressBytes(int family, const std::string& host) {
    unsigned char bytes[16] = {};
    ::inet_pton(family, host.c_str(), bytes);
    return std::string(reinterpret_cast<const char*>(bytes), family == AF_INET ? 4 : 16);
}

int StatusOf(std::string_view head) {
    // "HTTP/1.x NNN"
    if (head.size() < 12 || head.substr(0, 7) != "HTTP/1." || head[8] != ' ') {
        return -1;
    }
    int status = 0;
    for (std::size_t i = 9; i < 12; ++i) {
        if (head[i] < '0' || head[i] > '9') {
            return -1;
        }
        status = status * 10 + (head[i] - '0');
    }
    return status;
}

} // namespace

bool UpstreamCanReach(ProxyKind kind, const ClientTarget& target) {
    switch (kind) {
    case ProxyKind::Socks4:
        return target.form == HostForm::Ipv4;
    case ProxyKind::Socks4a:
        return target.form != HostForm::Ipv6;
    default:
        return true;
    }
}

std::string PlainRequest(const ClientTarget& target, bool absoluteForm, const ProxyLogin& login) {
    const std::string& uri = absoluteForm ? target.absoluteTarget : target.originTarget;
    std::string request =
        target.method + " " + uri + " " + target.version + "\r\n" + target.headerLines + "Connection: close\r\n\r\n";
    return absoluteForm && login.given ? WithProxyLogin(request, login) : request;
}

UpstreamDialog::UpstreamDialog(ProxyKind kind, const ProxyLogin& login, const ClientTarget& target, bool plain)
    : m_kind(kind), m_login(login), m_target(target), m_plain(plain) {}

std::string UpstreamDialog::Opening() {
    if (!IsSocks(m_kind)) {
        if (m_plain) {
            m_phase = Phase::Through;
            return PlainRequest(m_target, true, m_login);
        }
        m_phase = Phase::ConnectHead;
        const std::string authority = TargetAuthority(m_target);
        const std::string request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n";
        return m_login.given ? WithProxyLogin(request, m_login) : request;
    }
    if (m_kind == ProxyKind::Socks4 || m_kind == ProxyKind::Socks4a) {
        m_phase = Phase::Socks4Reply;
        return Socks4Request();
    }
    m_phase = Phase::Socks5Choice;
    if (m_login.given) {
        return std::string{kSocks5Version, 2, static_cast<char>(kMethodNone), static_cast<char>(kMethodLogin)};
    }
    return std::string{kSocks5Version, 1, static_cast<char>(kMethodNone)};
}

std::string UpstreamDialog::Socks4Request() const {
    std::string bytes{4, 1};
    AppendPort(bytes, m_target.port);
    const bool named = m_target.form != HostForm::Ipv4;
    // SOCKS4a's mark: the address 0.0.0.1, the name after the user id.
    bytes += named ? std::string{0, 0, 0, 1} : AddressBytes(AF_INET, m_target.host);
    bytes += (m_login.given ? m_login.user : std::string()) + '\0';
    if (named) {
        bytes += m_target.host + '\0';
    }
    return bytes;
}

std::string UpstreamDialog::Socks5Request() const {
    std::string bytes{kSocks5Version, 1, 0};
    switch (m_target.form) {
    case HostForm::Ipv4:
        bytes += '\1' + AddressBytes(AF_INET, m_target.host);
        break;
    case HostForm::Ipv6:
        bytes += '\4' + AddressBytes(AF_INET6, m_target.host);
        break;
    case HostForm::Name:
        bytes += '\3';
        bytes += static_cast<char>(m_target.host.size());
        bytes += m_target.host;
        break;
    }
    AppendPort(bytes, m_target.port);
    return bytes;
}

UpstreamDialog::Step UpstreamDialog::Feed(std::string& in) {
    return m_phase == Phase::ConnectHead ? FeedConnectHead(in) : FeedSocks(in);
}

UpstreamDialog::Step UpstreamDialog::Failed(Blame blame) {
    return {Step::Kind::Failed, {}, blame};
}

UpstreamDialog::Step UpstreamDialog::Through() {
    m_phase = Phase::Through;
    return {Step::Kind::Through, m_plain ? PlainRequest(m_target, false, m_login) : std::string(), Blame::Proxy};
}

UpstreamDialog::Step UpstreamDialog::FeedConnectHead(std::string& in) {
    while (true) {
        const std::size_t end = in.find("\r\n\r\n");
        if (end == std::string::npos) {
            return in.size() > kMaxConnectHead ? Failed(Blame::Proxy) : Step{};
        }
        const int status = StatusOf(in);
        in.erase(0, end + 4);
        if (status >= 200 && status < 300) {
            return Through();
        }
        if (status < 100 || status >= 200) {
            // A refused login, or no HTTP at all, is the upstream's fault; anything else concerns this target.
            return Failed(status < 0 || status == 407 ? Blame::Proxy : Blame::Target);
        }
    }
}

UpstreamDialog::Step UpstreamDialog::FeedSocks(std::string& in) {
    SocksAnswer answer;
    switch (m_phase) {
    case Phase::Socks5Choice:
        answer = ReadSocks5Choice(in);
        break;
    case Phase::Socks5Login:
        answer = ReadSocksLoginAnswer(in);
        break;
    case Phase::Socks5Reply:
        answer = ReadSocks5Reply(in);
        break;
    default:
        answer = ReadSocks4Reply(in);
    }
    if (answer.state == SocksAnswer::State::Bad) {
        return Failed(Blame::Proxy);
    }
    if (answer.state == SocksAnswer::State::More) {
        return {};
    }
    in.erase(0, answer.need);
    switch (m_phase) {
    case Phase::Socks5Choice:
        if (answer.code == kMethodLogin && m_login.given) {
            m_phase = Phase::Socks5Login;
            return {Step::Kind::Send,
                    std::string{1, static_cast<char>(m_login.user.size())} + m_login.user +
                        static_cast<char>(m_login.password.size()) + m_login.password,
                    Blame::Proxy};
        }
        if (answer.code != kMethodNone) {
            return Failed(Blame::Proxy);
        }
        m_phase = Phase::Socks5Reply;
        return {Step::Kind::Send, Socks5Request(), Blame::Proxy};
    case Phase::Socks5Login:
        if (answer.code != 0) {
            return Failed(Blame::Proxy);
        }
        m_phase = Phase::Socks5Reply;
        return {Step::Kind::Send, Socks5Request(), Blame::Proxy};
    case Phase::Socks5Reply:
        return answer.code == 0 ? Through() : Failed(Blame::Target);
    default:
        return answer.code == kGranted4 ? Through() : Failed(Blame::Target);
    }
}

} // namespace zandel
