#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/check/ProxyProbe.h"
#include "core/util/UniqueFd.h"

namespace zandel {

// Raises the soft limit of open files to the hard one, so that many checks at once have sockets enough.
void RaiseOpenFileLimit();

// Many checks at once. One I/O thread multiplexes every running socket with epoll and drives each through the
// same stage rules as the one-job probe (ProbeExchange); name lookups go to a small pool of lookup threads, so
// a slow one stalls no other job, while dotted IPv4 addresses never reach the resolver. Every job has its own
// time-out from its start; when it runs out the job's time-out mark is set and the job ends as cancelled, as
// the window's time-out timer ends a job. With a tunnel plan, a completed exchange goes on to the HTTPS step
// on a second connection under the same time-out. PE_START and the closing events (PE_TIMEOUT, PE_CANCELLED,
// PE_SOCKET_ERROR, then PE_END) are raised on the thread that submits and collects jobs, the connection's
// stages on the I/O thread.
struct ProbeLookupPool;
struct TunnelPlan;

class ParallelProbe final {
public:
    struct Done {
        ProbeJob* job = nullptr;
        ProbeResult result = PR_DONE;
    };

    explicit ParallelProbe(ProbeCallback callback);
    ~ParallelProbe(); // ends every job and the I/O thread; lookups still blocked in the resolver are abandoned
    ParallelProbe(const ParallelProbe&) = delete;
    ParallelProbe& operator=(const ParallelProbe&) = delete;

    // Starts the I/O thread. False when the system refuses a descriptor or a thread.
    bool Start();
    // Taken for the jobs submitted afterwards.
    void SetRequest(const std::string& requestLine, const std::string& headers, std::uint32_t waitTimeoutMs);
    // Null (the default) leaves the HTTPS step out.
    void SetTunnel(std::shared_ptr<const TunnelPlan> plan);

    // Raises PE_START and hands the job over; the caller keeps the job and its buffer untouched until Collect
    // gives it back. `timeoutMark` (the job's own) is set when its `timeoutMs` run out.
    void Submit(ProbeJob* job, std::uint32_t timeoutMs, std::atomic<bool>* timeoutMark);
    // Ends every job handed over so far and not yet ended as cancelled; jobs handed over later run.
    void CancelAll();
    // Waits for the next job to end and raises its closing events. Only while jobs are out.
    Done Collect();
    int Outstanding() const { return m_outstanding; }

private:
    struct Connection;

    void IoLoop();
    void TakeSubmissions();
    void TakeLookups();
    void StartConnect(std::size_t index);
    void StartTunnel(std::size_t index, int status);
    void OnSocketReady(std::size_t index);
    void Rearm(std::size_t index, bool wantWrite);
    void CheckDeadlines();
    void End(std::size_t index, int status);
    void Wake();
    std::uint64_t NowMs() const;

    ProbeCallback m_callback;
    UniqueFd m_epoll;
    UniqueFd m_wake;
    std::thread m_io;
    std::shared_ptr<ProbeLookupPool> m_lookups;
    int m_outstanding = 0; // the submitting thread's count

    // Handed from the submitting thread to the I/O thread.
    std::mutex m_inMutex;
    struct Submission {
        ProbeJob* job;
        std::uint32_t timeoutMs;
        std::atomic<bool>* mark;
        std::uint64_t sequence;
    };
    std::vector<Submission> m_submitted;
    std::uint64_t m_submittedCount = 0;
    std::uint64_t m_cancelUpTo = 0; // jobs with a sequence number up to this one are to be cancelled
    bool m_stop = false;
    std::string m_request;
    std::shared_ptr<const TunnelPlan> m_tunnel;
    int m_waitMs = 40000;

    // Ended jobs, from the I/O thread to the collecting thread.
    std::mutex m_outMutex;
    std::condition_variable m_outReady;
    std::deque<std::pair<ProbeJob*, int>> m_ended;

    // The I/O thread's own.
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::vector<std::size_t> m_free;
    unsigned m_serial = 0;
};

} // namespace zandel
