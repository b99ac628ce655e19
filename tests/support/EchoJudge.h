#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/LoopbackServer.h"

namespace zandel::test {

// A server-variable echo page on loopback: answers every request with "200 OK" and the variables a CGI
// program would see for it, one "NAME=value" line each, then closes. Request headers show up as
// "HTTP_" + the name upper-cased with '-' as '_', so whatever a proxy adds can be read back.
class EchoJudge final {
public:
    static constexpr std::string_view kPath = "/envchk.cgi";

    explicit EchoJudge(std::uint16_t port = 0);

    std::uint16_t Port() const { return m_server.Port(); }
    // "http://127.0.0.1:port/envchk.cgi": contains "cgi", so a run through it grades anonymity.
    std::string Url() const;

    // The whole answer to a request head, as sent.
    static std::string Answer(std::string_view requestHead, std::string_view remoteAddress);

private:
    static void Serve(ServerConnection& connection);

    LoopbackServer m_server;
};

// The echo page that goes down in the middle of a run: answers its first `answered` requests, then closes every
// connection unanswered for `downMs` from the first it refused, then answers again.
class FlakyJudge final {
public:
    FlakyJudge(int answered, int downMs);
    std::string Url() const;
    // Whether it has been down.
    bool WentDown() const { return m_downSince.load() != 0; }

private:
    void Serve(ServerConnection& connection);

    const int m_answered;
    const int m_downMs;
    std::atomic<int> m_requests{0};
    std::atomic<std::int64_t> m_downSince{0};
    LoopbackServer m_server; // last: its threads stop before the rest goes
};

} // namespace zandel::test
