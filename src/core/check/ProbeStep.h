#pragma once

#include <string>
#include <string_view>

#include "core/check/ProbeJob.h"

namespace zandel {

// What a step waits for on its socket, or that it is over.
enum class StepWait { Write, Read, Over };

// Why a step is ended from outside.
enum class StepStop {
    Cancelled,   // a stop, a skip or the job's time-out
    WaitExpired, // no network event for the whole wait
    Failed,      // the connection could not be made (before Start) or the driver lost the socket
};

// The end a step's report tells when the step is ended from outside: a cancel is `stopped`, an expired wait
// `timedOut`, a failure what the step makes of it (`failed`).
template <typename End> constexpr End StoppedEnd(StepStop why, End stopped, End timedOut, End failed) {
    switch (why) {
    case StepStop::Cancelled:
        return stopped;
    case StepStop::WaitExpired:
        return timedOut;
    case StepStop::Failed:
        break;
    }
    return failed;
}

// What a step is given by the job machine: the job it works for, and the one way to raise the job's stages.
class IStepContext {
public:
    virtual ~IStepContext() = default;
    virtual ProbeJob& Job() = 0;
    virtual void Raise(ProbeEvent event) = 0;
};

// One protocol step on a connection that is through to where the step begins (the proxy itself, or a tunnel
// the steps before it opened). The job machine makes a leg's steps when the leg begins, starts the first once
// the connection is up and each next one once the one before is over and through; it feeds each with its
// socket's readiness. A step keeps what it finds in the job (the answer, the tunnel report) and never closes
// the socket.
class IProbeStep {
public:
    virtual ~IProbeStep() = default;
    // `early`: bytes the step before read past its own end, already this step's.
    virtual StepWait Start(int fd, std::string_view early) = 0;
    // The socket is ready for what the step last asked.
    virtual StepWait OnReady() = 0;
    // Ends the step, also one not yet started; nothing once it is over.
    virtual void Stop(StepStop why) = 0;
    // Once over: the job's status as this step ends it (JobStatus::Ok, JobStatus::TimedOut, ...), whether the
    // connection is through for the next step, and what it read past its own end.
    virtual JobStatus Status() const = 0;
    virtual bool Through() const = 0;
    virtual std::string TakeEarly() { return {}; }
    // Once over: the peer answered, but not in this step's protocol (another kind of proxy may be listening).
    virtual bool Misfit() const { return false; }
};

} // namespace zandel
