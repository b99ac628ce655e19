#include "core/check/TlsStep.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/util/OpenSsl.h"

namespace zandel {

namespace {

std::string NameText(const X509_NAME* name) {
    const OpenSslApi& ssl = OpenSsl();
    BIO* text = ssl.BIO_new(ssl.BIO_s_mem());
    if (text == nullptr) {
        return {};
    }
    // Control characters escaped, other UTF-8 kept as it is (a Japanese organisation name stays readable).
    ssl.X509_NAME_print_ex(text, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    std::string result(static_cast<std::size_t>(std::max(ssl.BIO_ctrl(text, BIO_CTRL_PENDING, 0, nullptr), 0L)), '\0');
    const int got = ssl.BIO_read(text, result.data(), static_cast<int>(result.size()));
    result.resize(static_cast<std::size_t>(std::max(got, 0)));
    ssl.BIO_free(text);
    return result;
}

} // namespace

std::shared_ptr<const TunnelTrust> TunnelTrust::Load(const std::string& caFile, std::string& error) {
    const OpenSslApi& ssl = OpenSsl();
    if (!ssl.error.empty()) {
        error = ssl.error;
        return nullptr;
    }
    SSL_CTX* context = ssl.SSL_CTX_new(ssl.TLS_client_method());
    if (context == nullptr) {
        error = "TLS cannot be set up";
        return nullptr;
    }
    std::shared_ptr<const TunnelTrust> trust(new TunnelTrust(context));
    ssl.SSL_CTX_ctrl(context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
    // The verdict is read after the handshake: a certificate that does not verify is a finding, not a failure.
    ssl.SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
    if (ssl.SSL_CTX_set_default_verify_paths(context) != 1) {
        error = "the system's certificate store cannot be read";
        return nullptr;
    }
    if (!caFile.empty() && ssl.SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr) != 1) {
        const int cause = errno;
        ssl.ERR_clear_error();
        const bool readable = ::access(caFile.c_str(), R_OK) == 0;
        error = caFile + ": " + (readable ? "holds no CA certificate in PEM form" : std::strerror(cause));
        return nullptr;
    }
    ssl.ERR_clear_error();
    return trust;
}

TunnelTrust::~TunnelTrust() {
    OpenSsl().SSL_CTX_free(m_context);
}

TlsStep::TlsStep(IStepContext& context, const std::string& host, const TunnelTrust& trust)
    : m_context(context), m_report(context.Job().tunnel), m_host(host), m_trust(trust) {}

TlsStep::~TlsStep() {
    OpenSsl().SSL_free(m_ssl);
}

StepWait TlsStep::Waiting() const {
    return m_over ? StepWait::Over : m_out.empty() ? StepWait::Read : StepWait::Write;
}

StepWait TlsStep::Ended(TunnelReport::End end) {
    if (!m_over) {
        m_over = true;
        m_report.end = end;
    }
    return StepWait::Over;
}

void TlsStep::Stop(StepStop why) {
    Ended(StoppedEnd(why, TunnelReport::End::Stopped, TunnelReport::End::TimedOut, TunnelReport::End::HandshakeClosed));
}

StepWait TlsStep::Start(int fd, std::string_view early) {
    const OpenSslApi& ssl = OpenSsl();
    m_fd = fd;
    m_ssl = ssl.SSL_new(m_trust.Context());
    m_in = ssl.BIO_new(ssl.BIO_s_mem());
    m_outBio = ssl.BIO_new(ssl.BIO_s_mem());
    if (m_ssl == nullptr || m_in == nullptr || m_outBio == nullptr) {
        ssl.BIO_free(m_in);
        ssl.BIO_free(m_outBio);
        m_report.detail = "TLS cannot be set up";
        return Ended(TunnelReport::End::HandshakeFailed);
    }
    ssl.SSL_set_bio(m_ssl, m_in, m_outBio);
    ssl.SSL_set_connect_state(m_ssl);
    in6_addr address{};
    const char* host = m_host.c_str();
    if (::inet_pton(AF_INET, host, &address) == 1 || ::inet_pton(AF_INET6, host, &address) == 1) {
        // An address is no server name (no SNI); the certificate must name the address itself.
        ssl.X509_VERIFY_PARAM_set1_ip_asc(ssl.SSL_get0_param(m_ssl), host);
    } else {
        ssl.SSL_ctrl(m_ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(host));
        ssl.SSL_set1_host(m_ssl, host);
    }
    if (!early.empty()) {
        ssl.BIO_write(m_in, early.data(), static_cast<int>(early.size()));
    }
    return Handshake();
}

StepWait TlsStep::OnReady() {
    if (m_over) {
        return StepWait::Over;
    }
    if (!m_out.empty()) {
        return Flush() ? Waiting() : Ended(TunnelReport::End::HandshakeClosed);
    }
    return Read();
}

StepWait TlsStep::Read() {
    char chunk[kChunkBytes];
    const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return Waiting();
    }
    if (got <= 0) {
        return Ended(TunnelReport::End::HandshakeClosed);
    }
    OpenSsl().BIO_write(m_in, chunk, static_cast<int>(got));
    return Handshake();
}

StepWait TlsStep::Handshake() {
    const OpenSslApi& ssl = OpenSsl();
    ssl.ERR_clear_error(); // the error queue is the thread's, shared by every job the thread drives
    const int done = ssl.SSL_do_handshake(m_ssl);
    const int reason = done == 1 ? SSL_ERROR_NONE : ssl.SSL_get_error(m_ssl, done);
    if (!Flush()) {
        return Ended(TunnelReport::End::HandshakeClosed);
    }
    if (reason == SSL_ERROR_WANT_READ) {
        return Waiting();
    }
    if (reason != SSL_ERROR_NONE) {
        const char* text = ssl.ERR_reason_error_string(ssl.ERR_peek_last_error());
        m_report.detail = text != nullptr ? text : "TLS error " + std::to_string(reason);
        ssl.ERR_clear_error();
        return Ended(TunnelReport::End::HandshakeFailed);
    }
    m_context.Raise(ProbeEvent::PE_HANDSHAKE_DONE);
    const X509* certificate = ssl.SSL_get0_peer_certificate(m_ssl);
    const long verified = ssl.SSL_get_verify_result(m_ssl);
    if (certificate != nullptr) {
        m_report.subject = NameText(ssl.X509_get_subject_name(certificate));
        m_report.issuer = NameText(ssl.X509_get_issuer_name(certificate));
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (ssl.X509_digest(certificate, ssl.EVP_sha256(), digest, &length) == 1) {
            m_report.fingerprint.assign(reinterpret_cast<const char*>(digest), length);
        }
    }
    m_report.verifyError = verified;
    if (certificate != nullptr && verified == X509_V_OK) {
        // A polite end of the session; whether it gets through changes nothing.
        ssl.SSL_shutdown(m_ssl);
        Flush();
        ssl.ERR_clear_error();
        return Ended(TunnelReport::End::Verified);
    }
    m_report.detail = certificate == nullptr ? "no certificate" : ssl.X509_verify_cert_error_string(verified);
    return Ended(TunnelReport::End::NotVerified);
}

bool TlsStep::Flush() {
    return FlushTlsOut(m_fd, m_outBio, m_out);
}

bool FlushTlsOut(int fd, bio_st* outBio, std::string& pending) {
    if (outBio != nullptr) {
        char chunk[kChunkBytes];
        for (int got = 0; (got = OpenSsl().BIO_read(outBio, chunk, sizeof chunk)) > 0;) {
            pending.append(chunk, static_cast<std::size_t>(got));
        }
    }
    while (!pending.empty()) {
        const ssize_t sent = ::send(fd, pending.data(), pending.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        }
        pending.erase(0, static_cast<std::size_t>(sent));
    }
    return true;
}

} // namespace zandel
