#include "core/check/TunnelExchange.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/check/CheckFormat.h"

namespace zandel {

namespace {

// A proxy's answer head to CONNECT is a few lines; anything longer is not an answer worth waiting for.
constexpr std::size_t kMaxAnswerHead = 8192;
// As much of the status line as the transcript shows.
constexpr std::size_t kMaxStatusLine = 258;

std::string NameText(const X509_NAME* name) {
    BIO* text = BIO_new(BIO_s_mem());
    if (text == nullptr) {
        return {};
    }
    // Control characters escaped, other UTF-8 kept as it is (a Japanese organisation name stays readable).
    X509_NAME_print_ex(text, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    std::string result(static_cast<std::size_t>(std::max(BIO_pending(text), 0)), '\0');
    const int got = BIO_read(text, result.data(), static_cast<int>(result.size()));
    result.resize(static_cast<std::size_t>(std::max(got, 0)));
    BIO_free(text);
    return result;
}

// "HTTP/x.y 2nn" and then the end of the line or a blank.
bool IsSuccessStatus(const std::string& line) {
    const std::size_t blank = line.find(' ');
    if (line.compare(0, 5, "HTTP/") != 0 || blank == std::string::npos) {
        return false;
    }
    const std::string code = line.substr(blank + 1, 4);
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return code.size() >= 3 && code[0] == '2' && digit(code[1]) && digit(code[2]) &&
           (code.size() == 3 || code[3] == ' ');
}

} // namespace

std::shared_ptr<const TunnelTrust> TunnelTrust::Load(const std::string& caFile, std::string& error) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr) {
        error = "TLS cannot be set up";
        return nullptr;
    }
    std::shared_ptr<const TunnelTrust> trust(new TunnelTrust(context));
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    // The verdict is read after the handshake: a certificate that does not verify is a finding, not a failure.
    SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
    if (SSL_CTX_set_default_verify_paths(context) != 1) {
        error = "the system's certificate store cannot be read";
        return nullptr;
    }
    if (!caFile.empty() && SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr) != 1) {
        const int cause = errno;
        ERR_clear_error();
        const bool readable = ::access(caFile.c_str(), R_OK) == 0;
        error = caFile + ": " + (readable ? "holds no CA certificate in PEM form" : std::strerror(cause));
        return nullptr;
    }
    ERR_clear_error();
    return trust;
}

TunnelTrust::~TunnelTrust() {
    SSL_CTX_free(m_context);
}

TunnelExchange::TunnelExchange(ProbeJob& job, int fd, const TunnelPlan& plan, ProbeCallback callback)
    : m_job(job), m_fd(fd), m_plan(plan), m_callback(callback) {
    m_job.tunnel = TunnelReport{};
    m_job.tunnel.startTicks = TickCount();
}

TunnelExchange::~TunnelExchange() {
    SSL_free(m_ssl);
}

void TunnelExchange::Raise(int event) {
    if (m_callback != nullptr) {
        m_callback->OnProbeStage(event, m_job);
    }
}

TunnelExchange::Step TunnelExchange::Current() const {
    switch (m_phase) {
    case Phase::Connecting:
    case Phase::Requesting:
        return Step::WantWrite;
    case Phase::ReadingAnswer:
        return Step::WantRead;
    case Phase::Handshaking:
        return m_out.empty() ? Step::WantRead : Step::WantWrite;
    case Phase::Done:
        break;
    }
    return Step::Finished;
}

TunnelExchange::Step TunnelExchange::Finished(TunnelReport::End end) {
    m_job.tunnel.end = end;
    m_phase = Phase::Done;
    return Step::Finished;
}

void TunnelExchange::Stop(int status) {
    if (m_phase == Phase::Done) {
        return;
    }
    if (status == CProxyProbe::kStatusCancelled) {
        Finished(TunnelReport::End::Stopped);
    } else {
        Finished(m_phase == Phase::Connecting ? TunnelReport::End::Refused : TunnelReport::End::Closed);
    }
}

TunnelExchange::Step TunnelExchange::OnWaitExpired() {
    return m_phase == Phase::Done ? Step::Finished : Finished(TunnelReport::End::TimedOut);
}

TunnelExchange::Step TunnelExchange::OnReady() {
    switch (m_phase) {
    case Phase::Connecting: {
        int error = 0;
        socklen_t errorLength = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0 || error != 0) {
            return Finished(TunnelReport::End::Refused);
        }
        m_phase = Phase::Requesting;
        return Request();
    }
    case Phase::Requesting:
        return Request();
    case Phase::ReadingAnswer:
        return ReadAnswer();
    case Phase::Handshaking:
        if (!m_out.empty()) {
            return Flush() ? Current() : Finished(TunnelReport::End::HandshakeClosed);
        }
        return ReadHandshake();
    case Phase::Done:
        break;
    }
    return Step::Finished;
}

TunnelExchange::Step TunnelExchange::Request() {
    const std::string& request = m_plan.request;
    const ssize_t sent = ::send(m_fd, request.data() + m_sent, request.size() - m_sent, MSG_NOSIGNAL);
    if (sent < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? Current()
                                                                         : Finished(TunnelReport::End::Closed);
    }
    m_sent += static_cast<std::size_t>(sent);
    if (m_sent == request.size()) {
        m_phase = Phase::ReadingAnswer;
        Raise(PE_TUNNEL_SENT);
    }
    return Current();
}

TunnelExchange::Step TunnelExchange::ReadAnswer() {
    char chunk[CProxyProbe::kChunkBytes];
    const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return Current();
    }
    if (got <= 0) {
        return Finished(TunnelReport::End::Closed);
    }
    const std::size_t before = m_head.size();
    m_head.append(chunk, static_cast<std::size_t>(got));
    const std::size_t end = m_head.find("\r\n\r\n", before >= 3 ? before - 3 : 0);
    if (end == std::string::npos && m_head.size() < kMaxAnswerHead) {
        return Current();
    }
    const std::size_t lineEnd = m_head.find_first_of("\r\n");
    std::string& line = m_job.tunnel.statusLine;
    line = m_head.substr(0, std::min({lineEnd, kMaxStatusLine, m_head.size()}));
    line.erase(std::find(line.begin(), line.end(), '\0'), line.end());
    if (end == std::string::npos || !IsSuccessStatus(line)) {
        return Finished(TunnelReport::End::BadStatus);
    }
    Raise(PE_TUNNEL_OPEN);
    // Bytes after the head already belong to the server's side of the handshake.
    const std::size_t headLength = end + 4;
    return OpenTunnel(m_head.data() + headLength, m_head.size() - headLength);
}

TunnelExchange::Step TunnelExchange::OpenTunnel(const char* extra, std::size_t extraLength) {
    m_phase = Phase::Handshaking;
    m_ssl = SSL_new(m_plan.trust->Context());
    m_in = BIO_new(BIO_s_mem());
    m_outBio = BIO_new(BIO_s_mem());
    if (m_ssl == nullptr || m_in == nullptr || m_outBio == nullptr) {
        BIO_free(m_in);
        BIO_free(m_outBio);
        m_job.tunnel.detail = "TLS cannot be set up";
        return Finished(TunnelReport::End::HandshakeFailed);
    }
    SSL_set_bio(m_ssl, m_in, m_outBio);
    SSL_set_connect_state(m_ssl);
    in6_addr address{};
    const char* host = m_plan.host.c_str();
    if (::inet_pton(AF_INET, host, &address) == 1 || ::inet_pton(AF_INET6, host, &address) == 1) {
        // An address is no server name (no SNI); the certificate must name the address itself.
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), host);
    } else {
        SSL_ctrl(m_ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(host));
        SSL_set1_host(m_ssl, host);
    }
    if (extraLength > 0) {
        BIO_write(m_in, extra, static_cast<int>(extraLength));
    }
    return Handshake();
}

TunnelExchange::Step TunnelExchange::ReadHandshake() {
    char chunk[CProxyProbe::kChunkBytes];
    const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return Current();
    }
    if (got <= 0) {
        return Finished(TunnelReport::End::HandshakeClosed);
    }
    BIO_write(m_in, chunk, static_cast<int>(got));
    return Handshake();
}

TunnelExchange::Step TunnelExchange::Handshake() {
    ERR_clear_error(); // the error queue is the thread's, shared by every job the thread drives
    const int done = SSL_do_handshake(m_ssl);
    const int reason = done == 1 ? SSL_ERROR_NONE : SSL_get_error(m_ssl, done);
    if (!Flush()) {
        return Finished(TunnelReport::End::HandshakeClosed);
    }
    if (reason == SSL_ERROR_WANT_READ) {
        return Current();
    }
    if (reason != SSL_ERROR_NONE) {
        const char* text = ERR_reason_error_string(ERR_peek_last_error());
        m_job.tunnel.detail = text != nullptr ? text : "TLS error " + std::to_string(reason);
        ERR_clear_error();
        return Finished(TunnelReport::End::HandshakeFailed);
    }
    Raise(PE_HANDSHAKE_DONE);
    const X509* certificate = SSL_get0_peer_certificate(m_ssl);
    const long verified = SSL_get_verify_result(m_ssl);
    if (certificate != nullptr) {
        m_job.tunnel.subject = NameText(X509_get_subject_name(certificate));
        m_job.tunnel.issuer = NameText(X509_get_issuer_name(certificate));
    }
    if (certificate != nullptr && verified == X509_V_OK) {
        // A polite end of the session; whether it gets through changes nothing.
        SSL_shutdown(m_ssl);
        Flush();
        ERR_clear_error();
        return Finished(TunnelReport::End::Verified);
    }
    m_job.tunnel.detail = certificate == nullptr ? "no certificate" : X509_verify_cert_error_string(verified);
    return Finished(TunnelReport::End::NotVerified);
}

bool TunnelExchange::Flush() {
    char chunk[CProxyProbe::kChunkBytes];
    for (int got = 0; (got = BIO_read(m_outBio, chunk, sizeof chunk)) > 0;) {
        m_out.append(chunk, static_cast<std::size_t>(got));
    }
    while (!m_out.empty()) {
        const ssize_t sent = ::send(m_fd, m_out.data(), m_out.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        }
        m_out.erase(0, static_cast<std::size_t>(sent));
    }
    return true;
}

} // namespace zandel
