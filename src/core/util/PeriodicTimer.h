#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace zandel {

// A periodic timer on a thread of its own, standing in for a window timer where there is no event loop
// (the console tool, the tests). The callback runs on the timer's thread; once Stop returns it runs no more.
// When the system refuses the thread (a process or thread limit), the timer never fires and says so.
class PeriodicTimer final {
public:
    explicit PeriodicTimer(std::function<void()> onFire);
    ~PeriodicTimer();
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    // (Re)starts the timer: the first firing comes one period from now.
    void Start(int periodMs);
    void Stop();
    // Whether the timer has its thread, and so can fire.
    bool HasThread() const { return m_thread.joinable(); }

private:
    void Loop();

    std::function<void()> m_onFire;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_periodMs = 0;
    unsigned m_generation = 0; // bumped by every Start and Stop
    bool m_active = false;
    bool m_firing = false;
    bool m_quit = false;
    std::condition_variable m_fired;
    std::thread m_thread;
};

} // namespace zandel
