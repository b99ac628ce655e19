#pragma once

#include <cstdint>
#include <string_view>

#include "core/check/ProbeStep.h"

namespace zandel {

// The test request's exchange, the step every check makes: the request goes out in one send as soon as the
// connection is up (a send that fails, as one to a refused proxy does, is a socket error), the answer comes in
// pieces of at most 5120 bytes into the job's buffer (a piece counts up to its first zero byte), and the step
// ends by the peer's close once nothing is left to read, a full buffer, an expired wait or a stop. Raises
// PE_CONNECTED, PE_SENT, PE_RECEIVING and, once over with something taken and neither timed out nor stopped,
// PE_RECEIVED. It allocates nothing but the room the answer grows into.
class ProbeExchange final : public IProbeStep {
public:
    // `request` must outlive the step.
    // `announce`: the connection is new, and the step says so (a SOCKS step before it has said it already).
    ProbeExchange(IStepContext& context, std::string_view request, bool announce = true);
    ProbeExchange(const ProbeExchange&) = delete;
    ProbeExchange& operator=(const ProbeExchange&) = delete;

    StepWait Start(int fd, std::string_view early) override;
    StepWait OnReady() override;
    void Stop(StepStop why) override;
    JobStatus Status() const override { return m_status; }
    bool Through() const override { return false; }
    // An answer that does not open with an HTTP status line, or a close without one.
    bool Misfit() const override;

private:
    StepWait Take(const char* chunk, std::size_t got);
    StepWait Finished(JobStatus status);

    IStepContext& m_context;
    ProbeJob& m_job;
    std::string_view m_request;
    bool m_announce = true;
    int m_fd = -1;
    bool m_over = false;
    JobStatus m_status = JobStatus::Ok;
    bool m_firstChunk = true;
};

} // namespace zandel
