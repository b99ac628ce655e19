#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "core/check/ProbeAddress.h"
#include "core/check/ProbeJob.h"
#include "core/util/UniqueFd.h"

namespace zandel {

struct ProbePlan;
struct TunnelPlan;

// One check at a time: drives one job machine on a worker thread of its own per job while the caller blocks in
// RunJob; Cancel may come from any thread. The machine's lookup is made on the worker, where it blocks: a
// Cancel reaches a job only from the moment its connection is about to begin until its last socket closes.
class CProxyProbe final {
public:
    static constexpr std::size_t kMaxRequestChars = zandel::kMaxRequestChars;

    explicit CProxyProbe(ProbeResolver resolver = &ResolveProbeHost);
    ~CProxyProbe();
    CProxyProbe(const CProxyProbe&) = delete;
    CProxyProbe& operator=(const CProxyProbe&) = delete;

    bool Initialize(ProbeCallback callback);
    bool Cleanup();
    // The plan of RunJob(job): these three (and SetTunnel) make it, for every following job.
    void SetWaitTimeout(std::uint32_t milliseconds);
    void SetRequestLine(const std::string& text);
    void SetHeaders(const std::string& text);
    // Null (the default) leaves the HTTPS step out.
    void SetTunnel(std::shared_ptr<const TunnelPlan> plan);
    ProbeResult RunJob(ProbeJob* job);
    ProbeResult RunJob(ProbeJob* job, std::shared_ptr<const ProbePlan> plan);
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

    JobStatus ProbeThread(std::shared_ptr<const ProbePlan> plan);
    void MakePlanLocked();

    std::atomic<bool> m_initialized{false};
    ProbeResolver m_resolver;
    ProbeCallback m_callback = nullptr;

    // Set before a run on the user-interface thread, read by the caller of RunJob: guarded.
    mutable std::mutex m_settingsMutex;
    std::uint32_t m_waitTimeoutMs = kDefaultWaitMs;
    std::string m_requestLine;
    std::string m_headers;
    std::shared_ptr<const TunnelPlan> m_tunnel;
    std::shared_ptr<const ProbePlan> m_plan;

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
