#include "core/check/SiteFetchStep.h"

#include <algorithm>
#include <cerrno>

#include <arpa/inet.h>
#include <sys/socket.h>

#include "core/check/JudgePage.h"
#include "core/check/SiteAnswer.h"
#include "core/check/TlsStep.h"
#include "core/util/HostPort.h"
#include "core/util/OpenSsl.h"
#include "core/util/Text.h"

namespace zandel {

SiteFetchStep::SiteFetchStep(IStepContext& context, std::string_view request, const SiteTarget& site,
                             const TunnelTrust* trust, std::size_t index)
    : m_context(context), m_request(request), m_site(site), m_trust(trust), m_index(index) {}

SiteFetchStep::~SiteFetchStep() {
    if (m_ssl != nullptr) {
        OpenSsl().SSL_free(m_ssl);
    }
}

StepWait SiteFetchStep::Waiting() const {
    return m_over ? StepWait::Over : m_out.empty() ? StepWait::Read : StepWait::Write;
}

StepWait SiteFetchStep::Ended(bool answered) {
    if (!m_over) {
        m_over = true;
        m_context.Job().sites[m_index] = answered ? ClassifySiteAnswer(m_answer, m_site) : SiteClass::Failed;
        std::string().swap(m_answer);
    }
    return StepWait::Over;
}

void SiteFetchStep::Stop(StepStop /*why*/) {
    Ended(false);
}

StepWait SiteFetchStep::Start(int fd, std::string_view early) {
    m_fd = fd;
    if (m_site.tls) {
        return StartTls(early) ? Advance() : Ended(false);
    }
    m_out.assign(m_request);
    if (!Flush()) {
        return Ended(false);
    }
    return !early.empty() && Take(early.data(), early.size()) ? Ended(true) : Waiting();
}

bool SiteFetchStep::StartTls(std::string_view early) {
    const OpenSslApi& ssl = OpenSsl();
    if (m_trust == nullptr || !ssl.error.empty()) {
        return false;
    }
    m_ssl = ssl.SSL_new(m_trust->Context());
    m_in = ssl.BIO_new(ssl.BIO_s_mem());
    m_outBio = ssl.BIO_new(ssl.BIO_s_mem());
    if (m_ssl == nullptr || m_in == nullptr || m_outBio == nullptr) {
        ssl.BIO_free(m_in);
        ssl.BIO_free(m_outBio);
        return false;
    }
    ssl.SSL_set_bio(m_ssl, m_in, m_outBio);
    ssl.SSL_set_connect_state(m_ssl);
    // The name the certificate must carry, as the HTTPS step checks it: an address has no SNI.
    const std::string host = IsBracketedHost(m_site.host) ? m_site.host.substr(1, m_site.host.size() - 2) : m_site.host;
    in6_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) == 1 || ::inet_pton(AF_INET6, host.c_str(), &address) == 1) {
        ssl.X509_VERIFY_PARAM_set1_ip_asc(ssl.SSL_get0_param(m_ssl), host.c_str());
    } else {
        ssl.SSL_ctrl(m_ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(host.c_str()));
        ssl.SSL_set1_host(m_ssl, host.c_str());
    }
    if (!early.empty()) {
        ssl.BIO_write(m_in, early.data(), static_cast<int>(early.size()));
    }
    return true;
}

StepWait SiteFetchStep::Advance() {
    const OpenSslApi& ssl = OpenSsl();
    ssl.ERR_clear_error(); // the error queue is the thread's, shared by every job the thread drives
    if (!m_secured) {
        const int done = ssl.SSL_do_handshake(m_ssl);
        const int reason = done == 1 ? SSL_ERROR_NONE : ssl.SSL_get_error(m_ssl, done);
        ssl.ERR_clear_error();
        if (!Flush() || (reason != SSL_ERROR_NONE && reason != SSL_ERROR_WANT_READ)) {
            return Ended(false);
        }
        if (reason == SSL_ERROR_WANT_READ) {
            return Waiting();
        }
        if (ssl.SSL_get0_peer_certificate(m_ssl) == nullptr || ssl.SSL_get_verify_result(m_ssl) != X509_V_OK) {
            return Ended(false);
        }
        m_secured = true;
        // Into a memory buffer, which takes it whole.
        ssl.SSL_write(m_ssl, m_request.data(), static_cast<int>(m_request.size()));
    }
    char chunk[kChunkBytes];
    for (;;) {
        const int got = ssl.SSL_read(m_ssl, chunk, sizeof chunk);
        if (got > 0) {
            if (Take(chunk, static_cast<std::size_t>(got))) {
                return Ended(true);
            }
            continue;
        }
        const int reason = ssl.SSL_get_error(m_ssl, got);
        ssl.ERR_clear_error();
        if (reason != SSL_ERROR_WANT_READ) {
            // The session's end, polite or not: what it carried so far was the site's own.
            return Ended(true);
        }
        break;
    }
    return Flush() ? Waiting() : Ended(false);
}

StepWait SiteFetchStep::OnReady() {
    if (m_over) {
        return StepWait::Over;
    }
    if (!m_out.empty()) {
        return Flush() ? Waiting() : Ended(false);
    }
    char chunk[kChunkBytes];
    const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
    if (got < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? Waiting() : Ended(false);
    }
    if (got == 0) {
        return Ended(true);
    }
    if (m_ssl != nullptr) {
        OpenSsl().BIO_write(m_in, chunk, static_cast<int>(got));
        return Advance();
    }
    return Take(chunk, static_cast<std::size_t>(got)) ? Ended(true) : Waiting();
}

bool SiteFetchStep::Take(const char* bytes, std::size_t size) {
    m_answer.append(bytes, std::min(size, kSiteAnswerLimit - m_answer.size()));
    return Complete();
}

bool SiteFetchStep::Complete() {
    if (m_answer.size() >= kSiteAnswerLimit) {
        return true;
    }
    if (m_bodyStart == 0) {
        const std::size_t end = m_answer.find("\r\n\r\n");
        if (end == std::string::npos) {
            return false;
        }
        m_bodyStart = end + 4;
        const std::string_view head = std::string_view(m_answer).substr(0, m_bodyStart);
        const std::size_t blank = head.find(' ');
        const std::string_view code = blank == std::string_view::npos ? head.substr(0, 0) : head.substr(blank + 1, 3);
        // An interim answer's head says nothing of the final one's length: read until the close.
        if (code.empty() || code[0] == '1') {
            return false;
        }
        m_chunked = EqualsNoCase(HeaderValue(head, "Transfer-Encoding"), "chunked");
        const std::string_view length = HeaderValue(head, "Content-Length");
        if (code == "204" || code == "304") {
            m_expected = m_bodyStart;
        } else if (!m_chunked && !length.empty() && ParseLeadingInt(length) >= 0) {
            m_expected = m_bodyStart + static_cast<std::size_t>(ParseLeadingInt(length));
        }
    }
    if (m_chunked) {
        // The last chunk, of size 0, and the blank line that ends the trailers.
        const std::string_view body = std::string_view(m_answer).substr(m_bodyStart);
        return body == "0\r\n\r\n" || (body.size() > 5 && body.substr(body.size() - 6) == "\n0\r\n\r\n");
    }
    return m_answer.size() >= m_expected;
}

bool SiteFetchStep::Flush() {
    return FlushTlsOut(m_fd, m_outBio, m_out);
}

} // namespace zandel
