#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
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

// Many checks at once: one I/O thread drives every job's machine, its sockets multiplexed with epoll and its
// deadlines kept in a heap, so that a wake-up costs what is due, not a look at every job. Name lookups go to a
// pool of lookup threads (ProbeLookupPool), so that a slow or stuck one stalls no other job. PE_START and the
// closing events (PE_TIMEOUT, PE_CANCELLED, PE_SOCKET_ERROR, then PE_END) are raised on the thread that submits
// and collects jobs, the connection's stages on the I/O thread.
class ParallelProbe final {
public:
    struct Done {
        ProbeJob* job = nullptr;
        ProbeResult result = PR_DONE;
    };

    explicit ParallelProbe(ProbeCallback callback, ProbeResolver resolver = &ResolveProbeHost,
                           int liveLookups = ProbeLookupPool::kLiveLimit);
    ~ParallelProbe(); // ends every job and the I/O thread; lookups still blocked in the resolver are abandoned
    ParallelProbe(const ParallelProbe&) = delete;
    ParallelProbe& operator=(const ParallelProbe&) = delete;

    // Starts the I/O thread. False when the system refuses a descriptor or a thread.
    bool Start();

    // Raises PE_START and hands the job over with its plan; the caller keeps the job and its buffer untouched
    // until Collect gives it back. The job has `timeoutMs` from now: then `timeoutMark` is set and the job ends as
    // cancelled, as the window's time-out timer ends one.
    void Submit(ProbeJob* job, std::shared_ptr<const ProbePlan> plan, std::uint32_t timeoutMs,
                std::atomic<bool>* timeoutMark);
    // Between these two, submissions wait for ReleaseWakes to wake the I/O thread, once for all of them.
    void HoldWakes() { m_holdWakes = true; }
    void ReleaseWakes();
    // Ends every job handed over so far and not yet ended as cancelled; jobs handed over later run.
    void CancelAll();
    // Waits for the next job to end and raises its closing events. Only while jobs are out.
    Done Collect();
    // Whether a job has ended and waits to be collected.
    bool HasEnded();
    int Outstanding() const { return m_outstanding; }

private:
    struct Slot;

    void IoLoop();
    void TakeSubmissions();
    void TakeLookups();
    void OnSocketReady(std::size_t index);
    void RunDeadlines();
    // After every call into a slot's machine: watch what it now waits for, or hand the ended job back.
    void Settle(std::size_t index);
    // Gives the jobs that ended in this turn of the I/O loop to the collecting thread.
    void HandOverEnded();
    void Wake();

    ProbeCallback m_callback;
    ProbeResolver m_resolver;
    int m_liveLookups;
    UniqueFd m_epoll;
    UniqueFd m_wake;
    std::thread m_io;
    std::shared_ptr<ProbeLookupPool> m_lookups;
    int m_outstanding = 0; // the submitting thread's count
    bool m_holdWakes = false;
    bool m_wakeHeld = false;

    // Handed from the submitting thread to the I/O thread.
    std::mutex m_inMutex;
    struct Submission {
        ProbeJob* job;
        std::shared_ptr<const ProbePlan> plan;
        std::uint32_t timeoutMs;
        std::atomic<bool>* mark;
        std::uint64_t sequence;
    };
    std::vector<Submission> m_submitted;
    std::uint64_t m_submittedCount = 0;
    std::uint64_t m_cancelUpTo = 0; // jobs with a sequence number up to this one are to be cancelled
    bool m_stop = false;

    // Ended jobs, from the I/O thread to the collecting thread.
    std::mutex m_outMutex;
    std::condition_variable m_outReady;
    std::deque<std::pair<ProbeJob*, int>> m_ended;

    // The I/O thread's own.
    std::vector<Submission> m_taking;
    std::vector<std::pair<ProbeJob*, int>> m_endedHere;
    std::vector<std::unique_ptr<Slot>> m_slots;
    std::vector<std::size_t> m_free;
    DeadlineHeap m_deadlines;
    std::uint64_t m_cancelledUpTo = 0;
    unsigned m_serial = 0;
};

} // namespace zandel
