#pragma once

#include <string>
#include <string_view>

#include "core/check/ProbeStep.h"

namespace zandel {

// Whether an answer opens like a TLS record of an alert or a handshake: what a TLS server, never a proxy, sends.
bool LooksLikeTlsRecord(std::string_view answer);

// Type detection's look at a port that closed on the HTTP request without a word, as TLS servers do: a TLS
// ClientHello, which any TLS server answers at once with a handshake or an alert record, where a SOCKS5 greeting
// would leave it waiting for the rest of a record until the time-out. A TLS answer marks the job
// (`ProbeJob::tlsServer`); anything else is a misfit, and detection goes on. Raises no stage.
class TlsHelloStep final : public IProbeStep {
public:
    explicit TlsHelloStep(IStepContext& context) : m_context(context) {}

    StepWait Start(int fd, std::string_view early) override;
    StepWait OnReady() override;
    void Stop(StepStop why) override;
    JobStatus Status() const override { return m_status; }
    bool Through() const override { return false; }
    bool Misfit() const override { return m_misfit; }

private:
    StepWait Ended(JobStatus status, bool misfit);

    IStepContext& m_context;
    int m_fd = -1;
    std::string m_in;
    bool m_over = false;
    bool m_misfit = false;
    JobStatus m_status = JobStatus::Ok;
};

} // namespace zandel
