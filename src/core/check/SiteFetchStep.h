#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/check/ProbeStep.h"
#include "core/check/SiteCheck.h"

struct ssl_st;
struct bio_st;

namespace zandel {

class TunnelTrust;

// Fetches one site the user cares about over a connection that is through to where the request goes (an HTTP
// proxy for an http:// site, else a tunnel or a SOCKS proxy's connection to the site): for an https:// site a TLS
// handshake first, over memory buffers as the HTTPS step makes it, whose certificate must verify for the site (an
// unverified page could be anyone's, so it is a failure); then the request, and the answer up to kSiteAnswerLimit
// bytes, until its length is in, the peer closes or the limit is reached. Writes the answer's class into the job's
// verdict of site `index`: "failed" unless an answer came whole as far as it goes (a stop, an expired wait, a reset
// or an unverified certificate).
class SiteFetchStep final : public IProbeStep {
public:
    // `request`, `site` and `trust` must outlive the step.
    SiteFetchStep(IStepContext& context, std::string_view request, const SiteTarget& site, const TunnelTrust* trust,
                  std::size_t index);
    ~SiteFetchStep() override;
    SiteFetchStep(const SiteFetchStep&) = delete;
    SiteFetchStep& operator=(const SiteFetchStep&) = delete;

    StepWait Start(int fd, std::string_view early) override;
    StepWait OnReady() override;
    void Stop(StepStop why) override;
    JobStatus Status() const override { return JobStatus::Ok; }
    bool Through() const override { return false; }

private:
    StepWait Waiting() const;
    StepWait Ended(bool answered);
    bool StartTls(std::string_view early);
    // TLS: the handshake, then the request, then what the session has of the answer.
    StepWait Advance();
    // Adds to the answer; true once it is complete (its length in, or the limit reached).
    bool Take(const char* bytes, std::size_t size);
    bool Complete();
    // Moves what waits to go out to the socket; false when the peer has gone.
    bool Flush();

    IStepContext& m_context;
    std::string_view m_request;
    const SiteTarget& m_site;
    const TunnelTrust* m_trust;
    std::size_t m_index;
    int m_fd = -1;
    bool m_over = false;
    std::string m_out;
    std::string m_answer;
    std::size_t m_bodyStart = 0;                // once the head is in
    std::size_t m_expected = std::string::npos; // the answer's whole size, when its head says it
    bool m_chunked = false;
    bool m_secured = false;
    ssl_st* m_ssl = nullptr;
    bio_st* m_in = nullptr; // owned by m_ssl
    bio_st* m_outBio = nullptr;
};

} // namespace zandel
