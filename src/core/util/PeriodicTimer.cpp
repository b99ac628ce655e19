#include "core/util/PeriodicTimer.h"

#include <chrono>
#include <system_error>

namespace zandel {

PeriodicTimer::PeriodicTimer(std::function<void()> onFire) : m_onFire(std::move(onFire)) {
    try {
        m_thread = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
        // Told by HasThread: whoever needs the timer to fire does not go on without it.
    }
}

PeriodicTimer::~PeriodicTimer() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_active = false;
        ++m_generation;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void PeriodicTimer::Start(int periodMs) {
    {
        std::lock_guard lock(m_mutex);
        m_periodMs = periodMs < 1 ? 1 : periodMs;
        m_active = true;
        ++m_generation;
    }
    m_wake.notify_all();
}

void PeriodicTimer::Stop() {
    std::unique_lock lock(m_mutex);
    m_active = false;
    ++m_generation;
    m_wake.notify_all();
    // A firing already under way finishes before Stop returns, unless Stop is called from the callback.
    if (std::this_thread::get_id() != m_thread.get_id()) {
        m_fired.wait(lock, [this] { return !m_firing; });
    }
}

void PeriodicTimer::Loop() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (!m_active) {
            m_wake.wait(lock, [this] { return m_quit || m_active; });
            continue;
        }
        const unsigned generation = m_generation;
        const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_periodMs);
        while (!m_quit && m_generation == generation && std::chrono::steady_clock::now() < due) {
            m_wake.wait_until(lock, due);
        }
        if (m_quit || m_generation != generation) {
            continue;
        }
        // Still the same timer, and its period is over: fire, then wait for the next period.
        m_firing = true;
        lock.unlock();
        m_onFire();
        lock.lock();
        m_firing = false;
        m_fired.notify_all();
    }
}

} // namespace zandel
