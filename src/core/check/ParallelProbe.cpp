#include "core/check/ParallelProbe.h"

#include <algorithm>
#include <climits>
#include <utility>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include "core/check/ProbeJobMachine.h"

namespace zandel {

namespace {

constexpr std::uint64_t kWakeKey = UINT64_MAX;
constexpr int kEventsPerWait = 256;

} // namespace

struct ParallelProbe::Slot {
    Slot(ProbeJob& job, std::shared_ptr<const ProbePlan> plan, ProbeCallback callback)
        : job(job), machine(job, std::move(plan), callback) {}

    ProbeJob& job;
    ProbeJobMachine machine;
    std::uint64_t sequence = 0; // the order of submission
    unsigned serial = 0;        // tells a lookup's answer for this job from one for the slot's earlier job
    bool asked = false;         // a lookup is out for the job
    unsigned watched = 0;       // the machine's connection that epoll knows, 0 for none
    bool watchedWrite = false;
};

void RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

ParallelProbe::ParallelProbe(ProbeCallback callback, ProbeResolver resolver, int liveLookups)
    : m_callback(callback), m_resolver(resolver), m_liveLookups(liveLookups) {}

ParallelProbe::~ParallelProbe() {
    for (std::unique_ptr<Slot>& slot : m_slots) {
        if (slot) {
            slot->machine.Cancel();
        }
    }
    m_slots.clear(); // closes every socket
    if (m_lookups) {
        m_lookups->Stop();
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
    m_lookups = std::make_shared<ProbeLookupPool>(m_resolver, m_liveLookups, m_wake.Get());
    return m_lookups->IsReady();
}

void ParallelProbe::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.Get(), &one, sizeof one);
}

void ParallelProbe::Submit(ProbeJob* job, std::shared_ptr<const ProbePlan> plan, std::uint32_t timeoutMs,
                           std::atomic<bool>* timeoutMark) {
    ProbeJobMachine::Raise(m_callback, ProbeEvent::PE_START, *job);
    ++m_outstanding;
    std::size_t index = m_slots.size();
    if (!m_free.empty()) {
        index = m_free.back();
        m_free.pop_back();
    } else {
        m_slots.emplace_back();
    }
    m_slots[index] = std::make_unique<Slot>(*job, std::move(plan), m_callback);
    Slot& slot = *m_slots[index];
    slot.sequence = m_submittedCount.load(std::memory_order_relaxed) + 1;
    m_submittedCount.store(slot.sequence);
    slot.serial = ++m_serial;
    const std::uint64_t now = ProbeClockMs();
    ProbeJobMachine& machine = slot.machine;
    machine.Begin(now, now + timeoutMs, timeoutMark);
    if (machine.Current() == ProbeJobMachine::State::Lookup) {
        slot.asked = true;
        m_lookups->Ask(index, slot.serial, machine.LookupName(), ProbePort(slot.job.target));
    } else {
        machine.Connect(now);
    }
    Settle(index);
}

void ParallelProbe::CancelAll() {
    m_cancelUpTo.store(m_submittedCount.load());
    Wake();
}

ParallelProbe::Done ParallelProbe::Collect() {
    while (m_ended.empty()) {
        Turn(true);
    }
    const std::pair<ProbeJob*, JobStatus> ended = m_ended.front();
    m_ended.pop_front();
    --m_outstanding;
    const Done done{ended.first, ProbeResultForStatus(ended.second)};
    ProbeJobMachine::RaiseClosing(m_callback, done.result, *done.job);
    ProbeJobMachine::Raise(m_callback, ProbeEvent::PE_END, *done.job);
    return done;
}

void ParallelProbe::Turn(bool wait) {
    int timeoutMs = 0;
    if (wait && m_deadlines.Empty()) {
        timeoutMs = -1;
    } else if (wait) {
        const std::uint64_t now = ProbeClockMs();
        const std::uint64_t next = m_deadlines.TopDeadline();
        timeoutMs = next <= now ? 0 : static_cast<int>(std::min<std::uint64_t>(next - now, INT_MAX));
    }
    epoll_event events[kEventsPerWait];
    const int count = ::epoll_wait(m_epoll.Get(), events, kEventsPerWait, timeoutMs);
    for (int i = 0; i < count; ++i) {
        if (events[i].data.u64 == kWakeKey) {
            std::uint64_t drained = 0;
            [[maybe_unused]] const ssize_t got = ::read(m_wake.Get(), &drained, sizeof drained);
            continue;
        }
        OnSocketReady(static_cast<std::size_t>(events[i].data.u64), (events[i].events & (EPOLLERR | EPOLLHUP)) != 0);
    }
    TakeCancel();
    TakeLookups();
    RunDeadlines();
}

void ParallelProbe::TakeCancel() {
    const std::uint64_t cancelUpTo = m_cancelUpTo.load();
    if (cancelUpTo <= m_cancelledUpTo) {
        return;
    }
    m_cancelledUpTo = cancelUpTo;
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i] && m_slots[i]->sequence <= cancelUpTo) {
            m_slots[i]->machine.Cancel();
            Settle(i);
        }
    }
}

void ParallelProbe::TakeLookups() {
    for (ProbeLookupPool::Answer& answer : m_lookups->TakeAnswers()) {
        // A job that ended while its lookup ran no longer wants the answer.
        if (answer.slot >= m_slots.size() || !m_slots[answer.slot] || m_slots[answer.slot]->serial != answer.serial) {
            continue;
        }
        Slot& slot = *m_slots[answer.slot];
        slot.asked = false;
        const std::uint64_t now = ProbeClockMs();
        slot.machine.OnLookup(std::move(answer.addresses), now);
        slot.machine.Connect(now);
        Settle(answer.slot);
    }
}

void ParallelProbe::OnSocketReady(std::size_t index, bool troubled) {
    // Events for a job ended earlier in the same batch are stale.
    if (index >= m_slots.size() || !m_slots[index]) {
        return;
    }
    m_slots[index]->machine.OnReady(ProbeClockMs(), troubled);
    Settle(index);
}

void ParallelProbe::RunDeadlines() {
    const std::uint64_t now = ProbeClockMs();
    while (!m_deadlines.Empty() && m_deadlines.TopDeadline() <= now) {
        const std::size_t index = m_deadlines.TopSlot();
        m_slots[index]->machine.OnTime(now);
        Settle(index);
    }
}

void ParallelProbe::Settle(std::size_t index) {
    Slot& slot = *m_slots[index];
    ProbeJobMachine& machine = slot.machine;
    while (!machine.Done() && machine.Fd() >= 0 &&
           (machine.Connection() != slot.watched || machine.WaitsToWrite() != slot.watchedWrite)) {
        epoll_event event{};
        event.events = machine.WaitsToWrite() ? EPOLLOUT : EPOLLIN;
        event.data.u64 = index;
        // A new connection's socket is new to epoll (the one before it was closed, which took it out).
        const int operation = machine.Connection() != slot.watched ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
        slot.watched = machine.Connection();
        slot.watchedWrite = machine.WaitsToWrite();
        if (::epoll_ctl(m_epoll.Get(), operation, machine.Fd(), &event) != 0) {
            machine.Fail(ProbeClockMs());
        }
    }
    if (!machine.Done()) {
        m_deadlines.Set(index, machine.Deadline());
        return;
    }
    m_deadlines.Remove(index);
    if (slot.asked) {
        m_lookups->Abandon(index, slot.serial);
    }
    m_ended.emplace_back(&slot.job, machine.Status());
    m_slots[index].reset();
    m_free.push_back(index);
}

} // namespace zandel
