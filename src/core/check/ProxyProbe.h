#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include <netinet/in.h>

#include "core/check/TunnelReport.h"
#include "core/log/ProbeEvents.h"
#include "core/util/UniqueFd.h"

namespace zandel {

// The record of one check. The caller owns it and the answer buffer it points to.
struct ProbeJob {
    char szHost[260] = {};
    char szPort[10] = {};
    char* pBuffer = nullptr;
    std::uint32_t nBufferSize = 0;
    std::uint32_t nReceived = 0;
    TunnelReport tunnel; // the HTTPS step's findings, when it ran
};

struct TunnelPlan;

enum ProbeResult : int {
    PR_DONE = 0,
    PR_TIMEOUT = 1,
    PR_SOCKET_ERROR = 2,
    PR_NO_THREAD = 3,
    PR_CANCELLED = 4,
};

// The result a worker's exit status stands for, and the event that tells it (0 for PR_DONE and PR_NO_THREAD).
ProbeResult ProbeResultForStatus(int status);
int ClosingEventFor(ProbeResult result);

// Where a probe reports the stages of its jobs: on the calling thread (3, 4, 10, 11, 12) and on the thread
// that drives the connection (5, 7, 8, 9, 13, 14, 15).
class IProbeStages {
public:
    virtual ~IProbeStages() = default;
    virtual void OnProbeStage(int event, ProbeJob& job) = 0;
};
using ProbeCallback = IProbeStages*;

// The network side of one proxy check: connect, send the test request, collect the answer into the
// caller's buffer, end by close, full buffer, time-out or cancel; then, with a tunnel plan, the HTTPS step
// on a second connection once the exchange was completed. One job at a time, each on a worker thread of its
// own while the caller blocks in RunJob; Cancel may come from any thread.
class CProxyProbe final {
public:
    // Exit statuses of the worker.
    static constexpr int kStatusOk = 0;
    static constexpr int kStatusSocketError = 10;
    static constexpr int kStatusTimedOut = 12;
    static constexpr int kStatusCancelled = 18;

    static constexpr std::size_t kMaxRequestChars = 1023;
    static constexpr std::size_t kChunkBytes = 5120;

    CProxyProbe();
    ~CProxyProbe();
    CProxyProbe(const CProxyProbe&) = delete;
    CProxyProbe& operator=(const CProxyProbe&) = delete;

    bool Initialize(ProbeCallback callback);
    bool Cleanup();
    void SetWaitTimeout(std::uint32_t milliseconds);
    void SetRequestLine(const std::string& text);
    void SetHeaders(const std::string& text);
    // Null (the default) leaves the HTTPS step out.
    void SetTunnel(std::shared_ptr<const TunnelPlan> plan);
    ProbeResult RunJob(ProbeJob* job);
    bool Cancel();

    bool IsInitialized() const { return m_initialized.load(); }

private:
    // Keeps the wake-up descriptor armed for one worker, from before its connect until its socket closes.
    class WakeArming final {
    public:
        explicit WakeArming(CProxyProbe& probe);
        ~WakeArming();
        WakeArming(const WakeArming&) = delete;
        WakeArming& operator=(const WakeArming&) = delete;

    private:
        CProxyProbe& m_probe;
    };

    int ProbeThread();
    // Feeds an exchange with its socket's readiness until it is over, a wait expires or Cancel comes.
    template <class E> void Drive(E& exchange, int fd, int waitMs);
    void RunTunnel(sockaddr_in target, const TunnelPlan& plan, int waitMs);
    void Raise(int event, ProbeJob* job) const;

    std::atomic<bool> m_initialized{false};
    ProbeCallback m_callback = nullptr;

    // Set before a run on the user-interface thread, read by the worker: guarded.
    mutable std::mutex m_settingsMutex;
    std::uint32_t m_waitTimeoutMs = 30000;
    std::string m_requestLine;
    std::string m_headers;
    std::shared_ptr<const TunnelPlan> m_tunnel;

    ProbeJob m_job;
    std::atomic<bool> m_running{false};

    // The wake-up descriptor stands in for the event object; it exists for the probe's life and is "armed"
    // only while a worker is between setting it up and closing its socket. Arming, disarming and Cancel
    // take the lock, so a Cancel never reaches the next job.
    std::mutex m_eventMutex;
    UniqueFd m_wakeFd;
    bool m_eventArmed = false;
};

} // namespace zandel
