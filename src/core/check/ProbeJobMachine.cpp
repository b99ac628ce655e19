#include "core/check/ProbeJobMachine.h"

#include <algorithm>
#include <chrono>

#include <sys/socket.h>

#include "core/check/CheckFormat.h"
#include "core/check/TlsHelloStep.h"

namespace zandel {

std::uint64_t ProbeClockMs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

ProbeResult ProbeResultForStatus(JobStatus status) {
    switch (status) {
    case JobStatus::Unread:
        return ProbeResult::PR_NO_THREAD;
    case JobStatus::Ok:
        return ProbeResult::PR_DONE;
    case JobStatus::TimedOut:
        return ProbeResult::PR_TIMEOUT;
    case JobStatus::Cancelled:
        return ProbeResult::PR_CANCELLED;
    case JobStatus::SocketError:
        break;
    }
    return ProbeResult::PR_SOCKET_ERROR;
}

std::optional<ProbeEvent> ClosingEventFor(ProbeResult result) {
    switch (result) {
    case ProbeResult::PR_TIMEOUT:
        return ProbeEvent::PE_TIMEOUT;
    case ProbeResult::PR_CANCELLED:
        return ProbeEvent::PE_CANCELLED;
    case ProbeResult::PR_SOCKET_ERROR:
        return ProbeEvent::PE_SOCKET_ERROR;
    case ProbeResult::PR_DONE:
    case ProbeResult::PR_NO_THREAD:
        break;
    }
    return std::nullopt;
}

// A site's stages are no step of the proxy's check: the transcript names the sites' classes on one line instead.
void ProbeJobMachine::Raise(ProbeEvent event) {
    if (m_state == State::Idle || !InSiteLeg()) {
        Raise(m_stages, event, m_job);
    }
}

void ProbeJobMachine::Raise(ProbeCallback stages, ProbeEvent event, ProbeJob& record) {
    if (stages != nullptr) {
        stages->OnProbeStage(event, record);
    }
}

void ProbeJobMachine::RaiseClosing(ProbeCallback stages, ProbeResult result, ProbeJob& record) {
    if (const std::optional<ProbeEvent> closing = ClosingEventFor(result)) {
        Raise(stages, *closing, record);
    }
}

ProbeJobMachine::ProbeJobMachine(ProbeJob& job, std::shared_ptr<const ProbePlan> plan, ProbeCallback stages)
    : m_job(job), m_plan(std::move(plan)), m_stages(stages) {}

ProbeJobMachine::~ProbeJobMachine() {
    CloseSocket();
}

void ProbeJobMachine::SetState(State state, std::uint64_t now) {
    m_state = state;
    // Every state but Resolved is a wait of its own, for the lookup, the connect or the step's next event.
    m_waitDeadline = state == State::Resolved || state == State::Done ? kNever : now + m_plan->waitMs;
}

std::uint64_t ProbeJobMachine::Deadline() const {
    return m_state == State::Done ? kNever : std::min({m_jobDeadline, m_waitDeadline, m_legDeadline});
}

void ProbeJobMachine::Begin(std::uint64_t now, std::uint64_t jobDeadline, std::atomic<bool>* timeoutMark) {
    ClearAnswer(m_job);
    m_first.reset();
    m_jobDeadline = jobDeadline;
    m_timeoutMark = timeoutMark;
    m_began = now;
    if (m_plan->legs.empty()) {
        SetState(State::Done, now);
        return;
    }
    BeginLeg(0, now);
    SetState(State::Resolved, now);
    // Up to a zero byte, as the resolver would read it.
    const char* host = m_job.target.host.c_str();
    switch (LiteralProbeHost(host, ProbePort(m_job.target), m_addresses)) {
    case HostKind::Address:
        break;
    case HostKind::Name:
        m_name = host;
        SetState(State::Lookup, now);
        break;
    case HostKind::Invalid:
        StopStep(StepStop::Failed, now);
        break;
    }
}

void ProbeJobMachine::OnLookup(ProbeAddresses addresses, std::uint64_t now) {
    if (m_state != State::Lookup) {
        return;
    }
    if (addresses.empty()) {
        StopStep(StepStop::Failed, now);
        return;
    }
    m_addresses = std::move(addresses);
    SetState(State::Resolved, now);
}

void ProbeJobMachine::Connect(std::uint64_t now) {
    if (m_state == State::Resolved) {
        m_address = 0;
        TryConnect(now);
    }
}

void ProbeJobMachine::TryConnect(std::uint64_t now) {
    CloseSocket();
    for (; m_address < m_addresses.size(); ++m_address) {
        m_socket = OpenProbeConnection(m_addresses[m_address]);
        if (m_socket.IsOpen()) {
            ++m_connection;
            SetState(State::Connecting, now);
            return;
        }
    }
    StopStep(StepStop::Failed, now);
}

void ProbeJobMachine::OnReady(std::uint64_t now, bool troubled) {
    if (m_state == State::Connecting) {
        // Writable (or in error) for the first time: the connect is over. A refused or unreachable address
        // gives way to the next one. A failed connect always shows as an error or a hang-up, so only then is
        // the socket asked why (a system call less per job when thousands connect at once).
        int error = 0;
        socklen_t length = sizeof error;
        if (troubled && (::getsockopt(m_socket.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)) {
            ++m_address;
            TryConnect(now);
            return;
        }
        SetState(State::Stepping, now);
        Continue(m_steps[m_step]->Start(m_socket.Get(), {}), now);
    } else if (m_state == State::Stepping) {
        SetState(State::Stepping, now);
        Continue(m_steps[m_step]->OnReady(), now);
    }
}

void ProbeJobMachine::Continue(StepWait wait, std::uint64_t now) {
    while (wait == StepWait::Over) {
        IProbeStep& step = *m_steps[m_step];
        if (!step.Through() || m_step + 1 == m_steps.size()) {
            EndLeg(false, now);
            return;
        }
        const std::string early = step.TakeEarly();
        ++m_step;
        wait = m_steps[m_step]->Start(m_socket.Get(), early);
    }
    m_waits = wait;
}

void ProbeJobMachine::OnTime(std::uint64_t now) {
    if (m_state == State::Done) {
        return;
    }
    if (now >= m_jobDeadline) {
        if (m_timeoutMark != nullptr) {
            m_timeoutMark->store(true);
        }
        Cancel();
    } else if (now >= m_waitDeadline || now >= m_legDeadline) {
        StopStep(StepStop::WaitExpired, now);
    }
}

void ProbeJobMachine::Cancel() {
    StopStep(StepStop::Cancelled, 0);
}

void ProbeJobMachine::Fail(std::uint64_t now) {
    if (m_state == State::Connecting) {
        ++m_address;
        TryConnect(now);
    } else {
        StopStep(StepStop::Failed, now);
    }
}

void ProbeJobMachine::StopStep(StepStop why, std::uint64_t now) {
    if (m_state == State::Done || m_state == State::Idle) {
        return;
    }
    m_steps[m_step]->Stop(why);
    EndLeg(why == StepStop::Cancelled, now);
}

void ProbeJobMachine::BeginLeg(std::size_t leg, std::uint64_t now) {
    const ProbeLeg& plan = m_plan->legs[leg];
    m_leg = leg;
    m_step = 0;
    m_waits = StepWait::Write;
    m_legDeadline = kNever;
    m_steps.clear();
    for (const ProbeStepMaker make : plan.steps) {
        m_steps.push_back(make(*this, *m_plan, plan));
    }
    if (plan.decidesResult) {
        // A later try at the result starts with an empty answer; what the leg before read was another protocol's.
        m_job.kind = plan.kind;
        m_job.answer.Clear();
        m_job.socks = SocksReport{};
    } else if (plan.site >= 0) {
        BeginSiteLeg(plan, now);
    } else {
        // A leg beside the result reports in the tunnel report; the GET's response time ends where it begins.
        m_job.tunnel = TunnelReport{};
        m_job.tunnel.startTicks = TickCount();
    }
}

// A site's tunnel (CONNECT, SOCKS) writes into the tunnel report as the HTTPS step's does: the step's own report is
// kept aside meanwhile. Each site has an equal share of the time left to the job, so that one that drips its answer
// leaves the others their time; what a site leaves unused goes to the next.
void ProbeJobMachine::BeginSiteLeg(const ProbeLeg& leg, std::uint64_t now) {
    if (m_job.sitesBegun == 0) {
        m_job.sitesStartTicks = TickCount();
    }
    m_keptTunnel = std::move(m_job.tunnel);
    m_job.tunnel = TunnelReport{};
    const auto index = static_cast<std::size_t>(leg.site);
    m_job.sites[index] = SiteClass::Failed;
    m_job.sitesBegun = std::max(m_job.sitesBegun, index + 1);
    // One at a time the job has no deadline of its own: the window's timer ends it at the run's time-out.
    const std::uint64_t end = std::min(m_jobDeadline, m_began + m_plan->sites->jobMs);
    const std::size_t left = m_plan->sites->sites.size() - index;
    m_legDeadline = end > now ? now + (end - now) / left : now;
}

bool ProbeJobMachine::Applies(const ProbeLeg& leg) const {
    switch (leg.when) {
    case ProbeLeg::When::Always:
        return true;
    case ProbeLeg::When::AfterCompletedExchange:
        // A site is fetched only through a proxy whose page could pass: "200 OK" is the judgement's first test.
        return m_status == JobStatus::Ok && leg.kind == m_job.kind && !(m_plan->detect && m_job.misfit) &&
               (leg.site < 0 || m_job.answer.Text().find("200 OK") != std::string_view::npos);
    case ProbeLeg::When::AfterMisfit:
        return m_job.misfit;
    case ProbeLeg::When::AfterSilentMisfit:
        return m_job.misfit && m_job.answer.Size() == 0;
    }
    return false;
}

void ProbeJobMachine::EndLeg(bool cancelled, std::uint64_t now) {
    if (m_plan->legs[m_leg].decidesResult) {
        m_status = m_steps[m_step]->Status();
        m_job.misfit = m_steps[m_step]->Misfit();
        if (m_plan->detect) {
            KeepFirstTry();
        }
    }
    if (InSiteLeg()) {
        m_job.tunnel = std::move(m_keptTunnel);
        m_legDeadline = kNever;
    }
    CloseSocket();
    // A cancel ends the job, not only its leg; so does a TLS server, which no further kind of proxy will be.
    for (std::size_t next = m_leg + 1; !cancelled && !m_job.tlsServer && next < m_plan->legs.size(); ++next) {
        if (Applies(m_plan->legs[next])) {
            BeginLeg(next, now);
            TryConnect(now);
            return;
        }
    }
    // Where no kind fitted, the job ends as its first try did, in the kind the entry was written as.
    if (m_first && m_job.misfit && !m_job.tlsServer) {
        m_status = m_first->status;
        m_job.kind = m_first->kind;
        m_job.socks = m_first->socks;
        m_job.answer = m_first->answer;
    }
    m_steps.clear();
    SetState(State::Done, now);
}

// Type detection: an answer that opens like a TLS record is a TLS server's; the first try's end is kept while later
// ones try other kinds.
void ProbeJobMachine::KeepFirstTry() {
    if (m_leg == 0 && m_job.misfit && LooksLikeTlsRecord(m_job.answer.Text())) {
        m_job.tlsServer = true;
        m_job.misfit = false;
    }
    if (m_leg == 0 && m_job.misfit) {
        m_first = FirstTry{m_status, m_job.kind, m_job.socks, m_job.answer};
    }
}

void ProbeJobMachine::CloseSocket() {
    // A plain close ends the connection as a shutdown before it would (FIN, or RST over unread data), one call less.
    m_socket.Reset();
}

} // namespace zandel
