#include "core/history/HistoryColumns.h"

#include <cmath>
#include <utility>

#include <sys/stat.h>

#include "core/check/CheckFormat.h"
#include "core/list/ProxyRow.h"
#include "core/util/ProxyAddress.h"

namespace zandel {

std::string HistoryAddressOf(std::string_view entry) {
    const std::string_view written = entry.substr(0, entry.find_first_of(" \t"));
    const std::optional<ProxyAddress> parsed = ParseProxyAddress(written);
    return parsed ? KeptAddress(*parsed) : std::string(written);
}

int UptimePercent(const HistorySummary& summary) {
    const int all = summary.checks + summary.served;
    return all > 0 ? static_cast<int>(std::floor(100.0 * (summary.good + summary.servedGood) / all)) : 0;
}

std::string UptimeText(const HistorySummary& summary) {
    return std::to_string(UptimePercent(summary)) + "%";
}

std::string MedianText(const HistorySummary& summary) {
    // As the response-time column beside it shows a time: seconds to the millisecond.
    return summary.medianMs ? FormatElapsed(0, static_cast<std::uint32_t>(*summary.medianMs)) : std::string();
}

HistoryColumns::HistoryColumns(std::vector<HistorySummary> summaries) {
    m_byAddress.reserve(summaries.size());
    for (HistorySummary& summary : summaries) {
        std::string group = HistoryGroupOf(summary.address);
        m_byAddress.emplace(std::move(group), std::move(summary));
    }
}

const HistorySummary* HistoryColumns::Find(std::string_view entry) const {
    const auto found = m_byAddress.find(HistoryGroupOf(HistoryAddressOf(entry)));
    return found == m_byAddress.end() ? nullptr : &found->second;
}

std::string HistoryColumns::Cell(int column, std::string_view entry) const {
    const HistorySummary* summary = Find(entry);
    if (summary == nullptr) {
        return {};
    }
    return column == kUptimeColumn ? UptimeText(*summary) : (column == kMedianColumn ? MedianText(*summary) : "");
}

std::optional<int> HistoryColumns::UptimePercent(std::string_view entry) const {
    const HistorySummary* summary = Find(entry);
    return summary == nullptr ? std::nullopt : std::optional<int>(zandel::UptimePercent(*summary));
}

std::optional<double> HistoryColumns::SortKey(int column, std::string_view entry) const {
    const HistorySummary* summary = Find(entry);
    if (summary == nullptr) {
        return std::nullopt;
    }
    if (column == kUptimeColumn) {
        return summary->uptime;
    }
    if (column == kMedianColumn && summary->medianMs) {
        return *summary->medianMs;
    }
    return std::nullopt;
}

namespace {

HistoryStamp::File FileStamp(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    return {true, static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino),
            static_cast<long long>(info.st_size),
            static_cast<long long>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

} // namespace

HistoryStamp HistoryStampOf(const std::string& path) {
    return {FileStamp(path), FileStamp(path + "-wal")};
}

} // namespace zandel
