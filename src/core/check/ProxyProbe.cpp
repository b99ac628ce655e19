#include "core/check/ProxyProbe.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <system_error>
#include <thread>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "core/check/ProbeJobMachine.h"
#include "core/check/ProbePlan.h"

namespace zandel {

CProxyProbe::CProxyProbe(ProbeResolver resolver) : m_resolver(resolver) {
    std::lock_guard lock(m_settingsMutex);
    MakePlanLocked();
}

CProxyProbe::~CProxyProbe() = default;

bool CProxyProbe::Initialize(ProbeCallback callback) {
    if (m_initialized.load()) {
        return true;
    }
    if (!m_wakeFd.IsOpen()) {
        m_wakeFd.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
        if (!m_wakeFd.IsOpen()) {
            return false;
        }
    }
    if (callback != nullptr) {
        m_callback = callback;
    }
    m_initialized.store(true);
    return true;
}

bool CProxyProbe::Cleanup() {
    // No socket layer to release on this platform.
    return true;
}

void CProxyProbe::MakePlanLocked() {
    m_plan = MakeProxyPlan(ComposeProbeRequest(m_requestLine, m_headers), m_waitTimeoutMs, m_tunnel);
}

void CProxyProbe::SetWaitTimeout(std::uint32_t milliseconds) {
    std::lock_guard lock(m_settingsMutex);
    m_waitTimeoutMs = milliseconds;
    MakePlanLocked();
}

void CProxyProbe::SetRequestLine(const std::string& text) {
    std::lock_guard lock(m_settingsMutex);
    m_requestLine = text;
    MakePlanLocked();
}

void CProxyProbe::SetHeaders(const std::string& text) {
    std::lock_guard lock(m_settingsMutex);
    m_headers = text;
    MakePlanLocked();
}

void CProxyProbe::SetTunnel(std::shared_ptr<const TunnelPlan> plan) {
    std::lock_guard lock(m_settingsMutex);
    m_tunnel = std::move(plan);
    MakePlanLocked();
}

ProbeResult CProxyProbe::RunJob(ProbeJob* job) {
    std::shared_ptr<const ProbePlan> plan;
    {
        std::lock_guard lock(m_settingsMutex);
        plan = m_plan;
    }
    return RunJob(job, std::move(plan));
}

ProbeResult CProxyProbe::RunJob(ProbeJob* job, std::shared_ptr<const ProbePlan> plan) {
    // A job with no room for an answer is refused.
    if (!m_initialized.load() || job == nullptr || job->answer.Limit() == 0 || !plan) {
        return ProbeResult::PR_DONE;
    }
    m_job = *job;

    // The worker is made first and held at a gate, so that PE_START is seen before any worker event.
    std::mutex gateMutex;
    std::condition_variable gate;
    bool released = false;
    JobStatus status = JobStatus::Unread;
    std::thread worker;
    ProbeResult result = ProbeResult::PR_NO_THREAD;
    try {
        worker = std::thread([&] {
            {
                std::unique_lock lock(gateMutex);
                gate.wait(lock, [&] { return released; });
            }
            try {
                status = ProbeThread(plan);
            } catch (...) {
                status = JobStatus::Unread;
            }
        });
    } catch (const std::system_error&) {
        worker = std::thread();
    }

    if (worker.joinable()) {
        ProbeJobMachine::Raise(m_callback, ProbeEvent::PE_START, *job);
        m_running.store(true);
        {
            std::lock_guard lock(gateMutex);
            released = true;
        }
        gate.notify_one();
        bool joined = true;
        try {
            worker.join();
        } catch (const std::system_error&) {
            joined = false;
        }
        result = joined ? ProbeResultForStatus(status) : ProbeResult::PR_NO_THREAD;
        ProbeJobMachine::RaiseClosing(m_callback, result, *job);
    }

    *job = std::move(m_job);
    m_running.store(false);
    ProbeJobMachine::Raise(m_callback, ProbeEvent::PE_END, *job);
    return result;
}

bool CProxyProbe::Cancel() {
    if (!m_initialized.load()) {
        return false;
    }
    std::lock_guard lock(m_eventMutex);
    if (m_eventArmed && m_running.load()) {
        m_running.store(false);
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd.Get(), &one, sizeof one);
    }
    return true;
}

JobStatus CProxyProbe::ProbeThread(std::shared_ptr<const ProbePlan> plan) {
    ProbeJobMachine machine(m_job, std::move(plan), m_callback);
    std::uint64_t now = ProbeClockMs();
    machine.Begin(now);
    if (machine.Current() == ProbeJobMachine::State::Lookup) {
        ProbeAddresses addresses = m_resolver(machine.LookupName().c_str(), ProbePort(m_job.target));
        now = ProbeClockMs();
        machine.OnLookup(std::move(addresses), now);
    }
    WakeArming arming(*this);
    now = ProbeClockMs();
    machine.Connect(now);
    while (!machine.Done()) {
        // Only Cancel clears the flag while a job runs: one that lands while the worker handles the events of
        // a wait ends the job as cancelled too, not as a finished exchange with whatever had arrived.
        if (!m_running.load()) {
            machine.Cancel();
            break;
        }
        // Measured from the machine's last call, so that each wait after an event is the whole wait time-out.
        const std::uint64_t deadline = machine.Deadline();
        const int waitMs =
            deadline == ProbeJobMachine::kNever
                ? -1
                : static_cast<int>(std::min<std::uint64_t>(deadline > now ? deadline - now : 0, INT32_MAX));
        pollfd fds[2] = {};
        fds[0].fd = machine.Fd();
        fds[0].events = machine.WaitsToWrite() ? POLLOUT : POLLIN;
        fds[1].fd = m_wakeFd.Get();
        fds[1].events = POLLIN;
        const int ready = ::poll(fds, 2, waitMs);
        if (!m_running.load()) {
            machine.Cancel();
            break;
        }
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        now = std::max(ProbeClockMs(), ready == 0 ? deadline : 0);
        if (ready == 0) {
            machine.OnTime(now);
        } else if (ready < 0) {
            machine.Fail(now);
        } else if (fds[0].revents != 0) {
            machine.OnReady(now, (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0);
        }
    }
    return machine.Status();
}

CProxyProbe::WakeArming::WakeArming(CProxyProbe& probe) : m_probe(probe) {
    // A wake-up left over from a cancel that came too late for the previous job is dropped here.
    std::lock_guard lock(m_probe.m_eventMutex);
    std::uint64_t stale = 0;
    [[maybe_unused]] const ssize_t drained = ::read(m_probe.m_wakeFd.Get(), &stale, sizeof stale);
    m_probe.m_eventArmed = true;
}

CProxyProbe::WakeArming::~WakeArming() {
    std::lock_guard lock(m_probe.m_eventMutex);
    m_probe.m_eventArmed = false;
}

} // namespace zandel
