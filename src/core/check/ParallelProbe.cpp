#include "core/check/ParallelProbe.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>
#include <system_error>
#include <utility>

#include <fcntl.h>

#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/check/ProbeExchange.h"
#include "core/check/ProbeLookupPool.h"
#include "core/check/TunnelExchange.h"

namespace zandel {

namespace {

constexpr std::uint64_t kWakeKey = UINT64_MAX;
constexpr int kLookupThreads = 4;
constexpr int kEventsPerWait = 256;

} // namespace

struct ParallelProbe::Connection {
    enum class State { Lookup, Exchange };

    ProbeJob* job = nullptr;
    std::atomic<bool>* mark = nullptr;
    std::shared_ptr<const std::string> request;
    std::shared_ptr<const TunnelPlan> tunnelPlan;
    State state = State::Lookup;
    UniqueFd fd;
    std::uint64_t sequence = 0; // the order of submission
    unsigned serial = 0;        // tells a lookup's answer for this job from one for the slot's earlier job
    sockaddr_in target{};
    std::uint64_t deadline = 0;
    std::uint64_t waitDeadline = 0;
    std::uint64_t waitMs = 0;
    std::optional<ProbeExchange> exchange;
    std::optional<TunnelExchange> tunnel;
    int status = CProxyProbe::kStatusOk; // the exchange's, while the HTTPS step runs
};

void RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

ParallelProbe::ParallelProbe(ProbeCallback callback) : m_callback(callback) {}

ParallelProbe::~ParallelProbe() {
    {
        std::lock_guard lock(m_inMutex);
        m_stop = true;
    }
    if (m_io.joinable()) {
        Wake();
        m_io.join();
    }
    if (m_lookups) {
        std::lock_guard lock(m_lookups->mutex);
        m_lookups->stop = true;
        m_lookups->asked.notify_all();
    }
}

bool ParallelProbe::Start() {
    m_epoll.Reset(::epoll_create1(EPOLL_CLOEXEC));
    m_wake.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!m_epoll.IsOpen() || !m_wake.IsOpen()) {
        return false;
    }
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.u64 = kWakeKey;
    if (::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, m_wake.Get(), &wakeEvent) != 0) {
        return false;
    }
    m_lookups = std::make_shared<ProbeLookupPool>();
    m_lookups->wake.Reset(::fcntl(m_wake.Get(), F_DUPFD_CLOEXEC, 0));
    try {
        for (int i = 0; i < kLookupThreads; ++i) {
            std::thread([pool = m_lookups] { pool->Serve(); }).detach();
        }
        m_io = std::thread([this] { IoLoop(); });
    } catch (const std::system_error&) {
        return false;
    }
    return m_lookups->wake.IsOpen();
}

void ParallelProbe::SetRequest(const std::string& requestLine, const std::string& headers,
                               std::uint32_t waitTimeoutMs) {
    char request[CProxyProbe::kMaxRequestChars + 1];
    const std::size_t length = ComposeProbeRequest(request, requestLine, headers);
    std::lock_guard lock(m_inMutex);
    m_request.assign(request, length);
    m_waitMs = static_cast<int>(std::min<std::uint32_t>(waitTimeoutMs, INT_MAX));
}

void ParallelProbe::SetTunnel(std::shared_ptr<const TunnelPlan> plan) {
    std::lock_guard lock(m_inMutex);
    m_tunnel = std::move(plan);
}

void ParallelProbe::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.Get(), &one, sizeof one);
}

std::uint64_t ParallelProbe::NowMs() const {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

void ParallelProbe::Submit(ProbeJob* job, std::uint32_t timeoutMs, std::atomic<bool>* timeoutMark) {
    job->pBuffer[0] = '\0';
    job->nReceived = 0;
    job->tunnel = TunnelReport{};
    if (m_callback != nullptr) {
        m_callback->OnProbeStage(PE_START, *job);
    }
    ++m_outstanding;
    {
        std::lock_guard lock(m_inMutex);
        m_submitted.push_back({job, timeoutMs, timeoutMark, ++m_submittedCount});
    }
    Wake();
}

void ParallelProbe::CancelAll() {
    {
        std::lock_guard lock(m_inMutex);
        m_cancelUpTo = m_submittedCount;
    }
    Wake();
}

ParallelProbe::Done ParallelProbe::Collect() {
    std::pair<ProbeJob*, int> ended;
    {
        std::unique_lock lock(m_outMutex);
        m_outReady.wait(lock, [&] { return !m_ended.empty(); });
        ended = m_ended.front();
        m_ended.pop_front();
    }
    --m_outstanding;
    Done done{ended.first, ProbeResultForStatus(ended.second)};
    const int closing = ClosingEventFor(done.result);
    if (m_callback != nullptr) {
        if (closing != 0) {
            m_callback->OnProbeStage(closing, *done.job);
        }
        m_callback->OnProbeStage(PE_END, *done.job);
    }
    return done;
}

void ParallelProbe::IoLoop() {
    epoll_event events[kEventsPerWait];
    for (;;) {
        int timeoutMs = -1;
        if (!m_connections.empty()) {
            const std::uint64_t now = NowMs();
            std::uint64_t next = UINT64_MAX;
            for (const auto& connection : m_connections) {
                if (connection) {
                    next = std::min({next, connection->deadline, connection->waitDeadline});
                }
            }
            if (next != UINT64_MAX) {
                timeoutMs = next <= now ? 0 : static_cast<int>(std::min<std::uint64_t>(next - now, INT_MAX));
            }
        }
        const int count = ::epoll_wait(m_epoll.Get(), events, kEventsPerWait, timeoutMs);
        for (int i = 0; i < count; ++i) {
            if (events[i].data.u64 == kWakeKey) {
                std::uint64_t drained = 0;
                [[maybe_unused]] const ssize_t got = ::read(m_wake.Get(), &drained, sizeof drained);
                continue;
            }
            OnSocketReady(static_cast<std::size_t>(events[i].data.u64));
        }
        {
            std::lock_guard lock(m_inMutex);
            if (m_stop) {
                break;
            }
        }
        TakeSubmissions();
        TakeLookups();
        CheckDeadlines();
    }
    for (std::size_t i = 0; i < m_connections.size(); ++i) {
        if (m_connections[i]) {
            End(i, CProxyProbe::kStatusCancelled);
        }
    }
}

void ParallelProbe::TakeSubmissions() {
    std::vector<Submission> submitted;
    std::uint64_t cancelUpTo = 0;
    std::shared_ptr<const std::string> request;
    std::shared_ptr<const TunnelPlan> tunnel;
    int waitMs = 0;
    {
        std::lock_guard lock(m_inMutex);
        submitted.swap(m_submitted);
        cancelUpTo = m_cancelUpTo;
        request = std::make_shared<const std::string>(m_request);
        tunnel = m_tunnel;
        waitMs = m_waitMs;
    }
    const std::uint64_t now = NowMs();
    for (const Submission& submission : submitted) {
        std::size_t index = 0;
        if (!m_free.empty()) {
            index = m_free.back();
            m_free.pop_back();
        } else {
            index = m_connections.size();
            m_connections.emplace_back();
        }
        auto connection = std::make_unique<Connection>();
        connection->job = submission.job;
        connection->mark = submission.mark;
        connection->request = request;
        connection->tunnelPlan = tunnel;
        connection->serial = ++m_serial;
        connection->sequence = submission.sequence;
        connection->waitMs = static_cast<std::uint64_t>(waitMs);
        connection->deadline = now + submission.timeoutMs;
        connection->waitDeadline = now + static_cast<std::uint64_t>(waitMs);
        connection->target = ProbeTargetPort(*submission.job);
        m_connections[index] = std::move(connection);

        Connection& c = *m_connections[index];
        ProbeHostName host;
        ProbeHost(*c.job, host);
        if (LiteralProbeHost(host, &c.target.sin_addr)) {
            StartConnect(index);
            continue;
        }
        ProbeLookupPool::Ask ask{index, c.serial, {}};
        std::memcpy(ask.host, host, sizeof host);
        std::lock_guard lock(m_lookups->mutex);
        m_lookups->asks.push_back(ask);
        m_lookups->asked.notify_one();
    }
    for (std::size_t i = 0; i < m_connections.size(); ++i) {
        if (m_connections[i] && m_connections[i]->sequence <= cancelUpTo) {
            End(i, CProxyProbe::kStatusCancelled);
        }
    }
}

void ParallelProbe::TakeLookups() {
    std::vector<ProbeLookupPool::Answer> answers;
    {
        std::lock_guard lock(m_lookups->mutex);
        answers.swap(m_lookups->answers);
    }
    for (const ProbeLookupPool::Answer& answer : answers) {
        // A job that ended while its lookup ran no longer wants the answer.
        if (answer.index >= m_connections.size() || !m_connections[answer.index] ||
            m_connections[answer.index]->serial != answer.serial) {
            continue;
        }
        if (!answer.ok) {
            End(answer.index, CProxyProbe::kStatusSocketError);
            continue;
        }
        m_connections[answer.index]->target.sin_addr = answer.address;
        StartConnect(answer.index);
    }
}

void ParallelProbe::StartConnect(std::size_t index) {
    Connection& c = *m_connections[index];
    c.state = Connection::State::Exchange;
    c.fd.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!c.fd.IsOpen()) {
        End(index, CProxyProbe::kStatusSocketError);
        return;
    }
    c.exchange.emplace(*c.job, c.fd.Get(), c.request->data(), c.request->size(), m_callback);
    epoll_event event{};
    event.events = EPOLLOUT;
    event.data.u64 = index;
    if ((::connect(c.fd.Get(), reinterpret_cast<const sockaddr*>(&c.target), sizeof c.target) != 0 &&
         errno != EINPROGRESS) ||
        ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, c.fd.Get(), &event) != 0) {
        End(index, CProxyProbe::kStatusSocketError);
    }
}

void ParallelProbe::StartTunnel(std::size_t index, int status) {
    Connection& c = *m_connections[index];
    c.status = status;
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, c.fd.Get(), nullptr);
    ::shutdown(c.fd.Get(), SHUT_RDWR);
    c.fd.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    c.tunnel.emplace(*c.job, c.fd.Get(), *c.tunnelPlan, m_callback);
    epoll_event event{};
    event.events = EPOLLOUT;
    event.data.u64 = index;
    if (!c.fd.IsOpen() ||
        (::connect(c.fd.Get(), reinterpret_cast<const sockaddr*>(&c.target), sizeof c.target) != 0 &&
         errno != EINPROGRESS) ||
        ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, c.fd.Get(), &event) != 0) {
        c.tunnel->Stop(CProxyProbe::kStatusSocketError);
        End(index, status);
    }
}

void ParallelProbe::OnSocketReady(std::size_t index) {
    // Events for a job ended earlier in the same batch are stale.
    if (index >= m_connections.size() || !m_connections[index] || !m_connections[index]->exchange) {
        return;
    }
    Connection& c = *m_connections[index];
    c.waitDeadline = NowMs() + c.waitMs;
    if (c.tunnel) {
        const ProbeExchange::Step before = c.tunnel->Current();
        const ProbeExchange::Step step = c.tunnel->OnReady();
        if (step == ProbeExchange::Step::Finished) {
            End(index, c.status);
        } else if (step != before) {
            Rearm(index, step == ProbeExchange::Step::WantWrite);
        }
        return;
    }
    const ProbeExchange::Step before = c.exchange->Current();
    const ProbeExchange::Step step = c.exchange->OnReady();
    if (step == ProbeExchange::Step::Finished) {
        const int status = c.exchange->Finish();
        // The HTTPS step follows only an exchange that got through to the proxy and was not cut short.
        if (c.tunnelPlan && c.exchange->Connected() && status == CProxyProbe::kStatusOk) {
            StartTunnel(index, status);
        } else {
            End(index, status);
        }
        return;
    }
    if (step != before) {
        Rearm(index, false);
    }
}

void ParallelProbe::Rearm(std::size_t index, bool wantWrite) {
    epoll_event event{};
    event.events = wantWrite ? EPOLLOUT : EPOLLIN;
    event.data.u64 = index;
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_MOD, m_connections[index]->fd.Get(), &event);
}

void ParallelProbe::CheckDeadlines() {
    const std::uint64_t now = NowMs();
    for (std::size_t i = 0; i < m_connections.size(); ++i) {
        if (!m_connections[i]) {
            continue;
        }
        Connection& c = *m_connections[i];
        if (now >= c.deadline) {
            // The job's own time-out: marked, then cancelled, as the window's timer does it.
            if (c.mark != nullptr) {
                c.mark->store(true);
            }
            End(i, CProxyProbe::kStatusCancelled);
        } else if (now >= c.waitDeadline && c.tunnel) {
            c.tunnel->OnWaitExpired();
            End(i, c.status);
        } else if (now >= c.waitDeadline && c.exchange) {
            c.exchange->OnWaitExpired();
            End(i, c.exchange->Finish());
        } else if (now >= c.waitDeadline) {
            End(i, CProxyProbe::kStatusTimedOut);
        }
    }
}

void ParallelProbe::End(std::size_t index, int status) {
    std::unique_ptr<Connection> c = std::move(m_connections[index]);
    m_free.push_back(index);
    if (c->tunnel) {
        // However the HTTPS step ends, the job's status stays what the exchange before it gave.
        c->tunnel->Stop(status);
        status = c->status;
    } else if (c->exchange && c->exchange->Current() != ProbeExchange::Step::Finished) {
        c->exchange->Stop(status);
        status = c->exchange->Finish();
    }
    if (c->fd.IsOpen()) {
        ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, c->fd.Get(), nullptr);
        ::shutdown(c->fd.Get(), SHUT_RDWR);
    }
    {
        std::lock_guard lock(m_outMutex);
        m_ended.emplace_back(c->job, status);
    }
    m_outReady.notify_one();
}

} // namespace zandel
