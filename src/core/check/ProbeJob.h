#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/check/AnswerBuffer.h"
#include "core/check/SocksReport.h"
#include "core/check/TunnelReport.h"
#include "core/list/SiteClass.h"
#include "core/log/ProbeEvents.h"
#include "core/util/ProxyAddress.h"

namespace zandel {

// Where a job connects, as the list entry wrote it: the frame lines and a plain entry's rewritten cell show these
// texts, so the port stays text (the plain form takes any, and the job dials its leading digits, ProbePort).
struct ProbeTarget {
    std::string host; // a name, a dotted IPv4 address or an IPv6 address in brackets
    std::string port;
};
// The longest host and port texts a job takes; a longer entry is refused, never cut to another address.
inline constexpr std::size_t kMaxTargetHost = 259;
inline constexpr std::size_t kMaxTargetPort = 9;

// Whoever holds a job, as a base of the holder's own type: the stage sink and the run find the holder again through
// the job (also through the one-at-a-time probe's copy of it), and nothing but a holder can stand in for it.
class ProbeJobOwner {
protected:
    ProbeJobOwner() = default;
    ~ProbeJobOwner() = default;
    ProbeJobOwner(const ProbeJobOwner&) = default;
    ProbeJobOwner& operator=(const ProbeJobOwner&) = default;
};

// The record of one check, the caller's.
struct ProbeJob {
    ProbeTarget target;
    AnswerBuffer answer;
    ProbeJobOwner* owner = nullptr;
    TunnelReport tunnel; // the HTTPS step's findings, when it ran
    // The kind of proxy the job's last leg that decides the result spoke to, and whether the proxy answered in
    // another protocol than that one (which type detection tries next); how its SOCKS step ended, if it had one.
    ProxyKind kind = ProxyKind::Http;
    bool misfit = false;
    SocksReport socks;
    // Type detection found a TLS server where a proxy was looked for; no further kind is tried.
    bool tlsServer = false;
    // The sites fetched beside the result, in the run's order: the first `sitesBegun` were tried, from
    // `sitesStartTicks`, where the GET's response time ends when no HTTPS step came before.
    std::array<SiteClass, kMaxSites> sites{};
    std::size_t sitesBegun = 0;
    std::uint32_t sitesStartTicks = 0;
};

// The answer and the findings of the job emptied, for its next check.
inline void ClearAnswer(ProbeJob& job) {
    job.answer.Clear();
    job.tunnel = TunnelReport{};
    job.kind = ProxyKind::Http;
    job.misfit = false;
    job.socks = SocksReport{};
    job.tlsServer = false;
    job.sitesBegun = 0;
}

// How a check ended, as the run judges it. The historic codes and their values.
enum class ProbeResult : int {
    PR_DONE = 0,
    PR_TIMEOUT = 1,
    PR_SOCKET_ERROR = 2,
    PR_NO_THREAD = 3,
    PR_CANCELLED = 4,
};

// How a job's work ended, with the values of the one-job probe's worker exit status.
enum class JobStatus : int {
    Ok = 0,
    SocketError = 10,
    TimedOut = 12,
    Cancelled = 18,
    Unread = -1, // the work never reported one (no worker, or it ended by an exception)
};

// The wait for the next network event of a job, until a run sets it (the run's is the time-out plus ten seconds).
inline constexpr std::uint32_t kDefaultWaitMs = 30000;
// The test request is cut after this many characters; the answer is read in pieces of at most kChunkBytes.
inline constexpr std::size_t kMaxRequestChars = 1023;
inline constexpr std::size_t kChunkBytes = 5120;

// The result a status stands for, and the event that tells it (none for PR_DONE and PR_NO_THREAD).
ProbeResult ProbeResultForStatus(JobStatus status);
std::optional<ProbeEvent> ClosingEventFor(ProbeResult result);

// Where a probe reports the stages of its jobs: on the thread that hands the job over and collects it (PE_START,
// PE_END and the closing PE_TIMEOUT, PE_CANCELLED, PE_SOCKET_ERROR) and on the thread that drives the connection
// (the others).
class IProbeStages {
public:
    virtual ~IProbeStages() = default;
    virtual void OnProbeStage(ProbeEvent event, ProbeJob& job) = 0;
};
using ProbeCallback = IProbeStages*;

} // namespace zandel
