#pragma once

#include <functional>
#include <mutex>

#include "core/util/PeriodicTimer.h"

namespace zandel {

// The periodic time-out timer of one job (timer 10), started and stopped by the run thread. Every firing calls
// the handler given to Start on the thread the timer belongs to (the window's: the user-interface thread) until
// Stop; a firing already on its way when Stop is called may still come, and names a job that is over.
class ITimeoutTimer {
public:
    virtual ~ITimeoutTimer() = default;
    virtual void Start(int periodMs, std::function<void()> onFire) = 0;
    virtual void Stop() = 0;
    // Whether the timer can fire at all: a run does not start without its time-outs.
    virtual bool CanFire() const { return true; }
};

// The timer on a thread of its own, where there is no event loop (the console tool, the tests).
class ThreadTimeoutTimer final : public ITimeoutTimer {
public:
    ThreadTimeoutTimer();
    void Start(int periodMs, std::function<void()> onFire) override;
    void Stop() override;
    bool CanFire() const override { return m_timer.HasThread(); }
    // The period of the last Start.
    int PeriodMs() const;

private:
    mutable std::mutex m_mutex;
    std::function<void()> m_onFire;
    int m_periodMs = 0;
    PeriodicTimer m_timer; // last: stopped before the handler goes
};

} // namespace zandel
