#include "core/check/ProbeExchange.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include "core/util/Text.h"

namespace zandel {

void ProbeHost(const ProbeJob& job, ProbeHostName& host) {
    const std::size_t length = ::strnlen(job.szHost, sizeof job.szHost);
    std::memcpy(host, job.szHost, length);
    host[length] = '\0';
}

sockaddr_in ProbeTargetPort(const ProbeJob& job) {
    const long long portValue = ParseLeadingInt(std::string_view(job.szPort, ::strnlen(job.szPort, sizeof job.szPort)));
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<std::uint16_t>(static_cast<unsigned long long>(portValue) & 0xFFFFu));
    return target;
}

bool LiteralProbeHost(const char* host, in_addr* address) {
    return ::inet_pton(AF_INET, host, address) == 1;
}

bool ResolveProbeHost(const char* host, in_addr* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    bool ok = false;
    if (found->ai_family == AF_INET && found->ai_addrlen >= sizeof(sockaddr_in)) {
        sockaddr_in first{};
        std::memcpy(&first, found->ai_addr, sizeof first);
        *address = first.sin_addr;
        ok = true;
    }
    ::freeaddrinfo(found);
    return ok;
}

std::size_t ComposeProbeRequest(char (&out)[CProxyProbe::kMaxRequestChars + 1], const std::string& requestLine,
                                const std::string& headers) {
    const int written = std::snprintf(out, sizeof out, "GET %s\r\n%s\r\n\r\n", requestLine.c_str(), headers.c_str());
    return written < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(written), CProxyProbe::kMaxRequestChars);
}

ProbeExchange::ProbeExchange(ProbeJob& job, int fd, const char* request, std::size_t requestLength,
                             ProbeCallback callback)
    : m_job(job), m_fd(fd), m_request(request), m_requestLength(requestLength), m_callback(callback) {}

void ProbeExchange::Raise(int event) {
    if (m_callback != nullptr) {
        m_callback->OnProbeStage(event, m_job);
    }
}

ProbeExchange::Step ProbeExchange::Finished(int status) {
    m_status = status;
    m_step = Step::Finished;
    return m_step;
}

void ProbeExchange::Stop(int status) {
    if (m_step != Step::Finished) {
        Finished(status);
    }
}

ProbeExchange::Step ProbeExchange::OnWaitExpired() {
    return Finished(m_received == 0 ? CProxyProbe::kStatusTimedOut : CProxyProbe::kStatusOk);
}

ProbeExchange::Step ProbeExchange::OnReady() {
    if (m_step == Step::Finished) {
        return m_step;
    }
    if (m_step == Step::WantWrite) {
        // Writable (or in error) for the first time: the connection attempt is over. A refused or unreachable
        // proxy ends here like a failed send.
        int error = 0;
        socklen_t errorLength = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0 || error != 0 ||
            ::send(m_fd, m_request, m_requestLength, MSG_NOSIGNAL) < 0) {
            return Finished(CProxyProbe::kStatusSocketError);
        }
        m_step = Step::WantRead;
        m_connected = true;
        Raise(PE_CONNECTED);
        Raise(PE_SENT);
        return m_step;
    }

    // The close counts only once nothing is left to read: an answer followed at once by the close is still
    // taken in full, piece by piece.
    char chunk[CProxyProbe::kChunkBytes];
    std::memset(chunk, 0, sizeof chunk);
    const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
    if (got == 0) {
        return Finished(CProxyProbe::kStatusOk);
    }
    if (got < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return m_step;
        }
        return Finished(errno == ECONNRESET ? CProxyProbe::kStatusOk : CProxyProbe::kStatusSocketError);
    }
    const auto length = static_cast<std::uint32_t>(::strnlen(chunk, static_cast<std::size_t>(got)));
    if (static_cast<std::uint64_t>(m_received) + length >= m_job.nBufferSize) {
        const std::uint32_t room = m_job.nBufferSize - 1 - m_received;
        std::memcpy(m_job.pBuffer + m_received, chunk, room);
        m_job.pBuffer[m_job.nBufferSize - 1] = '\0';
        m_received = m_job.nBufferSize;
        return Finished(CProxyProbe::kStatusOk);
    }
    std::memcpy(m_job.pBuffer + m_received, chunk, length);
    m_job.pBuffer[m_received + length] = '\0';
    if (m_firstChunk) {
        Raise(PE_RECEIVING);
        m_firstChunk = false;
    }
    m_received += length;
    return m_step;
}

int ProbeExchange::Finish() {
    m_job.nReceived = m_received;
    if (m_received > 0 && m_status != CProxyProbe::kStatusTimedOut && m_status != CProxyProbe::kStatusCancelled) {
        Raise(PE_RECEIVED);
    }
    return m_status;
}

} // namespace zandel
