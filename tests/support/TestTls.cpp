#include "support/TestTls.h"

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <string>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

namespace zandel::test {

namespace {

constexpr int kHandshakeLimitMs = 5000;

void Require(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("test TLS: ") + what);
    }
}

void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    Require(extension != nullptr && X509_add_ext(certificate, extension, -1) == 1, "extension");
    X509_EXTENSION_free(extension);
}

// A certificate for `key`, signed by `signerKey` under `issuer` (itself when null).
X509* MakeCertificate(EVP_PKEY* key, const std::string& commonName, X509* issuer, EVP_PKEY* signerKey, bool ca,
                      const std::string& altNames, bool expired = false) {
    static long serial = 1;
    X509* certificate = X509_new();
    Require(certificate != nullptr, "certificate");
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial++);
    X509_gmtime_adj(X509_getm_notBefore(certificate), expired ? -7 * 86400 : -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), expired ? -86400 : 86400);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Zandel Test"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(certificate, issuer != nullptr ? X509_get_subject_name(issuer) : name);
    X509* extensionIssuer = issuer != nullptr ? issuer : certificate;
    if (ca) {
        AddExtension(certificate, extensionIssuer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(certificate, extensionIssuer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        AddExtension(certificate, extensionIssuer, NID_basic_constraints, "critical,CA:FALSE");
        AddExtension(certificate, extensionIssuer, NID_ext_key_usage, "serverAuth");
    }
    if (!altNames.empty()) {
        AddExtension(certificate, extensionIssuer, NID_subject_alt_name, altNames);
    }
    Require(X509_sign(certificate, signerKey, EVP_sha256()) > 0, "signature");
    return certificate;
}

std::string Pem(X509* certificate, EVP_PKEY* key) {
    BIO* out = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(out, certificate);
    if (key != nullptr) {
        PEM_write_bio_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
    }
    std::string text(static_cast<std::size_t>(BIO_pending(out)), '\0');
    BIO_read(out, text.data(), static_cast<int>(text.size()));
    BIO_free(out);
    return text;
}

} // namespace

struct TestCa::Keys {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    ~Keys() {
        X509_free(certificate);
        EVP_PKEY_free(key);
    }
};

TestCa::TestCa() : m_keys(std::make_unique<Keys>()) {
    m_keys->key = EVP_EC_gen("P-256");
    Require(m_keys->key != nullptr, "key");
    m_keys->certificate = MakeCertificate(m_keys->key, "Zandel Test CA", nullptr, m_keys->key, true, "");
}

TestCa::~TestCa() = default;

std::string TestCa::CertificatePem() const {
    return Pem(m_keys->certificate, nullptr);
}

TlsIdentity TestCa::Issue(const std::string& commonName, const std::string& altNames, bool expired) const {
    Keys leaf;
    leaf.key = EVP_EC_gen("P-256");
    Require(leaf.key != nullptr, "key");
    leaf.certificate =
        MakeCertificate(leaf.key, commonName, m_keys->certificate, m_keys->key, false, altNames, expired);
    return Pem(leaf.certificate, leaf.key);
}

TlsIdentity TestCa::SelfSigned(const std::string& commonName, const std::string& altNames) {
    Keys own;
    own.key = EVP_EC_gen("P-256");
    Require(own.key != nullptr, "key");
    own.certificate = MakeCertificate(own.key, commonName, nullptr, own.key, false, altNames);
    return Pem(own.certificate, own.key);
}

namespace {

// One TLS call on the server's non-blocking socket, retried while it wants to read or write; false on failure or
// when the server stops.
template <typename Call> bool TlsRetry(ServerConnection& connection, SSL* ssl, Call call, int& result) {
    for (;;) {
        result = call();
        if (result > 0) {
            return true;
        }
        const int reason = SSL_get_error(ssl, result);
        pollfd fds[2] = {{connection.Fd(), static_cast<short>(reason == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN), 0},
                         {connection.StopFd(), POLLIN, 0}};
        if ((reason != SSL_ERROR_WANT_READ && reason != SSL_ERROR_WANT_WRITE) ||
            ::poll(fds, 2, kHandshakeLimitMs) <= 0 || fds[1].revents != 0) {
            return false;
        }
    }
}

// Reads the request head over TLS and sends the answer.
bool AnswerOverTls(ServerConnection& connection, SSL* ssl, const std::string& answer) {
    std::string head;
    char buffer[4096];
    int got = 0;
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (!TlsRetry(
                connection, ssl, [&] { return SSL_read(ssl, buffer, sizeof buffer); }, got)) {
            return false;
        }
        head.append(buffer, static_cast<std::size_t>(got));
    }
    std::size_t sent = 0;
    while (sent < answer.size()) {
        int wrote = 0;
        if (!TlsRetry(
                connection, ssl,
                [&] { return SSL_write(ssl, answer.data() + sent, static_cast<int>(answer.size() - sent)); }, wrote)) {
            return false;
        }
        sent += static_cast<std::size_t>(wrote);
    }
    SSL_shutdown(ssl);
    return true;
}

} // namespace

bool ServeTlsHandshake(ServerConnection& connection, const TlsIdentity& identity, const std::string& answer) {
    // The socket layer under OpenSSL writes without MSG_NOSIGNAL: a client that has gone must not end the tests.
    std::signal(SIGPIPE, SIG_IGN);
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    BIO* pem = BIO_new_mem_buf(identity.data(), static_cast<int>(identity.size()));
    X509* certificate = PEM_read_bio_X509(pem, nullptr, nullptr, nullptr);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(pem, nullptr, nullptr, nullptr);
    BIO_free(pem);
    const bool loaded = context != nullptr && certificate != nullptr && key != nullptr &&
                        SSL_CTX_use_certificate(context, certificate) == 1 && SSL_CTX_use_PrivateKey(context, key) == 1;
    X509_free(certificate);
    EVP_PKEY_free(key);
    SSL* ssl = loaded ? SSL_new(context) : nullptr;
    int result = 0;
    const bool done = ssl != nullptr && SSL_set_fd(ssl, connection.Fd()) == 1 &&
                      TlsRetry(
                          connection, ssl, [ssl] { return SSL_accept(ssl); }, result);
    ERR_clear_error();
    if (done && !answer.empty()) {
        AnswerOverTls(connection, ssl, answer);
        ERR_clear_error();
    }
    if (done) {
        connection.DrainUntilPeerCloses();
    }
    SSL_free(ssl);
    SSL_CTX_free(context);
    return done;
}

TlsServer::TlsServer(TlsIdentity identity)
    : m_identity(std::move(identity)),
      m_server([this](ServerConnection& connection) { ServeTlsHandshake(connection, m_identity); }) {}

} // namespace zandel::test
