#pragma once

#include <cstdint>
#include <string>

namespace zandel {

// How the SOCKS step of a job's test request ended, for the reason line of a proxy that would not carry it.
struct SocksReport {
    enum class End {
        NotRun,       // no SOCKS step (an HTTP proxy), or the connection to the proxy was never made
        Through,      // the proxy connected to the target
        Closed,       // the proxy closed, or the connection broke, before its whole answer
        BadReply,     // the answer is no SOCKS answer (another version, an unknown address type)
        NoMethod,     // SOCKS5: the proxy accepts none of the methods offered
        LoginNeeded,  // SOCKS5: the proxy asks for a login the entry does not give (or accepts no login-free method)
        LoginEmpty,   // SOCKS5: the proxy asks for a login, and the entry's lacks its user name or password
        LoginRefused, // SOCKS5: the user name and password were refused
        Rejected,     // the proxy refused the CONNECT; `code` says why
        LoginTooLong, // a user name or password over 255 bytes, which SOCKS cannot carry
        NeedsIpv4,    // SOCKS4 reaches IPv4 targets only, and the target has no IPv4 address
        TimedOut,     // the probe's own wait ran out
        Stopped,      // a stop, a skip or the job's time-out
    };
    End end = End::NotRun;
    int version = 0;       // 4 or 5
    std::uint8_t code = 0; // the reply code of a refusal
};

// What the proxy refused, in words with its reply code; empty for an end that is no refusal.
std::string SocksRefusalText(const SocksReport& report);

} // namespace zandel
