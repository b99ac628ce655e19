#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/check/AnswerJudge.h"
#include "core/check/ParallelProbe.h"
#include "core/check/ProxyProbe.h"
#include "core/list/ProxyRow.h"
#include "core/check/TestRequest.h"
#include "core/check/TimeoutTimer.h"
#include "core/settings/TimeOut.h"

namespace zandel {

struct AppSettings;
class IMessageService;
class IRowStore;
class RowCellReader;
class TunnelTrust;
struct TunnelPlan;

// The windows around a check run. The run thread calls these; an implementation carries each call to the
// user-interface thread (the desktop program: getters and the timer's stop wait, changes go on without
// waiting), or does it at once under a lock (the console tool). Calls take effect in order, one at a time.
class ICheckHost {
public:
    virtual ~ICheckHost() = default;
    virtual void AppendLog(const std::string& text) = 0;
    virtual std::string GetTitle() = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // Caption of the check bar's button 1000: "停止(&T)" while running, "開始(&S)" otherwise.
    virtual void SetStartStop(bool running) = 0;
    virtual void SetLabelEditing(bool enabled) = 0;
    virtual void StartCheckIndicator() = 0;
    virtual void StopCheckIndicator() = 0;
    // The proxy bar's address: the proxy now set for the browser.
    virtual std::string GetProxyBarAddress() = 0;
    // Returns once every change handed over so far has taken effect (a host that carries changes over
    // without waiting for them waits here).
    virtual void Sync() {}
    // A run thread is about to end (the desktop program refreshes its commands).
    virtual void RunEnded() {}
    // How many proxies are being checked at this moment, while more than one may be (0 once they are done).
    virtual void SetRunningCount(int /*count*/) {}
    // Where a run of many at once stands: `done` of the `total` rows it took have ended (judged, or passed over for
    // an address without a port); total 0 once the run is over.
    virtual void SetRunProgress(int /*done*/, int /*total*/) {}
    // Something the user should know of the run besides the transcript, which has it already (the console tool
    // also says it on standard error when the transcript goes elsewhere).
    virtual void RunNotice(const std::string& /*text*/) {}
};

inline constexpr std::uint32_t kAnswerBufferSize = 10240;
inline constexpr const char* kCheckingText = "ﾁｪｯｸ中…";
// The window's title while a proxy is being checked: "Zandel - host:portﾁｪｯｸ中…".
std::string CheckingTitle(const std::string& address);
// The title while many are checked at once: "Zandel - 412/1000ﾁｪｯｸ中…", the rows ended of the rows taken. One
// proxy's address among hundreds would change faster than anyone could read it, in a taskbar cut short.
std::string ProgressTitle(int done, int total);

// The check run of the proxy list: builds the request, drives the probe over the selected rows on a run
// thread of its own under the time-out timer, judges every answer into its row and writes the transcript.
// The operations named after the list window's are called on the user-interface thread (or the thread
// that stands in for it); the run thread reaches the windows only through ICheckHost and IRowStore.
class CheckEngine final : private IProbeStages {
public:
    CheckEngine(AppSettings& settings, IRowStore& rows, ICheckHost& host, ITimeoutTimer& timer,
                IMessageService& messages);
    ~CheckEngine(); // waits for the run threads; the caller stops them first
    CheckEngine(const CheckEngine&) = delete;
    CheckEngine& operator=(const CheckEngine&) = delete;

    bool Initialize(); // the probe, with the log mapping as its stage callback
    void Cleanup();

    bool BuildTestRequest();
    // What the HTTPS step trusts, e.g. with an extra CA file; until one is given, the system's store alone.
    void SetTunnelTrust(std::shared_ptr<const TunnelTrust> trust);
    // Both return whether a run thread was started: not when the system refuses it or the time-out timer a
    // thread.
    bool StartCheck();
    bool StartStartupCheck();
    // A stop that comes after a start but before its run thread has begun is kept for that run, which
    // then checks nothing; a stop while no run is on its way changes nothing for the next one.
    void StopCheck();
    void SkipCheck();
    // The timer of job `job` fired. A firing that comes after its job is over (its stop had not yet been
    // carried out) is ignored.
    void OnTimeoutTimer(unsigned job);

    // The bodies of the two kinds of run thread (public so that a test can run one on its own thread).
    void CheckSelectedThread();
    void CheckCurrentThread();

    int JudgeAnswer(int row, const ProbeJob& job, ProbeResult result, const std::string& responseTime);
    // How many jobs the run keeps going at once (ParallelChecks, as taken by the last BuildTestRequest).
    int ParallelWidth() const { return m_parallelWidth.load(); }
    // The most selected rows a run takes: the list window's limit, unless the console tool asks for more.
    void SetMaxRows(int rows) { m_maxRows = rows; }

    // Where the run of the selected rows stands, for a progress line.
    struct Progress {
        int remaining = 0; // rows not yet judged, running ones included
        int running = 0;
        int good = 0; // rows judged usable so far
    };
    Progress CurrentProgress() const { return {m_remaining.load(), m_runningJobs.load(), m_goodRows.load()}; }
    void AppendLog(const std::string& text);

    // Whether the system refused the last run of the selected rows a thread after it had begun: the parallel
    // probe's (every row left as it was) or a job's worker (that row "NG", as the transcript says).
    bool RunLackedThreads() const { return m_lackedThreads.load(); }

    bool IsRunning() const { return m_running.load(); }
    bool IsCheckBarRunning() const { return m_checkBarRunning.load(); }
    int RemainingCount() const { return m_remaining.load(); }
    bool TimeoutMark() const { return m_timeoutMark.load(); }
    bool IsCgi() const { return m_cgi.load(); }
    // Whether a run thread has been started and has not yet ended.
    bool HasRunThreads();
    // Joins every run thread. Only once no host call can be pending (the desktop program closes its
    // bridge first).
    void JoinRunThreads();

    CProxyProbe& Probe() { return m_probe; }

private:
    // The one-at-a-time probe's stages: one transcript line each.
    void OnProbeStage(int event, ProbeJob& job) override;
    bool LaunchRun(void (CheckEngine::*body)());
    // The run thread, holding the run lock, sets the check bar's running flag unless an early stop is kept.
    void BeginRun(bool setRunning);
    void ClearJob();
    void BeginRunUi(std::string& savedTitle);
    void EndRunUi(const std::string& savedTitle);
    ProbeResult RunOneJob(std::string& responseTime);
    // The run over the selected rows with more than one job at a time (CheckEngineParallel.cpp).
    void RunParallel(const std::vector<int>& rows, RowCellReader& addresses, int count);
    int FitParallelWidth(int wanted);
    Judgement JudgeRow(int row, const ProbeJob& job, ProbeResult result, const std::string& responseTime,
                       bool timeoutMark);
    void CancelParallel();
    // The HTTPS step of the run from the settings; null after telling the user why it cannot be made.
    std::shared_ptr<const TunnelPlan> MakeTunnelPlan(const std::string& accessUrl);

    AppSettings& m_settings;
    IRowStore& m_rows;
    ICheckHost& m_host;
    ITimeoutTimer& m_timer;
    IMessageService& m_messages;

    CProxyProbe m_probe;
    ProbeJob m_job;
    char m_answer[kAnswerBufferSize] = {};

    std::mutex m_runLock;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_checkBarRunning{false};
    std::atomic<int> m_remaining{0};
    std::atomic<bool> m_timeoutMark{false};
    std::atomic<bool> m_cgi{false};
    std::atomic<int> m_timerPeriodMs{kTimeOutDefault * 1000};
    std::atomic<unsigned> m_jobSerial{0};
    std::string m_version = "1.0";
    std::atomic<int> m_parallelWidth{1};
    std::atomic<int> m_maxRows{MaxListRows};
    std::atomic<int> m_runningJobs{0};
    std::atomic<int> m_goodRows{0};
    std::atomic<bool> m_lackedThreads{false};

    // The request for the parallel probe, taken on the user-interface thread and read by the run thread.
    std::mutex m_requestMutex;
    std::string m_requestLine;
    std::string m_headers;
    std::uint32_t m_waitTimeoutMs = ProbeWaitMs(kTimeOutDefault);
    std::shared_ptr<const TunnelPlan> m_tunnelPlan;
    std::atomic<bool> m_tunnelOn{false};
    std::shared_ptr<const TunnelTrust> m_trust; // the user-interface thread's

    // The parallel probe of the run in progress, for stop and skip from the user-interface thread.
    std::mutex m_parallelMutex;
    ParallelProbe* m_activeParallel = nullptr;

    // Orders a stop against the start of a run thread that has been launched but has not yet begun.
    std::mutex m_stopMutex;
    int m_runsNotBegun = 0;
    bool m_earlyStop = false;

    struct RunThread {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    std::mutex m_threadsMutex;
    std::list<RunThread> m_threads;
};

} // namespace zandel
