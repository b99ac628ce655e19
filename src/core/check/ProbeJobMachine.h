#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/check/ProbeAddress.h"
#include "core/check/ProbePlan.h"
#include "core/check/ProbeStep.h"
#include "core/util/UniqueFd.h"

namespace zandel {

// The machine's clock: milliseconds of a monotonic clock.
std::uint64_t ProbeClockMs();

// The life of one job, whichever probe drives it: lookup, connect, the steps of each leg of the job's plan in
// order, done. The machine alone changes the job's state (SetState), raises its stages (Raise), owns its
// deadlines and its cancel, and opens its connections (OpenProbeConnection, trying the host's addresses in the
// resolver's order). It never blocks and never waits: a driver does the lookup it asks for, watches the socket it
// names for what it waits for, and calls back with the time. One thread at a time drives a machine.
class ProbeJobMachine final : private IStepContext {
public:
    enum class State {
        Idle,       // made, not begun
        Lookup,     // waits for the driver's lookup of LookupName()
        Resolved,   // the addresses are known; the driver says when to connect
        Connecting, // a connect is under way: the socket waits to be writable
        Stepping,   // a step of the current leg works on the connection
        Done,
    };
    static constexpr std::uint64_t kNever = UINT64_MAX;

    // `job` and `stages` must outlive the machine.
    ProbeJobMachine(ProbeJob& job, std::shared_ptr<const ProbePlan> plan, ProbeCallback stages);
    ~ProbeJobMachine() override;
    ProbeJobMachine(const ProbeJobMachine&) = delete;
    ProbeJobMachine& operator=(const ProbeJobMachine&) = delete;

    // Empties the job's answer and findings and begins its first leg. An address written out is Resolved at
    // once; a name waits in Lookup; a host that is neither ends the job as a socket error. At `jobDeadline`
    // (milliseconds, the clock of `now`) the job ends as the window's timer ends one: `timeoutMark` set, then
    // cancelled.
    void Begin(std::uint64_t now, std::uint64_t jobDeadline = kNever, std::atomic<bool>* timeoutMark = nullptr);
    const std::string& LookupName() const { return m_name; }
    // The lookup's answer: none when it failed.
    void OnLookup(ProbeAddresses addresses, std::uint64_t now);
    void Connect(std::uint64_t now);
    // The socket is ready for what Waits() says, or `troubled`: the wait reported an error or a hang-up.
    void OnReady(std::uint64_t now, bool troubled);
    // Deadline() has come.
    void OnTime(std::uint64_t now);
    // The one way a job is cut short: a stop, a skip, its time-out, a probe that ends.
    void Cancel();
    // The driver lost the socket (it could not be watched, or the wait itself failed).
    void Fail(std::uint64_t now);

    State Current() const { return m_state; }
    bool Done() const { return m_state == State::Done; }
    // Once done: how the job ended (JobStatus: Ok, TimedOut, Cancelled, SocketError).
    JobStatus Status() const { return m_status; }
    // The socket to watch (-1 for none) and for what; Connection() changes whenever another socket is opened.
    int Fd() const { return m_socket.Get(); }
    bool WaitsToWrite() const { return m_state == State::Connecting || m_waits == StepWait::Write; }
    unsigned Connection() const { return m_connection; }
    // The next moment OnTime is due: the job's deadline or the end of the current wait.
    std::uint64_t Deadline() const;

    // Every stage event of a job goes through here, on whichever thread raises it, with the record it carries.
    static void Raise(ProbeCallback stages, ProbeEvent event, ProbeJob& record);
    // The event that closes a job with `result`, if any.
    static void RaiseClosing(ProbeCallback stages, ProbeResult result, ProbeJob& record);

private:
    ProbeJob& Job() override { return m_job; }
    void Raise(ProbeEvent event) override;

    void SetState(State state, std::uint64_t now);
    void BeginLeg(std::size_t leg, std::uint64_t now);
    void BeginSiteLeg(const ProbeLeg& leg, std::uint64_t now);
    bool InSiteLeg() const { return m_plan->legs[m_leg].site >= 0; }
    void TryConnect(std::uint64_t now);
    void Continue(StepWait wait, std::uint64_t now);
    void StopStep(StepStop why, std::uint64_t now);
    void EndLeg(bool cancelled, std::uint64_t now);
    bool Applies(const ProbeLeg& leg) const;
    void KeepFirstTry();
    void CloseSocket();

    ProbeJob& m_job;
    std::shared_ptr<const ProbePlan> m_plan;
    ProbeCallback m_stages;
    State m_state = State::Idle;
    std::string m_name;
    ProbeAddresses m_addresses;
    std::size_t m_address = 0;
    UniqueFd m_socket;
    unsigned m_connection = 0;
    std::size_t m_leg = 0;
    std::vector<std::unique_ptr<IProbeStep>> m_steps;
    std::size_t m_step = 0;
    StepWait m_waits = StepWait::Write;
    JobStatus m_status = JobStatus::Ok;
    std::uint64_t m_jobDeadline = kNever;
    std::uint64_t m_waitDeadline = kNever;
    std::uint64_t m_began = 0;
    std::uint64_t m_legDeadline = kNever; // a site leg's share of the job's time
    TunnelReport m_keptTunnel;            // the HTTPS step's report, while a site leg borrows its place
    std::atomic<bool>* m_timeoutMark = nullptr;
    // How the first leg ended, while type detection tries other kinds.
    struct FirstTry {
        JobStatus status = JobStatus::Ok;
        ProxyKind kind = ProxyKind::Http;
        SocksReport socks;
        AnswerBuffer answer;
    };
    std::optional<FirstTry> m_first;
};

} // namespace zandel
