#include "core/check/ProbeExchange.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/socket.h>

namespace zandel {

ProbeExchange::ProbeExchange(IStepContext& context, std::string_view request, bool announce)
    : m_context(context), m_job(context.Job()), m_request(request), m_announce(announce) {}

bool ProbeExchange::Misfit() const {
    constexpr std::string_view kStatusStart = "HTTP/";
    if (!m_over || m_fd < 0 || m_status == kStatusTimedOut || m_status == kStatusCancelled) {
        return false;
    }
    const std::string_view answer(m_job.pBuffer, m_job.nReceived);
    return answer.substr(0, kStatusStart.size()) != kStatusStart.substr(0, std::max<std::size_t>(answer.size(), 1));
}

StepWait ProbeExchange::Finished(int status) {
    if (m_over) {
        return StepWait::Over;
    }
    m_over = true;
    m_status = status;
    m_job.nReceived = m_received;
    if (m_received > 0 && status != kStatusTimedOut && status != kStatusCancelled) {
        m_context.Raise(PE_RECEIVED);
    }
    return StepWait::Over;
}

void ProbeExchange::Stop(StepStop why) {
    // A wait that runs out after some bytes ends an answer, not the job.
    Finished(StoppedEnd(why, kStatusCancelled, m_received == 0 ? kStatusTimedOut : kStatusOk, kStatusSocketError));
}

StepWait ProbeExchange::Start(int fd, std::string_view early) {
    m_fd = fd;
    if (::send(m_fd, m_request.data(), m_request.size(), MSG_NOSIGNAL) < 0) {
        return Finished(kStatusSocketError);
    }
    if (m_announce) {
        m_context.Raise(PE_CONNECTED);
    }
    m_context.Raise(PE_SENT);
    return early.empty() ? StepWait::Read : Take(early.data(), early.size());
}

StepWait ProbeExchange::OnReady() {
    if (m_over) {
        return StepWait::Over;
    }
    // The close counts only once nothing is left to read: an answer followed at once by the close is still
    // taken in full, piece by piece.
    char chunk[kChunkBytes];
    const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
    if (got == 0) {
        return Finished(kStatusOk);
    }
    if (got < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return StepWait::Read;
        }
        return Finished(errno == ECONNRESET ? kStatusOk : kStatusSocketError);
    }
    return Take(chunk, static_cast<std::size_t>(got));
}

StepWait ProbeExchange::Take(const char* chunk, std::size_t got) {
    const auto length = static_cast<std::uint32_t>(::strnlen(chunk, got));
    ReserveAnswer(m_job, static_cast<std::uint32_t>(std::min<std::uint64_t>(
                             static_cast<std::uint64_t>(m_received) + length + 1, m_job.nBufferSize)));
    if (static_cast<std::uint64_t>(m_received) + length >= m_job.nBufferSize) {
        const std::uint32_t room = m_job.nBufferSize - 1 - m_received;
        std::memcpy(m_job.pBuffer + m_received, chunk, room);
        m_job.pBuffer[m_job.nBufferSize - 1] = '\0';
        m_received = m_job.nBufferSize;
        return Finished(kStatusOk);
    }
    std::memcpy(m_job.pBuffer + m_received, chunk, length);
    m_job.pBuffer[m_received + length] = '\0';
    if (m_firstChunk) {
        m_context.Raise(PE_RECEIVING);
        m_firstChunk = false;
    }
    m_received += length;
    return StepWait::Read;
}

} // namespace zandel
