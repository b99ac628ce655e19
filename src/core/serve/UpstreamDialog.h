#pragma once

#include <string>

#include "core/check/SocksStep.h"
#include "core/serve/ClientDialog.h"
#include "core/util/ProxyAddress.h"

namespace zandel {

// Whom a failed upstream handshake speaks against: the upstream itself (its port, its protocol, its login), or
// only the one target it could not reach; or, once a client refused the certificate it was shown through the
// upstream, the upstream's tunnels to that target (its plain requests still go, as a MITM row's do).
enum class Blame : unsigned char { Proxy, Target, Certificate };

// Whether an upstream of this kind can carry a client to the target at all: SOCKS4 without 4a takes only an IPv4
// address, SOCKS4a a name too, neither an IPv6 address; SOCKS5 and HTTP anything. Names are never looked up here
// to make a SOCKS4 upstream fit.
bool UpstreamCanReach(ProxyKind kind, const ClientTarget& target);

// A plain HTTP request as it leaves: absolute form to an HTTP upstream (with its login), origin form to the site
// through a SOCKS tunnel; one request a connection, so "Connection: close".
std::string PlainRequest(const ClientTarget& target, bool absoluteForm, const ProxyLogin& login);

// The serve's side of the handshake with one upstream, on a connection already made: HTTP CONNECT (1xx passed
// over, 2xx through), SOCKS4/4a or SOCKS5 with an RFC 1929 login; a plain request to an HTTP upstream needs none.
// Names go as names (SOCKS4a, SOCKS5's ATYP 3, CONNECT's authority). Never waits, never touches a socket.
class UpstreamDialog final {
public:
    struct Step {
        enum class Kind { More, Send, Through, Failed };
        Kind kind = Kind::More;
        std::string bytes; // Send: to send next; Through: to send to the upstream before the relay's own bytes
        Blame blame = Blame::Proxy;
    };

    // `plain`: the client's plain HTTP request, sent once through (or at once to an HTTP upstream).
    UpstreamDialog(ProxyKind kind, const ProxyLogin& login, const ClientTarget& target, bool plain);

    // The first bytes to send once connected; for a plain request to an HTTP upstream the request itself, and the
    // upstream is then through at once (ThroughAtOnce).
    std::string Opening();
    bool ThroughAtOnce() const { return m_phase == Phase::Through; }
    // Takes the handshake's answers from the front of `in`; after Through, what is left is the target's.
    Step Feed(std::string& in);

private:
    enum class Phase { ConnectHead, Socks5Choice, Socks5Login, Socks5Reply, Socks4Reply, Through };

    Step FeedConnectHead(std::string& in);
    Step FeedSocks(std::string& in);
    std::string Socks5Request() const;
    std::string Socks4Request() const;
    Step Through();
    static Step Failed(Blame blame);

    ProxyKind m_kind;
    const ProxyLogin& m_login;
    const ClientTarget& m_target;
    bool m_plain;
    Phase m_phase = Phase::ConnectHead;
};

} // namespace zandel
