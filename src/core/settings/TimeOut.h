#pragma once

#include <cstdint>

namespace zandel {

// The check's time-out in seconds. The settings page offers 5 to 60; a run takes any value from 1 to 600,
// which a hand-edited PrxSet.ini or the console's --timeout may hold, and falls back to the default for
// anything else: a time-out of 0 would fail every check at once, a huge one would never end a silent proxy.
inline constexpr int kTimeOutDefault = 30;
inline constexpr int kTimeOutRunMin = 1;
inline constexpr int kTimeOutRunMax = 600;

constexpr int EffectiveTimeOut(int configured) {
    return configured >= kTimeOutRunMin && configured <= kTimeOutRunMax ? configured : kTimeOutDefault;
}

// The probe's own wait for a silent proxy: a backstop 10 seconds beyond the time-out timer.
constexpr std::uint32_t ProbeWaitMs(int timeOutSeconds) {
    return static_cast<std::uint32_t>(timeOutSeconds) * 1000U + 10000U;
}

} // namespace zandel
