#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "core/check/ProbeExchange.h"

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

// The HTTPS step of a run: the CONNECT request as it goes out, the target host the certificate must be for
// (also the SNI name, unless it is an address), and the trust.
struct TunnelPlan {
    std::string request;
    std::string host;
    std::shared_ptr<const TunnelTrust> trust;
};

// The stage rules of the HTTPS step on its own connection to the proxy, fed with the readiness of the
// non-blocking socket by whichever probe drives it, like ProbeExchange: the connect completes, the CONNECT
// request goes out, the answer head comes in (a 2xx status line opens the tunnel), then a TLS handshake
// through the tunnel over a pair of memory buffers, so that every byte passes through this class's own
// sends (MSG_NOSIGNAL) and receives. Writes what it finds into the job's `tunnel` as it goes and raises
// PE_TUNNEL_SENT, PE_TUNNEL_OPEN and PE_HANDSHAKE_DONE through the probe's callback.
class TunnelExchange final {
public:
    using Step = ProbeExchange::Step;

    // `plan` must outlive the exchange.
    TunnelExchange(ProbeJob& job, int fd, const TunnelPlan& plan, ProbeCallback callback);
    ~TunnelExchange();
    TunnelExchange(const TunnelExchange&) = delete;
    TunnelExchange& operator=(const TunnelExchange&) = delete;

    // The socket is ready for what Current() asks.
    Step OnReady();
    Step OnWaitExpired();
    // A probe's status: a cancel (a stop, a skip, the job's time-out) or a failure outside the exchange.
    void Stop(int status);
    Step Current() const;

private:
    enum class Phase { Connecting, Requesting, ReadingAnswer, Handshaking, Done };

    Step Finished(TunnelReport::End end);
    Step Request();
    Step ReadAnswer();
    Step OpenTunnel(const char* extra, std::size_t extraLength);
    Step ReadHandshake();
    Step Handshake();
    // Moves what TLS has written out to the socket; false when the peer has gone.
    bool Flush();
    void Raise(int event);

    ProbeJob& m_job;
    int m_fd;
    const TunnelPlan& m_plan;
    ProbeCallback m_callback;
    Phase m_phase = Phase::Connecting;
    std::size_t m_sent = 0;
    std::string m_head;
    std::string m_out;
    ssl_st* m_ssl = nullptr;
    bio_st* m_in = nullptr; // owned by m_ssl
    bio_st* m_outBio = nullptr;
};

} // namespace zandel
