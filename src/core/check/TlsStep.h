#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/check/ProbeStep.h"

struct ssl_ctx_st;
struct ssl_st;
struct bio_st;

namespace zandel {

// What the HTTPS step trusts: the system's certificate store, and an extra CA file (PEM) when one is named,
// such as a company's own CA or a test CA. Only TLS 1.2 and newer. Shared by every job of a run, on any thread.
class TunnelTrust final {
public:
    // Null, with `error` saying why, when the store or the file cannot be used.
    static std::shared_ptr<const TunnelTrust> Load(const std::string& caFile, std::string& error);
    ~TunnelTrust();
    TunnelTrust(const TunnelTrust&) = delete;
    TunnelTrust& operator=(const TunnelTrust&) = delete;

    ssl_ctx_st* Context() const { return m_context; }

private:
    explicit TunnelTrust(ssl_ctx_st* context) : m_context(context) {}
    ssl_ctx_st* m_context;
};

// A TLS handshake over a connection that is already through to the server (a tunnel the step before opened),
// over a pair of memory buffers, so that every byte passes through this step's own sends (MSG_NOSIGNAL) and
// receives. The certificate must be for `host` (also the SNI name, unless it is an address). Writes how the
// handshake and the verification ended, and the certificate's names, into the job's tunnel report; raises
// PE_HANDSHAKE_DONE.
class TlsStep final : public IProbeStep {
public:
    // `host` and `trust` must outlive the step.
    TlsStep(IStepContext& context, const std::string& host, const TunnelTrust& trust);
    ~TlsStep() override;
    TlsStep(const TlsStep&) = delete;
    TlsStep& operator=(const TlsStep&) = delete;

    StepWait Start(int fd, std::string_view early) override;
    StepWait OnReady() override;
    void Stop(StepStop why) override;
    JobStatus Status() const override { return JobStatus::Ok; }
    bool Through() const override { return false; }

private:
    StepWait Waiting() const;
    StepWait Ended(TunnelReport::End end);
    StepWait Read();
    StepWait Handshake();
    // Moves what TLS has written out to the socket; false when the peer has gone.
    bool Flush();

    IStepContext& m_context;
    TunnelReport& m_report;
    const std::string& m_host;
    const TunnelTrust& m_trust;
    int m_fd = -1;
    bool m_over = false;
    std::string m_out;
    ssl_st* m_ssl = nullptr;
    bio_st* m_in = nullptr; // owned by m_ssl
    bio_st* m_outBio = nullptr;
};

// Moves what TLS has written into `outBio` (none when null) out to the socket through `pending`, which keeps
// what the socket would not take yet; false when the peer has gone. Shared by every step that speaks TLS over
// memory buffers.
bool FlushTlsOut(int fd, bio_st* outBio, std::string& pending);

} // namespace zandel
