#pragma once

#include <cstdint>
#include <string>

namespace zandel {

// What the HTTPS step of a job found: how the tunnel through the proxy and the handshake through it ended,
// and what was seen on the way, for the row's HTTPS cell and the transcript's reason line.
struct TunnelReport {
    enum class End {
        NotRun,          // the option is off, or the job's GET never got through to the proxy
        Refused,         // the second connection to the proxy failed
        Closed,          // the proxy closed before a whole answer to CONNECT
        BadStatus,       // the answer to CONNECT was not 2xx
        TooLong,         // a 2xx answer to CONNECT whose head did not end within the bound
        HandshakeClosed, // the tunnel closed during the handshake
        HandshakeFailed, // the handshake broke off (an alert, an older protocol, no TLS at all)
        TimedOut,        // the probe's own wait ran out
        Stopped,         // a stop, a skip or the job's time-out ended the step
        Verified,        // the server's certificate verified for the target
        NotVerified,     // the handshake was made, but the certificate does not verify for the target
    };
    End end = End::NotRun;
    std::uint32_t startTicks = 0; // when the step began, i.e. when the GET was over
    std::string statusLine;       // the proxy's first answer line to CONNECT
    std::string detail;           // why a handshake or verification failed
    std::string subject;          // of the server's certificate, once the handshake was made
    std::string issuer;
    long verifyError = 0;    // OpenSSL's verification result, once the handshake was made
    std::string fingerprint; // SHA-256 of the server's certificate, so that one certificate can be told from another
};

} // namespace zandel
