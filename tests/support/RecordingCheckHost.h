#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

#include "core/check/CheckEngine.h"
#include "core/check/TimeoutTimer.h"

namespace zandel::test {

// The windows around a check run, for tests: keeps the transcript, the captions and the indicator state,
// runs the time-out timer on a thread of its own and remembers which thread sent each request.
class RecordingCheckHost final : public ICheckHost, public ITimeoutTimer {
public:
    RecordingCheckHost();

    void SetProxyBarAddress(std::string address);
    // While held, a request for the proxy bar's address waits (the start-up check then sits in the run lock
    // before its run has begun); WaitForAddressAsked waits until such a request has come.
    void HoldProxyBarAddress(bool hold);
    bool WaitForAddressAsked(std::chrono::milliseconds limit = std::chrono::seconds(10));
    void SetTitleText(std::string title);

    void AppendLog(const std::string& text) override;
    std::string GetTitle() override;
    void SetTitle(const std::string& title) override;
    void SetStartStop(bool running) override;
    void SetLabelEditing(bool enabled) override;
    void StartCheckIndicator() override;
    void StopCheckIndicator() override;
    // ITimeoutTimer, on a thread of its own
    void Start(int periodMs, std::function<void()> onFire) override { m_timer.Start(periodMs, std::move(onFire)); }
    void Stop() override { m_timer.Stop(); }
    std::string GetProxyBarAddress() override;
    void RunEnded() override;
    void SetRunningCount(int count) override;
    void SetRunProgress(int done, int total) override;
    // Clears the transcript, the running counts and the progress.
    void ClearLog();
    // Every running count the run reported, in order.
    std::vector<int> RunningCounts() const;
    // Every progress (done, total) the run reported, in order.
    std::vector<std::pair<int, int>> RunProgress() const;
    // Bounded wait until `count` was reported `times` times.
    bool WaitForRunningCount(int count, int times, std::chrono::milliseconds limit = std::chrono::seconds(10));

    std::string Log() const;
    std::vector<std::string> Titles() const;
    std::vector<bool> StartStopCaptions() const;
    bool IndicatorOn() const;
    bool LabelEditing() const;
    int RunsEnded() const;
    int TimerPeriodMs() const;

    // Bounded waits for the transcript to hold `count` occurrences of `text`, and for `count` runs to end.
    bool WaitForLog(const std::string& text, int count, std::chrono::milliseconds limit = std::chrono::seconds(10));
    bool WaitForRunsEnded(int count, std::chrono::milliseconds limit = std::chrono::seconds(20));
    // The worker thread that logged the n-th (1-based) request sent.
    pid_t SenderThread(int n) const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_log;
    std::string m_title = "Zandel - list.txt";
    std::vector<std::string> m_titles;
    std::vector<bool> m_captions;
    std::string m_proxyBarAddress;
    bool m_holdAddress = false;
    bool m_addressAsked = false;
    std::vector<pid_t> m_senders;
    bool m_indicator = false;
    bool m_labelEditing = true;
    int m_runsEnded = 0;
    std::vector<int> m_runningCounts;
    std::vector<std::pair<int, int>> m_progress;
    ThreadTimeoutTimer m_timer;
};

} // namespace zandel::test
