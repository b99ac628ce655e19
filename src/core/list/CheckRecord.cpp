#include "core/list/CheckRecord.h"

#include <algorithm>
#include <cstdio>

#include "core/list/ProxyRow.h"
#include "core/util/DateFields.h"
#include "core/util/HostPort.h"
#include "core/util/ProxyAddress.h"
#include "core/util/Text.h"

namespace zandel {

std::string AddressWithoutPassword(std::string_view address) {
    const std::size_t fieldEnd = std::min(address.find_first_of(" \t"), address.size());
    const std::string_view field = address.substr(0, fieldEnd);
    // The sellers' form puts the password last, after the user: "host:port:user:password".
    if (const std::optional<ProxyAddress> entry = ParseProxyAddress(field);
        entry && entry->form == ProxyAddress::Form::LoginAfter) {
        return entry->host + ":" + entry->port + ":" + entry->user + std::string(address.substr(fieldEnd));
    }
    const std::size_t scheme = field.find("://");
    const std::size_t userStart = scheme == std::string_view::npos ? 0 : scheme + 3;
    // The last "@" ends the user part: a password may hold "@" itself, a host never does.
    const std::size_t at = field.rfind('@');
    if (at == std::string_view::npos || at < userStart) {
        return std::string(address);
    }
    const std::size_t colon = field.find(':', userStart);
    if (colon == std::string_view::npos || colon > at) {
        return std::string(address);
    }
    std::string out(address.substr(0, colon));
    out += address.substr(at);
    return out;
}

std::string KeptAddress(const ProxyAddress& entry) {
    return entry.login ? AddressWithoutPassword(entry.written) : ShownAddress(entry);
}

std::string HistoryGroupOf(std::string_view kept) {
    if (kept.find("://") != std::string_view::npos) {
        const std::optional<ProxyAddress> parsed = ParseProxyAddress(kept);
        return parsed ? ShownAddress(*parsed) : std::string(kept);
    }
    if (kept.find('@') != std::string_view::npos) {
        return std::string(kept);
    }
    // "host:port:user", a port number before the user.
    const std::optional<HostPortText> parts = SplitHostPort(kept);
    const std::size_t colon = parts ? parts->port.find(':') : std::string_view::npos;
    if (colon == std::string_view::npos || colon + 1 == parts->port.size() ||
        parts->port.find(':', colon + 1) != std::string_view::npos || !ParsePortNumber(parts->port.substr(0, colon))) {
        return std::string(kept);
    }
    return std::string(parts->port.substr(colon + 1)) + "@" + std::string(parts->host) + ":" +
           std::string(parts->port.substr(0, colon));
}

std::vector<std::string> HistoryFormsOf(std::string_view kept) {
    std::vector<std::string> forms{std::string(kept)};
    std::string group = HistoryGroupOf(kept);
    const std::size_t at = group.rfind('@');
    if (group.find("://") == std::string::npos && at != std::string::npos) {
        const std::string_view hostPort = std::string_view(group).substr(at + 1);
        const std::optional<HostPortText> parts = SplitHostPort(hostPort);
        if (parts && ParsePortNumber(parts->port)) {
            forms.push_back(std::string(hostPort) + ":" + group.substr(0, at));
        }
    }
    forms.push_back(std::move(group));
    forms.erase(std::remove(forms.begin() + 1, forms.end(), forms.front()), forms.end());
    return forms;
}

std::optional<std::string> CheckTimeCellToIso(std::string_view cell) {
    // "yyyy/MM/dd(HH:mm:ss)": the parentheses stand where ReadCalendar wants one separator.
    if (cell.size() != 20 || cell.back() != ')') {
        return std::nullopt;
    }
    std::tm calendar{};
    if (!ReadCalendar(cell.substr(0, 19), "//(::", calendar)) {
        return std::nullopt;
    }
    calendar.tm_isdst = -1; // the cell holds the local time of the check, whatever the season
    const std::time_t when = std::mktime(&calendar);
    if (when == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return IsoUtc(when);
}

std::optional<int> ResponseTimeCellToMs(std::string_view cell) {
    const std::size_t point = cell.find('.');
    if (point == std::string_view::npos || point == 0 || point > 7 || cell.size() != point + 4) {
        return std::nullopt;
    }
    int seconds = 0;
    int millis = 0;
    if (!ReadDigits(cell, 0, point, seconds) || !ReadDigits(cell, point + 1, 3, millis)) {
        return std::nullopt;
    }
    return seconds * 1000 + millis;
}

std::string ReasonOfJudgement(std::string_view log) {
    // The judgement's verdicts are the lines that begin with a result mark, its own or the HTTPS step's, and the
    // strict grade's reason; the other lines quote the answer, which is the transcript's business, not the
    // history's.
    static constexpr std::string_view kMarks[] = {"理由：", "結果：", "HTTPS結果："};
    std::string reason;
    while (!log.empty()) {
        const std::size_t end = std::min(log.find('\n'), log.size());
        std::string_view line = log.substr(0, end);
        log.remove_prefix(std::min(end + 1, log.size()));
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        for (const std::string_view mark : kMarks) {
            if (line.substr(0, mark.size()) == mark) {
                if (!reason.empty()) {
                    reason += ' ';
                }
                reason += line;
                break;
            }
        }
    }
    return reason;
}

std::string_view ReasonShown(std::string_view reason) {
    constexpr std::string_view kResultMark = "結果：";
    return reason.substr(0, kResultMark.size()) == kResultMark ? reason.substr(kResultMark.size()) : reason;
}

bool IsGoodResult(std::string_view result) {
    return !result.empty() && !IsNgResult(result) && result != kUncheckedResult;
}

} // namespace zandel
