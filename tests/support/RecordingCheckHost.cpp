#include "support/RecordingCheckHost.h"
#include <algorithm>

#include "support/ThreadState.h"

namespace zandel::test {

namespace {

int Occurrences(const std::string& haystack, const std::string& needle) {
    int count = 0;
    for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

} // namespace

RecordingCheckHost::RecordingCheckHost() = default;

void RecordingCheckHost::SetProxyBarAddress(std::string address) {
    std::lock_guard lock(m_mutex);
    m_proxyBarAddress = std::move(address);
}

void RecordingCheckHost::SetTitleText(std::string title) {
    std::lock_guard lock(m_mutex);
    m_title = std::move(title);
}

void RecordingCheckHost::AppendLog(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_log += text;
    if (text.rfind("SEND>", 0) == 0) {
        m_senders.push_back(CurrentThreadId());
    }
    m_changed.notify_all();
}

std::string RecordingCheckHost::GetTitle() {
    std::lock_guard lock(m_mutex);
    return m_title;
}

void RecordingCheckHost::SetTitle(const std::string& title) {
    std::lock_guard lock(m_mutex);
    m_title = title;
    m_titles.push_back(title);
}

void RecordingCheckHost::SetStartStop(bool running) {
    std::lock_guard lock(m_mutex);
    m_captions.push_back(running);
}

void RecordingCheckHost::SetLabelEditing(bool enabled) {
    std::lock_guard lock(m_mutex);
    m_labelEditing = enabled;
}

void RecordingCheckHost::StartCheckIndicator() {
    std::lock_guard lock(m_mutex);
    m_indicator = true;
}

void RecordingCheckHost::StopCheckIndicator() {
    std::lock_guard lock(m_mutex);
    m_indicator = false;
}

std::string RecordingCheckHost::GetProxyBarAddress() {
    std::unique_lock lock(m_mutex);
    m_addressAsked = true;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return !m_holdAddress; });
    return m_proxyBarAddress;
}

void RecordingCheckHost::HoldProxyBarAddress(bool hold) {
    std::lock_guard lock(m_mutex);
    m_holdAddress = hold;
    m_addressAsked = false;
    m_changed.notify_all();
}

bool RecordingCheckHost::WaitForAddressAsked(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_addressAsked; });
}

void RecordingCheckHost::SetRunningCount(int count) {
    std::lock_guard lock(m_mutex);
    m_runningCounts.push_back(count);
    m_changed.notify_all();
}

void RecordingCheckHost::SetRunProgress(int done, int total) {
    std::lock_guard lock(m_mutex);
    m_progress.emplace_back(done, total);
}

void RecordingCheckHost::ClearLog() {
    std::lock_guard lock(m_mutex);
    m_log.clear();
    m_runningCounts.clear();
    m_progress.clear();
}

std::vector<std::pair<int, int>> RecordingCheckHost::RunProgress() const {
    std::lock_guard lock(m_mutex);
    return m_progress;
}

std::vector<int> RecordingCheckHost::RunningCounts() const {
    std::lock_guard lock(m_mutex);
    return m_runningCounts;
}

bool RecordingCheckHost::WaitForRunningCount(int count, int times, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(
        lock, limit, [&] { return std::count(m_runningCounts.begin(), m_runningCounts.end(), count) >= times; });
}

void RecordingCheckHost::RunEnded() {
    std::lock_guard lock(m_mutex);
    ++m_runsEnded;
    m_changed.notify_all();
}

std::string RecordingCheckHost::Log() const {
    std::lock_guard lock(m_mutex);
    return m_log;
}

std::vector<std::string> RecordingCheckHost::Titles() const {
    std::lock_guard lock(m_mutex);
    return m_titles;
}

std::vector<bool> RecordingCheckHost::StartStopCaptions() const {
    std::lock_guard lock(m_mutex);
    return m_captions;
}

bool RecordingCheckHost::IndicatorOn() const {
    std::lock_guard lock(m_mutex);
    return m_indicator;
}

bool RecordingCheckHost::LabelEditing() const {
    std::lock_guard lock(m_mutex);
    return m_labelEditing;
}

int RecordingCheckHost::RunsEnded() const {
    std::lock_guard lock(m_mutex);
    return m_runsEnded;
}

int RecordingCheckHost::TimerPeriodMs() const {
    return m_timer.PeriodMs();
}

bool RecordingCheckHost::WaitForLog(const std::string& text, int count, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return Occurrences(m_log, text) >= count; });
}

bool RecordingCheckHost::WaitForRunsEnded(int count, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_runsEnded >= count; });
}

pid_t RecordingCheckHost::SenderThread(int n) const {
    std::lock_guard lock(m_mutex);
    return (n >= 1 && n <= static_cast<int>(m_senders.size())) ? m_senders[static_cast<std::size_t>(n - 1)] : 0;
}

} // namespace zandel::test
