#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/check/ProbeStep.h"

namespace zandel {

// CONNECT through an HTTP proxy, the first step of the HTTPS leg: the request goes out (in as many sends as the
// socket takes), the answer head comes in, interim 1xx heads are passed over, and a 2xx status line opens the
// tunnel. Writes the status line and how the step ended into the job's tunnel report; raises PE_TUNNEL_SENT
// and PE_TUNNEL_OPEN. Bytes after the head already belong to the next step.
class HttpConnectStep final : public IProbeStep {
public:
    // `request` must outlive the step.
    HttpConnectStep(IStepContext& context, std::string_view request);

    StepWait Start(int fd, std::string_view early) override;
    StepWait OnReady() override;
    void Stop(StepStop why) override;
    JobStatus Status() const override { return JobStatus::Ok; }
    bool Through() const override { return m_through; }
    std::string TakeEarly() override;

private:
    StepWait Send();
    StepWait Read();
    StepWait Answer();
    StepWait Ended(TunnelReport::End end);

    IStepContext& m_context;
    TunnelReport& m_report;
    std::string_view m_request;
    int m_fd = -1;
    bool m_over = false;
    bool m_through = false;
    std::size_t m_sent = 0;
    std::string m_head;
};

} // namespace zandel
