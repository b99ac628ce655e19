#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace zandel {

struct ProbeJob;

// "host:port" with an optional comment after a blank or tab into the job's host and port. An IPv6 host keeps
// its brackets ("[2001:db8::1]:8080") and needs a port from 1 to 65535. A port text longer than the field's
// nine characters is refused rather than cut.
bool ParseAddress(const std::string& address, ProbeJob& job);

// Seconds, a point and three digits of milliseconds; the tick difference is taken modulo 2^32.
std::string FormatElapsed(std::uint32_t startTicks, std::uint32_t endTicks);

// "yyyy/MM/dd(HH:mm:ss)" in local time.
std::string FormatCheckTime(std::time_t when);

// The millisecond tick count of a monotonic clock.
std::uint32_t TickCount();

// When the job's GET was over, for its response time: where the HTTPS step began, else now.
std::uint32_t ExchangeEndTicks(const ProbeJob& job);

} // namespace zandel
