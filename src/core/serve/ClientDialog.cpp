#include "core/serve/ClientDialog.h"

#include <algorithm>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace zandel {

namespace {

constexpr char kSocks4Version = 4;
constexpr char kSocks5Version = 5;
constexpr char kLoginVersion = 1;
constexpr unsigned char kMethodNone = 0;
constexpr unsigned char kMethodLogin = 2;
constexpr unsigned char kNoMethod = 0xFF;
constexpr char kCommandConnect = 1;
constexpr unsigned char kAtypIpv4 = 1;
constexpr unsigned char kAtypName = 3;
constexpr unsigned char kAtypIpv6 = 4;
// SOCKS4's userid and 4a's host run to a zero byte; nothing longer is taken.
constexpr std::size_t kMaxSocksField = 255;

std::uint8_t Byte(const std::string& in, std::size_t at) {
    return static_cast<std::uint8_t>(in[at]);
}

std::string Socks5Reply(unsigned char code) {
    return std::string{kSocks5Version, static_cast<char>(code), 0, 1, 0, 0, 0, 0, 0, 0};
}

std::string Socks4Reply(unsigned char code) {
    return std::string{0, static_cast<char>(code), 0, 0, 0, 0, 0, 0};
}

std::string HttpAnswer(const char* status, const char* extra = "") {
    return std::string("HTTP/1.1 ") + status + "\r\n" + extra + "Content-Length: 0\r\nConnection: close\r\n\r\n";
}

unsigned char Socks5Code(Refusal refusal) {
    switch (refusal) {
    case Refusal::PortRefused:
        return 2;
    case Refusal::NotSupported:
        return 7;
    case Refusal::AddressType:
        return 8;
    default:
        return 1;
    }
}

// A name passed on to the upstream as it is: printable ASCII without blanks, as host names are.
bool IsPlainName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxSocksField && std::all_of(name.begin(), name.end(), [](char c) {
        return c > 0x20 && c < 0x7f && c != '/' && c != '@' && c != '[' && c != ']';
    });
}

} // namespace

std::string TargetAuthority(const ClientTarget& target) {
    const std::string host = target.form == HostForm::Ipv6 ? "[" + target.host + "]" : target.host;
    return host + ":" + std::to_string(target.port);
}

std::string RefusalBytes(ClientProtocol protocol, Refusal refusal) {
    if (protocol == ClientProtocol::Socks5) {
        return Socks5Reply(Socks5Code(refusal));
    }
    if (protocol == ClientProtocol::Socks4) {
        return Socks4Reply(91);
    }
    switch (refusal) {
    case Refusal::LoginNeeded:
    case Refusal::LoginRefused:
        return HttpAnswer("407 Proxy Authentication Required", "Proxy-Authenticate: Basic realm=\"zandel\"\r\n");
    case Refusal::PortRefused:
        return HttpAnswer("403 Forbidden");
    case Refusal::NotSupported:
        return HttpAnswer("405 Method Not Allowed");
    case Refusal::TooLarge:
        return HttpAnswer("431 Request Header Fields Too Large");
    case Refusal::Unavailable:
        return HttpAnswer("503 Service Unavailable");
    case Refusal::UpstreamFailed:
        return HttpAnswer("502 Bad Gateway");
    default:
        return HttpAnswer("400 Bad Request");
    }
}

std::string GrantBytes(ClientProtocol protocol) {
    switch (protocol) {
    case ClientProtocol::HttpConnect:
        return "HTTP/1.1 200 Connection established\r\n\r\n";
    case ClientProtocol::Socks5:
        return Socks5Reply(0);
    case ClientProtocol::Socks4:
        return Socks4Reply(90);
    default:
        return {};
    }
}

ClientDialog::Step ClientDialog::Feed(std::string& in) {
    if (m_phase == Phase::Sniff && !in.empty()) {
        switch (in[0]) {
        case kSocks5Version:
            m_protocol = ClientProtocol::Socks5;
            m_phase = Phase::Socks5Greeting;
            break;
        case kSocks4Version:
            m_protocol = ClientProtocol::Socks4;
            m_phase = Phase::Socks4;
            break;
        default:
            m_protocol = ClientProtocol::Http;
            m_phase = Phase::Head;
        }
    }
    switch (m_phase) {
    case Phase::Head:
        return FeedHead(in);
    case Phase::Socks4:
        return FeedSocks4(in);
    case Phase::Socks5Greeting:
        return FeedSocks5Greeting(in);
    case Phase::Socks5Login:
        return FeedSocks5Login(in);
    case Phase::Socks5Request:
        return FeedSocks5Request(in);
    default:
        return {};
    }
}

ClientDialog::Step ClientDialog::Refuse(Refusal refusal) {
    return Refuse(RefusalBytes(m_protocol, refusal));
}

ClientDialog::Step ClientDialog::Refuse(std::string bytes) {
    m_phase = Phase::Done;
    return {Step::Kind::Refuse, std::move(bytes)};
}

ClientDialog::Step ClientDialog::Aim() {
    const std::vector<std::uint16_t>& ports = m_config.ports;
    if (std::find(ports.begin(), ports.end(), m_target.port) == ports.end()) {
        return Refuse(Refusal::PortRefused);
    }
    m_phase = Phase::Done;
    return {Step::Kind::Target, {}};
}

// VN CD DSTPORT DSTIP USERID 0, and for 4a (DSTIP 0.0.0.x, x not 0) the host and a zero byte after.
ClientDialog::Step ClientDialog::FeedSocks4(std::string& in) {
    constexpr std::size_t kFixed = 8;
    if (in.size() < 2) {
        return {};
    }
    if (in[1] != kCommandConnect) {
        return Refuse(Refusal::NotSupported);
    }
    if (in.size() <= kFixed) {
        return {};
    }
    // A field past its limit is refused whether or not its zero byte has come yet.
    const auto tooLong = [&in](std::size_t start, std::size_t end) {
        return (end == std::string::npos ? in.size() : end) - start > kMaxSocksField;
    };
    const std::size_t userEnd = in.find('\0', kFixed);
    if (tooLong(kFixed, userEnd)) {
        return Refuse(Refusal::TooLarge);
    }
    if (userEnd == std::string::npos) {
        return {};
    }
    const bool named = Byte(in, 4) == 0 && Byte(in, 5) == 0 && Byte(in, 6) == 0 && Byte(in, 7) != 0;
    std::size_t end = userEnd + 1;
    if (named) {
        const std::size_t hostEnd = in.find('\0', end);
        if (tooLong(end, hostEnd)) {
            return Refuse(Refusal::TooLarge);
        }
        if (hostEnd == std::string::npos) {
            return {};
        }
        m_target.host = in.substr(end, hostEnd - end);
        m_target.form = HostForm::Name;
        end = hostEnd + 1;
        if (!IsPlainName(m_target.host)) {
            return Refuse(Refusal::BadRequest);
        }
    } else {
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, in.data() + 4, text, sizeof text);
        m_target.host = text;
        m_target.form = HostForm::Ipv4;
    }
    m_target.port = static_cast<std::uint16_t>(Byte(in, 2) << 8 | Byte(in, 3));
    in.erase(0, end);
    // SOCKS4 carries no password: a serve with a login takes SOCKS5 and HTTP only.
    return m_config.login ? Refuse(Refusal::LoginNeeded) : Aim();
}

ClientDialog::Step ClientDialog::FeedSocks5Greeting(std::string& in) {
    if (in.size() < 2 || in.size() < 2u + Byte(in, 1)) {
        return {};
    }
    const std::string_view methods(in.data() + 2, Byte(in, 1));
    const auto offers = [methods](unsigned char method) {
        return methods.find(static_cast<char>(method)) != std::string_view::npos;
    };
    // A client that offers a login is asked for it even where the serve has none: its user name may hold wishes.
    const unsigned char wanted = m_config.login || offers(kMethodLogin) ? kMethodLogin : kMethodNone;
    const bool offered = offers(wanted);
    in.erase(0, 2 + methods.size());
    if (!offered) {
        return Refuse(std::string{kSocks5Version, static_cast<char>(kNoMethod)});
    }
    m_phase = wanted == kMethodLogin ? Phase::Socks5Login : Phase::Socks5Request;
    return {Step::Kind::Reply, std::string{kSocks5Version, static_cast<char>(wanted)}};
}

// RFC 1929: VER ULEN UNAME PLEN PASSWD.
ClientDialog::Step ClientDialog::FeedSocks5Login(std::string& in) {
    if (in.size() < 2) {
        return {};
    }
    if (in[0] != kLoginVersion) {
        return Refuse(std::string{kLoginVersion, 1});
    }
    const std::size_t userLength = Byte(in, 1);
    if (in.size() < 3 + userLength || in.size() < 3 + userLength + Byte(in, 2 + userLength)) {
        return {};
    }
    const std::string user = in.substr(2, userLength);
    const std::string password = in.substr(3 + userLength, Byte(in, 2 + userLength));
    in.erase(0, 3 + userLength + password.size());
    if (!TakeLogin(user, password)) {
        return Refuse(std::string{kLoginVersion, 1});
    }
    m_phase = Phase::Socks5Request;
    return {Step::Kind::Reply, std::string{kLoginVersion, 0}};
}

// The serve's own login, where it has one, and the wishes after its user name.
bool ClientDialog::TakeLogin(std::string_view user, std::string_view password) {
    const std::optional<ServeWishes> wishes = ParseServeWishes(user, m_config.login ? m_config.login->user : "");
    if (!wishes || (m_config.login && password != m_config.login->password)) {
        return false;
    }
    m_target.wishes = *wishes;
    return true;
}

// VER CMD RSV ATYP DST.ADDR DST.PORT
ClientDialog::Step ClientDialog::FeedSocks5Request(std::string& in) {
    if (in.size() < 4) {
        return {};
    }
    if (in[0] != kSocks5Version) {
        return Refuse(Refusal::BadRequest);
    }
    if (in[1] != kCommandConnect) {
        return Refuse(Refusal::NotSupported); // BIND and UDP ASSOCIATE are not relayed
    }
    std::size_t addressLength = 0;
    std::size_t start = 4;
    switch (Byte(in, 3)) {
    case kAtypIpv4:
        addressLength = 4;
        break;
    case kAtypIpv6:
        addressLength = 16;
        break;
    case kAtypName:
        if (in.size() < 5) {
            return {};
        }
        addressLength = Byte(in, 4);
        start = 5;
        break;
    default:
        return Refuse(Refusal::AddressType);
    }
    if (in.size() < start + addressLength + 2) {
        return {};
    }
    if (Byte(in, 3) == kAtypName) {
        m_target.host = in.substr(start, addressLength);
        m_target.form = HostForm::Name;
        if (!IsPlainName(m_target.host)) {
            return Refuse(Refusal::BadRequest);
        }
    } else {
        const int family = Byte(in, 3) == kAtypIpv4 ? AF_INET : AF_INET6;
        char text[INET6_ADDRSTRLEN] = {};
        ::inet_ntop(family, in.data() + start, text, sizeof text);
        m_target.host = text;
        m_target.form = family == AF_INET ? HostForm::Ipv4 : HostForm::Ipv6;
    }
    const std::size_t portAt = start + addressLength;
    m_target.port = static_cast<std::uint16_t>(Byte(in, portAt) << 8 | Byte(in, portAt + 1));
    in.erase(0, portAt + 2);
    return Aim();
}

} // namespace zandel
