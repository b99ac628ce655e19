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
    if (!m_over || m_fd < 0 || m_status == JobStatus::TimedOut || m_status == JobStatus::Cancelled) {
        return false;
    }
    const std::string_view answer = m_job.answer.Text();
    return answer.substr(0, kStatusStart.size()) != kStatusStart.substr(0, std::max<std::size_t>(answer.size(), 1));
}

StepWait ProbeExchange::Finished(JobStatus status) {
    if (m_over) {
        return StepWait::Over;
    }
    m_over = true;
    m_status = status;
    if (m_job.answer.Size() > 0 && status != JobStatus::TimedOut && status != JobStatus::Cancelled) {
        m_context.Raise(ProbeEvent::PE_RECEIVED);
    }
    return StepWait::Over;
}

void ProbeExchange::Stop(StepStop why) {
    // A wait that runs out after some bytes ends an answer, not the job.
    Finished(StoppedEnd(why, JobStatus::Cancelled, m_job.answer.Size() == 0 ? JobStatus::TimedOut : JobStatus::Ok,
                        JobStatus::SocketError));
}

StepWait ProbeExchange::Start(int fd, std::string_view early) {
    m_fd = fd;
    if (::send(m_fd, m_request.data(), m_request.size(), MSG_NOSIGNAL) < 0) {
        return Finished(JobStatus::SocketError);
    }
    if (m_announce) {
        m_context.Raise(ProbeEvent::PE_CONNECTED);
    }
    m_context.Raise(ProbeEvent::PE_SENT);
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
        return Finished(JobStatus::Ok);
    }
    if (got < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return StepWait::Read;
        }
        return Finished(errno == ECONNRESET ? JobStatus::Ok : JobStatus::SocketError);
    }
    return Take(chunk, static_cast<std::size_t>(got));
}

StepWait ProbeExchange::Take(const char* chunk, std::size_t got) {
    if (!m_job.answer.Append(std::string_view(chunk, ::strnlen(chunk, got)))) {
        return Finished(JobStatus::Ok);
    }
    if (m_firstChunk) {
        m_context.Raise(ProbeEvent::PE_RECEIVING);
        m_firstChunk = false;
    }
    return StepWait::Read;
}

} // namespace zandel
