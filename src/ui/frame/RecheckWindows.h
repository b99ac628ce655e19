#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QObject>
#include <QPointer>

#include "core/schedule/RecheckScheduler.h"

class QLabel;
class QStatusBar;
class QTimer;

namespace zandel {
struct AppSettings;
class HistoryRecorder;
class HistoryStore;
} // namespace zandel

namespace zandel::ui {

class CProxyBar;
class RunWindows;
class TrayIcon;

// The re-checks in the main window: a timer ticks the scheduler, the log and the proxy bar are the list run's,
// a switch goes through the bar as the user's own change does, and a notice goes to the tray's balloon (the
// status bar where the desktop has no tray). The re-checks keep a history connection of their own, opened the
// first time they are switched on, so that the list's writer thread is never shared.
class RecheckWindows final : public QObject, public IRecheckHost {
    Q_OBJECT
public:
    static constexpr int kTickMs = 1000;

    RecheckWindows(AppSettings& settings, CProxyBar& proxyBar, RunWindows& run, TrayIcon& tray, QStatusBar& status,
                   QObject* parent);
    ~RecheckWindows() override;

    void Tick();
    // Closing: a round on its way is stopped and waited for, and no round begins any more.
    void Shutdown();
    // The scheduler's clock (tests put a controllable one here before the first tick); none: the steady clock.
    void SetClock(RecheckScheduler::Clock clock) { m_clock = std::move(clock); }
    // What else is renewed as each round comes due (the list from a URL).
    void OnRoundDue(std::function<void()> handler) { m_roundDue = std::move(handler); }
    // Who hears the rows of each round that ran to its end (the local proxy's favourites).
    void OnRoundFinished(std::function<void(const IRowStore&)> handler) { m_roundFinished = std::move(handler); }
    // Null until the re-checks are first switched on.
    RecheckScheduler* Scheduler() const { return m_scheduler.get(); }

    // IRecheckHost
    void AppendLog(const std::string& text) override;
    DesktopProxy CurrentProxy() override;
    bool SwitchProxy(const std::string& address) override;
    void Notify(const std::string& text) override;
    void RoundDue() override;
    void RoundFinished(const IRowStore& rows) override;

private:
    void Prepare();
    void GiveNoticeRoom(const QString& line);

    AppSettings& m_settings;
    CProxyBar& m_proxyBar;
    RunWindows& m_run;
    TrayIcon& m_tray;
    QPointer<QStatusBar> m_status;
    QString m_noticeLine;                       // the notice the status bar shows, if it still does
    std::vector<QPointer<QLabel>> m_panesAside; // the panes hidden to make room for it
    QMetaObject::Connection m_noticeWatch;
    QTimer* m_timer = nullptr;
    RecheckScheduler::Clock m_clock;
    std::function<void()> m_roundDue;
    std::function<void(const IRowStore&)> m_roundFinished;
    std::unique_ptr<HistoryStore> m_history;
    std::unique_ptr<HistoryRecorder> m_historyBatches;
    std::unique_ptr<RecheckScheduler> m_scheduler; // last: its round ends before the history it writes to
    bool m_shutDown = false;
    bool m_ticking = false;
};

} // namespace zandel::ui
