#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include <QObject>
#include <QPointer>
#include <QString>

#include "core/check/CheckEngine.h"
#include "ui/util/UiBridge.h"

class QTimer;

namespace zandel {
class IProxyBar;
} // namespace zandel

namespace zandel::ui {

class CCheckBar;
class CLogView;
class ProxyListView;

// What the check run's windows need of the main window itself. Called on the user-interface thread only.
class IRunFrame {
public:
    virtual ~IRunFrame() = default;
    virtual QString GetCaption() = 0;
    virtual void SetCaption(const QString& caption) = 0;
    // The tray icon's checking animation.
    virtual void StartCheckIndicator() = 0;
    virtual void StopCheckIndicator() = 0;
    // A run started or ended: commands and buttons follow the new state.
    virtual void RunStateChanged() = 0;
    // How many proxies a run with more than one at a time is checking now; 0 hides the count.
    virtual void ShowRunningCount(int count) = 0;
    // How many of its rows such a run has done; a total of 0 hides it.
    virtual void ShowRunProgress(int done, int total) = 0;
    // Something the run tells besides the transcript, for the status bar.
    virtual void ShowRunNotice(const QString& text) = 0;
};

// The windows the check run writes to — the caption, the check bar, the log (in batches), the tray's
// indicator, the proxy bar's address and the list's in-place editing — as the engine's ICheckHost. Calls from
// the run's threads are carried to the user-interface thread by a bridge of its own.
class RunWindows final : public QObject, public ICheckHost {
public:
    RunWindows(IRunFrame& frame, CCheckBar& checkBar, IProxyBar& proxyBar, QObject* parent = nullptr);

    // The panes are made after this object, as the list's engine is made with it.
    void SetPanes(ProxyListView* list, CLogView* log);
    // Closing: calls from the run's threads no longer wait for the user-interface thread.
    void Close() { m_bridge.Close(); }

    void AppendLog(const std::string& text) override;
    std::string GetTitle() override;
    void SetTitle(const std::string& title) override;
    void SetStartStop(bool running) override;
    void SetLabelEditing(bool enabled) override;
    void StartCheckIndicator() override;
    void StopCheckIndicator() override;
    std::string GetProxyBarAddress() override;
    void Sync() override;
    void RunEnded() override;
    void SetRunningCount(int count) override;
    void SetRunProgress(int done, int total) override;
    void RunNotice(const std::string& text) override;

private:
    void FlushLog();
    void PostCounts();

    IRunFrame& m_frame;
    CCheckBar& m_checkBar;
    IProxyBar& m_proxyBar;
    QPointer<ProxyListView> m_list;
    QPointer<CLogView> m_log;
    UiBridge m_bridge;
    QTimer* m_logFlushTimer = nullptr;
    std::mutex m_pendingLogMutex;
    std::string m_pendingLog;
    // A run of many tells its counts at every row that ends: the latest go over in one call at a time.
    std::atomic<int> m_runningCount{0};
    std::atomic<std::uint64_t> m_progress{0}; // done in the high half, total in the low
    std::atomic<bool> m_countsPosted{false};
};

} // namespace zandel::ui
