#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "core/check/DeadlineHeap.h"
#include "core/check/ProbeAddress.h"
#include "core/check/ProbeJob.h"
#include "core/check/ProbeLookupPool.h"
#include "core/util/UniqueFd.h"

namespace zandel {

struct ProbePlan;
class ProbeJobMachine;

// Raises the soft limit of open files to the hard one, so that many checks at once have sockets enough.
void RaiseOpenFileLimit();

// Many checks at once, driven on the thread that hands the jobs over and collects them: every job's machine is
// multiplexed with epoll and the jobs' deadlines kept in a heap, so that a wake-up costs what is due, not a look at
// every job. Driving on the collecting thread rather than a thread of its own spares a hand-over (a wake-up of one
// thread by another) for every job that ends. Name lookups go to a pool of lookup threads (ProbeLookupPool), so
// that a slow or stuck one stalls no other job. Every call but CancelAll comes from that one thread, which raises
// every stage event: PE_START in Submit, the connection's stages while it drives (in Submit, Poll and Collect), the
// closing events (PE_TIMEOUT, PE_CANCELLED, PE_SOCKET_ERROR, then PE_END) in Collect.
class ParallelProbe final {
public:
    struct Done {
        ProbeJob* job = nullptr;
        ProbeResult result = ProbeResult::PR_DONE;
    };

    explicit ParallelProbe(ProbeCallback callback, ProbeResolver resolver = &ResolveProbeHost,
                           int liveLookups = ProbeLookupPool::kLiveLimit);
    ~ParallelProbe(); // ends every job not yet collected, unheard; lookups still blocked in the resolver are abandoned
    ParallelProbe(const ParallelProbe&) = delete;
    ParallelProbe& operator=(const ParallelProbe&) = delete;

    // False when the system refuses a descriptor or a thread.
    bool Start();

    // Raises PE_START and begins the job with its plan at once; the caller keeps the job and its buffer untouched
    // until Collect gives it back. The job has `timeoutMs` from now: then `timeoutMark` is set and the job ends as
    // cancelled, as the window's time-out timer ends one.
    void Submit(ProbeJob* job, std::shared_ptr<const ProbePlan> plan, std::uint32_t timeoutMs,
                std::atomic<bool>* timeoutMark);
    // Carries on what is ready without waiting, so that jobs handed over early need not wait for a long batch.
    void Poll() { Turn(false); }
    // From any thread: ends every job handed over so far and not yet ended as cancelled; jobs handed over later
    // run. The jobs end in the next Poll or Collect.
    void CancelAll();
    // Drives the jobs until one has ended, then raises its closing events. Only while jobs are out.
    Done Collect();
    int Outstanding() const { return m_outstanding; }

private:
    struct Slot;

    // One turn: the sockets that are ready, then a stop, the lookups' answers and the deadlines that have come.
    void Turn(bool wait);
    void TakeCancel();
    void TakeLookups();
    void OnSocketReady(std::size_t index, bool troubled);
    void RunDeadlines();
    // After every call into a slot's machine: watch what it now waits for, or set the ended job aside for Collect.
    void Settle(std::size_t index);
    void Wake();

    ProbeCallback m_callback;
    ProbeResolver m_resolver;
    int m_liveLookups;
    UniqueFd m_epoll;
    UniqueFd m_wake; // a stop or a lookup's answer
    std::shared_ptr<ProbeLookupPool> m_lookups;
    int m_outstanding = 0;

    std::atomic<std::uint64_t> m_submittedCount{0};
    std::atomic<std::uint64_t> m_cancelUpTo{0}; // jobs with a sequence number up to this one are to be cancelled
    std::uint64_t m_cancelledUpTo = 0;

    std::vector<std::unique_ptr<Slot>> m_slots;
    std::vector<std::size_t> m_free;
    DeadlineHeap m_deadlines;
    std::deque<std::pair<ProbeJob*, JobStatus>> m_ended; // ended jobs not yet collected, with their status
    unsigned m_serial = 0;
};

} // namespace zandel
