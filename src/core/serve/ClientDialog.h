#pragma once

#include <cstdint>
#include <string>

#include "core/serve/ServeConfig.h"

namespace zandel {

// What a client speaks, told by its first byte: 0x05 SOCKS5, 0x04 SOCKS4 or 4a, anything else HTTP.
enum class ClientProtocol : unsigned char { Unknown, Http, HttpConnect, Socks4, Socks5 };

enum class HostForm : unsigned char { Name, Ipv4, Ipv6 };

// Where a client wants to go, its host as the client wrote it: a name is only ever passed on, never looked up.
struct ClientTarget {
    std::string host; // an IPv6 address without brackets
    HostForm form = HostForm::Name;
    std::uint16_t port = 0;
    // A plain HTTP request: its method, its target as written (absolute form), the same in origin form, and the
    // header lines to pass on (each with its CR LF), without the hop-by-hop ones and the serve's own login.
    std::string method;
    std::string absoluteTarget;
    std::string originTarget;
    std::string version;
    std::string headerLines;
    // What the client asked for in its login's user name (ServeWishes).
    ServeWishes wishes;
};

// "host:port", an IPv6 host in brackets.
std::string TargetAuthority(const ClientTarget& target);

// Why a client is turned away; each protocol says it in its own words (RefusalBytes).
enum class Refusal : unsigned char {
    BadRequest,     // 400, SOCKS general failure
    LoginNeeded,    // 407, SOCKS5 "no acceptable methods"
    LoginRefused,   // 407 again, SOCKS5 login status 1
    PortRefused,    // 403, "not allowed by ruleset", SOCKS4 91
    NotSupported,   // 405, "command not supported"
    AddressType,    // SOCKS5 "address type not supported"
    TooLarge,       // 431
    Unavailable,    // 503, SOCKS general failure: no upstream to be had, or too many clients
    UpstreamFailed, // 502, SOCKS general failure: every upstream tried failed
};

std::string RefusalBytes(ClientProtocol protocol, Refusal refusal);
// What tells the client its tunnel is open: nothing for a plain HTTP request, whose answer is the upstream's.
std::string GrantBytes(ClientProtocol protocol);

// The client's side of the handshake, read a piece at a time as the bytes come: the greeting, SOCKS5's login and
// request, SOCKS4's request, or an HTTP request head. Never waits, never touches a socket.
class ClientDialog final {
public:
    struct Step {
        enum class Kind { More, Reply, Target, Refuse };
        Kind kind = Kind::More;
        std::string bytes; // Reply: to send, then feed again; Refuse: to send before the close
    };

    explicit ClientDialog(const ServeConfig& config) : m_config(config) {}

    // Takes what it reads from the front of `in`; after a Target, what is left belongs to the target.
    Step Feed(std::string& in);
    ClientProtocol Protocol() const { return m_protocol; }
    const ClientTarget& Target() const { return m_target; }

private:
    enum class Phase { Sniff, Head, Socks4, Socks5Greeting, Socks5Login, Socks5Request, Done };

    Step FeedHead(std::string& in);
    Step ReadRequestLine(std::string_view line);
    Step ReadHeaderLines(std::string_view lines);
    Step ReadLogin(std::string_view authorization);
    bool TakeLogin(std::string_view user, std::string_view password);
    Step FeedSocks4(std::string& in);
    Step FeedSocks5Greeting(std::string& in);
    Step FeedSocks5Login(std::string& in);
    Step FeedSocks5Request(std::string& in);
    Step Refuse(Refusal refusal);
    Step Refuse(std::string bytes);
    Step Aim(); // the target is whole: its port allowed, or refused

    const ServeConfig& m_config;
    Phase m_phase = Phase::Sniff;
    ClientProtocol m_protocol = ClientProtocol::Unknown;
    ClientTarget m_target;
};

} // namespace zandel
