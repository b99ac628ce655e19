#include "core/check/CheckFormat.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "core/check/ProxyProbe.h"
#include "core/util/HostPort.h"
#include "core/util/Text.h"
#include "core/util/ProxyAddress.h"

namespace zandel {

bool ParseAddress(const std::string& address, ProbeJob& job, ProxyAddress* entry) {
    std::memset(job.szHost, 0, sizeof job.szHost);
    std::memset(job.szPort, 0, sizeof job.szPort);
    std::optional<ProxyAddress> parsed = ParseProxyAddress(address);
    // A port cut to fit its field would silently name another port: refuse it instead.
    if (!parsed || parsed->host.size() >= sizeof job.szHost || parsed->port.size() >= sizeof job.szPort) {
        return false;
    }
    std::memcpy(job.szHost, parsed->host.data(), parsed->host.size());
    std::memcpy(job.szPort, parsed->port.data(), parsed->port.size());
    if (entry != nullptr) {
        *entry = std::move(*parsed);
    }
    return true;
}

std::string FormatElapsed(std::uint32_t startTicks, std::uint32_t endTicks) {
    const std::uint32_t elapsed = endTicks - startTicks;
    std::string text;
    AppendDecimal(text, elapsed / 1000U);
    text.push_back('.');
    AppendDecimal(text, elapsed % 1000U, 3);
    return text;
}

std::string FormatCheckTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char date[16];
    char time[16];
    std::strftime(date, sizeof date, "%Y/%m/%d", &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    return std::string(date) + "(" + time + ")";
}

std::uint32_t TickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::uint32_t ExchangeEndTicks(const ProbeJob& job) {
    return job.tunnel.end == TunnelReport::End::NotRun ? TickCount() : job.tunnel.startTicks;
}

} // namespace zandel
