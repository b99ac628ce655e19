#include "core/check/TimeoutTimer.h"

#include <utility>

namespace zandel {

ThreadTimeoutTimer::ThreadTimeoutTimer()
    : m_timer([this] {
          std::function<void()> fire;
          {
              std::lock_guard lock(m_mutex);
              fire = m_onFire;
          }
          if (fire) {
              fire();
          }
      }) {}

void ThreadTimeoutTimer::Start(int periodMs, std::function<void()> onFire) {
    {
        std::lock_guard lock(m_mutex);
        m_onFire = std::move(onFire);
        m_periodMs = periodMs;
    }
    m_timer.Start(periodMs);
}

void ThreadTimeoutTimer::Stop() {
    m_timer.Stop();
}

int ThreadTimeoutTimer::PeriodMs() const {
    std::lock_guard lock(m_mutex);
    return m_periodMs;
}

} // namespace zandel
