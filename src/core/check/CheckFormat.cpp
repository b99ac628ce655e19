#include "core/check/CheckFormat.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string_view>

#include "core/check/ProxyProbe.h"
#include "core/util/HostPort.h"
#include "core/util/Text.h"
#include "core/util/ProxyAddress.h"

namespace zandel {

bool ParseAddress(const std::string& address, ProbeJob& job, ProxyAddress* entry) {
    job.target = ProbeTarget{};
    std::optional<ProxyAddress> parsed = ParseProxyAddress(address);
    // A port cut to fit would silently name another port: refuse it instead.
    if (!parsed || parsed->host.size() > kMaxTargetHost || parsed->port.size() > kMaxTargetPort) {
        return false;
    }
    // The texts end at a zero byte, as the job's fixed fields of old ended there (a list file's line does already).
    job.target.host.assign(parsed->host, 0, parsed->host.find('\0'));
    job.target.port.assign(parsed->port, 0, parsed->port.find('\0'));
    if (entry != nullptr) {
        *entry = std::move(*parsed);
    }
    return true;
}

namespace {

constexpr std::size_t kShownRefusedBytes = 64;

// Why the host and port part of a scheme's or login's entry (after its '@') is not taken.
const char* HostPortRefusal(std::string_view text) {
    const std::optional<HostPortText> parts = SplitHostPort(text);
    if (!parts || parts->host.empty()) {
        return "ホスト名が正しくありません（IPv6アドレスは[ ]で囲みます）";
    }
    return parts->port.empty() ? "ポート番号がありません" : "ポート番号が正しくありません（1～65535）";
}

const char* SchemeRefusal(std::string_view text, std::size_t mark) {
    if (!ProxyKindFromName(text.substr(0, mark))) {
        return "対応していない種類です（http、socks4、socks4a、socks5、socks5hのいずれか）";
    }
    std::string_view rest = text.substr(mark + 3);
    const std::size_t at = rest.rfind('@');
    if (at != std::string_view::npos) {
        for (std::size_t i = rest.find('%'); i < at; i = rest.find('%', i + 1)) {
            if (i + 2 >= at || !std::isxdigit(static_cast<unsigned char>(rest[i + 1])) ||
                !std::isxdigit(static_cast<unsigned char>(rest[i + 2]))) {
                return "ユーザ名かパスワードの%エスケープが正しくありません";
            }
        }
        rest.remove_prefix(at + 1);
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    return HostPortRefusal(rest);
}

} // namespace

std::string AddressRefusal(std::string_view address) {
    address = address.substr(0, FindAnyOf(address, " \t"));
    if (address.size() > kMaxEntryBytes) {
        return "項目が長すぎます（" + std::to_string(kMaxEntryBytes) + "バイトまで）";
    }
    ProbeJob job;
    if (ParseAddress(std::string(address), job)) {
        return {};
    }
    if (ParseProxyAddress(address)) {
        return "ホスト名かポートが長すぎます";
    }
    if (const std::size_t mark = address.find("://"); mark != std::string_view::npos) {
        return SchemeRefusal(address, mark);
    }
    if (const std::size_t at = address.rfind('@'); at != std::string_view::npos) {
        return address.substr(0, at).find(':') == std::string_view::npos ? "ユーザ名とパスワードの間に「:」がありません"
                                                                         : HostPortRefusal(address.substr(at + 1));
    }
    return HostPortRefusal(address);
}

std::string RefusedEntryShown(std::string_view address) {
    address = address.substr(0, FindAnyOf(address, " \t"));
    std::string shown;
    std::size_t end = FindAnyOf(address, ":@");
    // Within a scheme a login ends at the last '@' and the host follows it; without one, a colon may start a
    // seller's login as well as the port, and an '@' may stand inside their password, so only the first part shows.
    if (const std::size_t mark = address.find("://"); mark != std::string_view::npos) {
        shown = std::string(address.substr(0, mark + 3));
        address.remove_prefix(mark + 3);
        if (const std::size_t at = address.rfind('@'); at != std::string_view::npos) {
            shown += std::string(address.substr(0, std::min(address.find(':'), at))) + "@";
            address.remove_prefix(at + 1);
        }
        end = address.size();
    }
    shown += address.substr(0, end);
    const bool cut = shown.size() > kShownRefusedBytes || end < address.size();
    return cut ? CutAtCharBoundary(shown, kShownRefusedBytes) + "…" : shown;
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
    if (job.tunnel.end != TunnelReport::End::NotRun) {
        return job.tunnel.startTicks;
    }
    return job.sitesBegun > 0 ? job.sitesStartTicks : TickCount();
}

} // namespace zandel
