#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "support/LoopbackServer.h"

namespace zandel::test {

// A certificate with its private key, both PEM, one after the other.
using TlsIdentity = std::string;

// A CA made afresh for the tests, and server certificates from it. The names in `altNames` are in the
// configuration's form ("IP:127.0.0.1,DNS:localhost").
class TestCa final {
public:
    TestCa();
    ~TestCa();
    TestCa(const TestCa&) = delete;
    TestCa& operator=(const TestCa&) = delete;

    std::string CertificatePem() const;
    // `expired`: its validity ended a day ago.
    TlsIdentity Issue(const std::string& commonName, const std::string& altNames, bool expired = false) const;
    // Signed by its own key: what an intercepting proxy that has no trusted CA presents.
    static TlsIdentity SelfSigned(const std::string& commonName, const std::string& altNames);

private:
    struct Keys;
    std::unique_ptr<Keys> m_keys;
};

// The server's side of a TLS handshake on an accepted connection, then it waits for the client to close.
// With an `answer`, it first reads one request head over TLS and sends the answer. False when the handshake
// fails or the server stops.
bool ServeTlsHandshake(ServerConnection& connection, const TlsIdentity& identity, const std::string& answer = "");

// A TLS server on 127.0.0.1 that makes the handshake with every client and then waits for its close.
class TlsServer final {
public:
    explicit TlsServer(TlsIdentity identity);
    std::uint16_t Port() const { return m_server.Port(); }

private:
    TlsIdentity m_identity;
    LoopbackServer m_server;
};

} // namespace zandel::test
