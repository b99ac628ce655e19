#include "core/check/ProxyProbe.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/check/ProbeExchange.h"
#include "core/check/TunnelExchange.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

// The worker's status when it never reported one (it did not run or ended by an exception).
constexpr int kStatusUnread = -1;

// Shuts the worker's socket down however the worker leaves, before its owner closes it.
class ShutdownOnExit final {
public:
    explicit ShutdownOnExit(const UniqueFd& socket) : m_socket(socket) {}
    ~ShutdownOnExit() {
        if (m_socket.IsOpen()) {
            ::shutdown(m_socket.Get(), SHUT_RDWR);
        }
    }
    ShutdownOnExit(const ShutdownOnExit&) = delete;
    ShutdownOnExit& operator=(const ShutdownOnExit&) = delete;

private:
    const UniqueFd& m_socket;
};

} // namespace

ProbeResult ProbeResultForStatus(int status) {
    switch (status) {
    case kStatusUnread:
        return PR_NO_THREAD;
    case CProxyProbe::kStatusOk:
        return PR_DONE;
    case CProxyProbe::kStatusTimedOut:
        return PR_TIMEOUT;
    case CProxyProbe::kStatusCancelled:
        return PR_CANCELLED;
    default:
        return PR_SOCKET_ERROR;
    }
}

int ClosingEventFor(ProbeResult result) {
    switch (result) {
    case PR_TIMEOUT:
        return PE_TIMEOUT;
    case PR_CANCELLED:
        return PE_CANCELLED;
    case PR_SOCKET_ERROR:
        return PE_SOCKET_ERROR;
    case PR_DONE:
    case PR_NO_THREAD:
        break;
    }
    return 0;
}

CProxyProbe::CProxyProbe() = default;

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

void CProxyProbe::SetWaitTimeout(std::uint32_t milliseconds) {
    std::lock_guard lock(m_settingsMutex);
    m_waitTimeoutMs = milliseconds;
}

void CProxyProbe::SetRequestLine(const std::string& text) {
    std::lock_guard lock(m_settingsMutex);
    m_requestLine = text;
}

void CProxyProbe::SetHeaders(const std::string& text) {
    std::lock_guard lock(m_settingsMutex);
    m_headers = text;
}

void CProxyProbe::SetTunnel(std::shared_ptr<const TunnelPlan> plan) {
    std::lock_guard lock(m_settingsMutex);
    m_tunnel = std::move(plan);
}

void CProxyProbe::Raise(int event, ProbeJob* job) const {
    if (m_callback != nullptr) {
        m_callback->OnProbeStage(event, *job);
    }
}

ProbeResult CProxyProbe::RunJob(ProbeJob* job) {
    // A job without a buffer to write into is refused like one of size 0.
    if (!m_initialized.load() || job == nullptr || job->nBufferSize == 0 || job->pBuffer == nullptr) {
        return PR_DONE;
    }
    m_job = *job;

    // The worker is made first and held at a gate, so that PE_START is seen before any worker event.
    std::mutex gateMutex;
    std::condition_variable gate;
    bool released = false;
    int status = kStatusUnread;
    std::thread worker;
    ProbeResult result = PR_NO_THREAD;
    try {
        worker = std::thread([&] {
            {
                std::unique_lock lock(gateMutex);
                gate.wait(lock, [&] { return released; });
            }
            try {
                status = ProbeThread();
            } catch (...) {
                status = kStatusUnread;
            }
        });
    } catch (const std::system_error&) {
        worker = std::thread();
    }

    if (worker.joinable()) {
        Raise(PE_START, job);
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
        result = joined ? ProbeResultForStatus(status) : PR_NO_THREAD;
        if (const int closing = ClosingEventFor(result); closing != 0) {
            Raise(closing, job);
        }
    }

    *job = m_job;
    m_running.store(false);
    Raise(PE_END, job);
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

int CProxyProbe::ProbeThread() {
    ProbeJob& job = m_job;
    job.pBuffer[0] = '\0';
    job.nReceived = 0;
    job.tunnel = TunnelReport{};

    // Settings are taken once, under the lock, into fixed storage: the exchange allocates nothing.
    char request[kMaxRequestChars + 1];
    std::size_t requestLength = 0;
    int waitMs = 0;
    std::shared_ptr<const TunnelPlan> tunnel;
    {
        std::lock_guard lock(m_settingsMutex);
        requestLength = ComposeProbeRequest(request, m_requestLine, m_headers);
        waitMs = static_cast<int>(std::min<std::uint32_t>(m_waitTimeoutMs, INT_MAX));
        tunnel = m_tunnel;
    }

    const UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.IsOpen()) {
        return kStatusSocketError;
    }
    const ShutdownOnExit shutdown(socket);
    sockaddr_in target = ProbeTargetPort(job);
    ProbeHostName host;
    ProbeHost(job, host);
    if (!LiteralProbeHost(host, &target.sin_addr) && !ResolveProbeHost(host, &target.sin_addr)) {
        return kStatusSocketError;
    }

    WakeArming arming(*this);
    if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 &&
        errno != EINPROGRESS) {
        return kStatusSocketError;
    }
    ProbeExchange exchange(m_job, socket.Get(), request, requestLength, m_callback);
    Drive(exchange, socket.Get(), waitMs);
    const int status = exchange.Finish();
    // The HTTPS step follows only an exchange that got through to the proxy and was not cut short.
    if (tunnel && exchange.Connected() && status == kStatusOk) {
        RunTunnel(target, *tunnel, waitMs);
    }
    return status;
}

void CProxyProbe::RunTunnel(sockaddr_in target, const TunnelPlan& plan, int waitMs) {
    const UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const ShutdownOnExit shutdown(socket);
    TunnelExchange exchange(m_job, socket.Get(), plan, m_callback);
    if (!socket.IsOpen() || (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 &&
                             errno != EINPROGRESS)) {
        exchange.Stop(kStatusSocketError);
        return;
    }
    Drive(exchange, socket.Get(), waitMs);
}

template <class E> void CProxyProbe::Drive(E& exchange, int fd, int waitMs) {
    while (exchange.Current() != ProbeExchange::Step::Finished) {
        // Only Cancel clears the flag while a job runs: one that lands while the worker handles the events of
        // a wait ends the job as cancelled too, not as a finished exchange with whatever had arrived.
        if (!m_running.load()) {
            exchange.Stop(kStatusCancelled);
            break;
        }
        pollfd fds[2] = {};
        fds[0].fd = fd;
        fds[0].events = exchange.Current() == ProbeExchange::Step::WantWrite ? POLLOUT : POLLIN;
        fds[1].fd = m_wakeFd.Get();
        fds[1].events = POLLIN;
        const int ready = ::poll(fds, 2, waitMs);
        if (ready == 0) {
            exchange.OnWaitExpired();
            break;
        }
        if (!m_running.load()) {
            exchange.Stop(kStatusCancelled);
            break;
        }
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            exchange.Stop(kStatusSocketError);
            break;
        }
        if (fds[0].revents != 0) {
            exchange.OnReady();
        }
    }
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
