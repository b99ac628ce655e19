#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace zandel {

struct ProbeJob;
struct ProxyAddress;

// A list entry (any form ParseProxyAddress reads; a comment after a blank or tab) into the job's host and port,
// and, when asked, the whole entry. A host or port text longer than its field is refused rather than cut.
bool ParseAddress(const std::string& address, ProbeJob& job, ProxyAddress* entry = nullptr);
// Why ParseAddress refuses a list entry, in words for the row's tip and the transcript; empty for one it takes.
std::string AddressRefusal(std::string_view address);
// A refused entry as the transcript may show it: its scheme, user and host where they can be told, never a
// password, at most 64 bytes.
std::string RefusedEntryShown(std::string_view address);

// Seconds, a point and three digits of milliseconds; the tick difference is taken modulo 2^32.
std::string FormatElapsed(std::uint32_t startTicks, std::uint32_t endTicks);

// "yyyy/MM/dd(HH:mm:ss)" in local time.
std::string FormatCheckTime(std::time_t when);

// The millisecond tick count of a monotonic clock.
std::uint32_t TickCount();

// When the job's GET was over, for its response time: where the HTTPS step or the first site began, else now.
std::uint32_t ExchangeEndTicks(const ProbeJob& job);

} // namespace zandel
