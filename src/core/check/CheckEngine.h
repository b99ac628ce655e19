#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/check/AnswerJudge.h"
#include "core/check/JudgeChecks.h"
#include "core/check/ParallelProbe.h"
#include "core/check/ProxyProbe.h"
#include "core/check/SiteCheck.h"
#include "core/check/TestRequest.h"
#include "core/check/TimeoutTimer.h"
#include "core/list/CheckRecord.h"
#include "core/list/ProxyRow.h"
#include "core/settings/TimeOut.h"
#include "core/util/ProxyAddress.h"

namespace zandel {

struct AppSettings;
class IMessageService;
class IRowStore;
class RowCellReader;
struct ProbePlan;
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

// Hears every check the run judges, on the run thread, as it is judged: row -1 for the start-up check of the
// browser's proxy. A check the user stopped decided nothing and is not heard.
class ICheckRecorder {
public:
    virtual ~ICheckRecorder() = default;
    virtual void Recorded(int row, const CheckRecord& record) = 0;
    // A run has ended: what was heard may be put away now rather than with the next run's checks.
    virtual void RunEnded() {}
    // Whether the records carry their exit address, which costs a second reading of every good page.
    virtual bool WantsExitAddress() const { return false; }
};

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

    // Judges the one-at-a-time job (the start-up check's, row -1, or a row's) with its time-out mark.
    int JudgeAnswer(int row, const ProbeJob& job, ProbeResult result, const std::string& responseTime);
    // How many jobs the run keeps going at once (ParallelChecks, as taken by the last BuildTestRequest).
    int ParallelWidth() const { return m_parallelWidth.load(); }
    // The most selected rows a run takes: the list window's limit, unless the console tool asks for more.
    void SetMaxRows(int rows) { m_maxRows = rows; }
    // Who hears the judged checks (none: nobody); set while no run is on its way.
    void SetRecorder(ICheckRecorder* recorder) { m_recorder = recorder; }
    // The kind of proxy a plain "host:port" entry is (HTTP unless the console tool is told otherwise).
    void SetPlainKind(ProxyKind kind) { m_plainKind = kind; }
    // A second look: once the selected rows are all checked, each proxy that passed is asked again `pause` later, on
    // a fresh connection, and one that fails then is "不安定" (zandel-check's --twice). Set while no run is on its way.
    void SetSecondLook(bool on, std::chrono::milliseconds pause) {
        m_secondLook = on;
        m_secondLookPauseMs = static_cast<int>(pause.count());
    }

    // The sites fetched through each proxy that passes, whose classes go into the transcript and the records (none:
    // the check is the judge's alone). Taken with the test request.
    void SetSites(std::vector<SiteTarget> sites) {
        std::lock_guard lock(m_requestMutex);
        m_sites = std::move(sites);
    }

    // Where the run of the selected rows stands, for a progress line.
    struct Progress {
        int checked = 0; // rows of the run done with (judged, or passed over as no address), 0 before it begins
        int running = 0;
        int good = 0; // rows judged usable so far
    };
    Progress CurrentProgress() const { return {m_checkedRows.load(), m_runningJobs.load(), m_goodRows.load()}; }
    void AppendLog(const std::string& text);

    // Whether the system refused the last run of the selected rows a thread after it had begun: the parallel
    // probe's (every row left as it was) or a job's worker (that row "NG", as the transcript says).
    bool RunLackedThreads() const { return m_lackedThreads.load(); }
    // Whether the last run of the selected rows checked no proxy because the signed judge did not verify when
    // asked directly (the user has been told why).
    bool JudgeRefused() const { return m_judgeRefused.load(); }

    bool IsRunning() const { return m_running.load(); }
    bool IsCheckBarRunning() const { return m_checkBarRunning.load(); }
    int RemainingCount() const { return m_remaining.load(); }
    bool TimeoutMark() const { return m_one.timeoutMark.load(); }
    bool IsCgi() const { return m_cgi.load(); }
    // Whether a run thread has been started and has not yet ended.
    bool HasRunThreads();
    // Joins every run thread. Only once no host call can be pending (the desktop program closes its
    // bridge first).
    void JoinRunThreads();

    CProxyProbe& Probe() { return m_probe; }

private:
    // A job's lines while it runs, many at once: a few hundred bytes, kept in the slot itself, so that a thousand
    // jobs at once hold no heap blocks for them; longer ones (a long answer's lines) go on in a string.
    class LineBlock {
    public:
        void Append(std::string_view text);
        std::string_view View() const { return m_long.empty() ? std::string_view(m_room, m_length) : m_long; }
        void Clear();

    private:
        char m_room[512];
        std::size_t m_length = 0;
        std::string m_long;
    };
    // One job of a run: its record, its row, its time-out mark, and its transcript lines, which go out as they come
    // (one check at a time) or as one block once the job is judged (many at once), so that every proxy's block reads
    // as the one-at-a-time transcript shows it. Many at once, the answer is let go when the job has been judged.
    struct JobSlot final : ProbeJobOwner {
        JobSlot();
        ProbeJob job;
        int row = -1;
        std::atomic<bool> timeoutMark{false};
        std::uint32_t start = 0;
        bool streaming = true;
        LineBlock block;
        ProxyAddress entry;
        std::shared_ptr<const ProbePlan> plan;
        std::string nonce; // in the URL of the job's request, when the judge signs its pages
        int index = -1;    // the row's place in the run's rows
        int judge = 0;     // which of the run's judges the job asked (JudgeWatch::judge when it began)
    };
    // Whether the judge still answers, while a run whose judge answered directly at its start goes on: failures in a
    // row are put to the judge itself, and while it does not answer no row begins, and the rows that failed since
    // it last answered are checked again once it does (CheckEngineJudge.cpp). The run thread's.
    struct JudgeWatch {
        bool on = false;
        bool down = false;
        std::string address; // the direct request
        std::string request;
        std::uint32_t waitMs = kDefaultWaitMs;
        std::uint32_t askedAt = 0;
        int judge = 0;           // counts the moves to the second judge
        std::size_t inARow = 0;  // failures since the last usable page
        std::vector<int> streak; // the places of the rows failed since the judge last answered directly
        // Their checks, kept from the history until the judge is known to answer: a failure the judge caused says
        // nothing of the proxy.
        std::vector<std::pair<int, CheckRecord>> held;
    };
    // What the run asks of the judge, taken with the test request.
    struct JudgeSetup {
        JudgeAsks asks;
        std::string accessUrl;
        std::string userAgent;
        std::shared_ptr<const TunnelPlan> tunnel;
        std::uint32_t waitMs = kDefaultWaitMs;
        // With the HTTPS step, one handshake straight with the target, so that only a proxy that shows another
        // certificate than the target's own is called an interceptor.
        bool compareCertificates = false;
        std::string fallbackUrl; // the judge the run moves to when this one stops answering
    };

    // Every job's stages, one transcript line each, into the job's slot (found through the job's owner).
    void OnProbeStage(ProbeEvent event, ProbeJob& job) override;
    void Emit(JobSlot& slot, std::string_view text);
    // A NOTICE line: into the transcript, and to the host for the status bar or the terminal.
    void Notice(const std::string& text);
    bool LaunchRun(void (CheckEngine::*body)());
    // The run thread, holding the run lock, sets the check bar's running flag unless an early stop is kept.
    void BeginRun(bool setRunning);
    // Empties a slot for its next job.
    void ClearJob(JobSlot& slot);
    void BeginRunUi(std::string& savedTitle);
    void EndRunUi(const std::string& savedTitle);
    // The one-at-a-time job under the window's time-out timer, to its end.
    ProbeResult RunOneJob(ProbeJob& job, const std::shared_ptr<const ProbePlan>& plan, std::string& responseTime);
    // The direct request to the judge at a run's start (CheckEngineJudge.cpp), for the baseline, strict grading
    // and the signed judge; false when the run must check no proxy.
    bool PrepareJudgeChecks();
    // After a row is judged, with a watch on the judge: the places of rows to check again go to `again` (and are
    // selected again); returns how many went.
    int WatchJudge(const JobSlot& slot, const Judgement& judgement, const std::vector<int>& rows,
                   std::vector<int>& again);
    // Asks the judge whether it answers, for the failures in a row so far (at once when it is known to be down).
    int SuspectJudge(const std::vector<int>& rows, std::vector<int>& again);
    // At the end of what the run has begun: whether it goes on, with rows the judge failed, once it answers.
    bool JudgeHeldUpTheRun(const std::vector<int>& rows, std::vector<int>& again, int& ended);
    // While the judge does not answer: asks it again every few seconds until it does or the run is stopped.
    void WaitForJudge();
    bool JudgeAnswers();
    // Moves the run to the second judge, when there is one and it answers directly: its baseline, its request.
    bool MoveToFallback();
    void ReleaseHeldChecks();
    // When the judge's name has addresses of both families: the direct request again over the other, for the address
    // of ours a proxy reached over that family sees.
    void AskOverTheOtherFamily(const std::string& address, const std::string& request, std::uint32_t waitMs);
    // What the judge at `address` shows when asked directly (unusable when it did not answer with its page).
    JudgeBaseline AskForBaseline(const std::string& address, const std::string& request, std::uint32_t waitMs);
    // A job made straight to `address` (no proxy) under the time-out timer, its stage lines dropped; `done`: it
    // completed.
    std::unique_ptr<JobSlot> RunDirectJob(const std::string& address, const std::shared_ptr<const ProbePlan>& plan,
                                          bool& done);
    // One request made straight to `address` (no proxy); its answer, empty when none came whole.
    std::string AskDirectly(const std::string& address, const std::string& request, std::uint32_t waitMs,
                            bool& answered);
    // With the HTTPS step: one handshake made straight with the target, for its own certificate.
    void TakeTunnelBaseline(const JudgeSetup& setup);
    // The plan of a job: the run's, or with the judge's key, one whose request carries a fresh nonce.
    std::shared_ptr<const ProbePlan> JobPlan(JobSlot& slot, const std::shared_ptr<const ProbePlan>& entryPlan);
    // The run over the selected rows (CheckEngineRows.cpp): one at a time through the window's probe under its
    // time-out timer, or ParallelChecks at once through a parallel probe.
    void RunRows(const std::vector<int>& rows);
    struct RowRun;
    // Its slots made ready (many at once, with the parallel probe started; false when it would not start).
    bool OpenRowRun(RowRun& run);
    // Begins jobs for the next rows while slots are free: one at a time, runs the one it begins to its end.
    void HandOverRows(RowRun& run);
    void HandOver(RowRun& run, JobSlot& slot);
    // The next ended job into the run, waiting for it many at once; false when no job is out.
    bool TakeEndedJob(RowRun& run);
    // Judges the ended job into its row and the transcript, and frees its slot.
    void FinishJob(RowRun& run);
    int FitParallelWidth(int wanted);
    Judgement JudgeRow(int row, const ProbeJob& job, ProbeResult result, const std::string& responseTime,
                       bool timeoutMark, const JobSlot& slot);
    // The second look at the rows that passed (CheckEngineVerdict.cpp), after its pause; a stop ends it.
    void LookAgain(const JudgeWatch& watch);
    // A failure at the second look: the row's grade becomes "不安定" with the failure as its reason; true when the
    // user stopped it instead, which leaves the row as the first look graded it.
    bool GradeSecondLook(int row, Judgement& judgement);
    // Tells the recorder of a judged check (rows failed while the judge may be down wait in the watch).
    void RecordCheck(int row, const ProbeJob& job, const ProxyAddress& entry, const Judgement& judgement,
                     const std::string& httpsCell, const std::string& responseTime, std::vector<SiteVerdict> sites);
    // Reads a list entry into the slot, with the plan its kind and login ask for.
    bool TakeEntry(const std::string& address, JobSlot& slot);
    // A row whose entry no form reads, or too long to check: "NG" with the reason, in the tip and the transcript.
    void RefuseEntry(int row, const std::string& address);
    std::shared_ptr<const ProbePlan> EntryPlan(const ProxyAddress& entry);
    // What the title shows of a slot's entry: never a password.
    static std::string TitleAddress(const std::string& address, const JobSlot& slot);
    void CancelParallel();
    std::shared_ptr<const ProbePlan> RunPlan();
    // The HTTPS step of the run from the settings; null after telling the user why it cannot be made.
    std::shared_ptr<const TunnelPlan> MakeTunnelPlan(const std::string& accessUrl);
    // The sites' requests of the run, on the trust the HTTPS step uses; false after telling why it cannot be had.
    bool AddSitePlan(ProbePlan& plan);

    AppSettings& m_settings;
    IRowStore& m_rows;
    ICheckHost& m_host;
    ITimeoutTimer& m_timer;
    IMessageService& m_messages;

    CProxyProbe m_probe;
    JobSlot m_one; // the list window's job record, for one check at a time

    std::mutex m_runLock;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_checkBarRunning{false};
    std::atomic<int> m_remaining{0};
    std::atomic<bool> m_cgi{false};
    std::atomic<int> m_timerPeriodMs{kTimeOutDefault * 1000};
    std::atomic<unsigned> m_jobSerial{0};
    std::string m_version = "1.0";
    std::atomic<int> m_parallelWidth{1};
    std::atomic<int> m_maxRows{MaxListRows};
    std::atomic<int> m_runningJobs{0};
    std::atomic<int> m_goodRows{0};
    std::atomic<bool> m_lackedThreads{false};
    std::atomic<int> m_checkedRows{0};
    std::atomic<ICheckRecorder*> m_recorder{nullptr};
    // The run thread's: the check time last written, and its text.
    std::time_t m_checkTimeOf = 0;
    std::string m_blockText;     // a job's block on its way to the transcript
    std::string m_checkTimeText; // the list's check time cell
    std::string m_checkIsoText;  // the history's

    // What every job of the run does, made on the user-interface thread and read by the run thread.
    std::mutex m_requestMutex;
    std::shared_ptr<const ProbePlan> m_plan;
    JudgeSetup m_judgeSetup;
    JudgeChecks m_checks; // the run thread's, for the run in progress
    JudgeWatch m_watch;
    std::atomic<bool> m_judgeRefused{false};
    std::atomic<bool> m_tunnelOn{false};
    bool m_detect = false;
    std::vector<SiteTarget> m_sites;
    ProxyKind m_plainKind = ProxyKind::Http;
    std::atomic<bool> m_secondLook{false};
    std::atomic<int> m_secondLookPauseMs{0};
    // The run thread's: whether the rows are being looked at again, and the first look's cells of each row that
    // passed it, by row.
    bool m_secondPass = false;
    std::unordered_map<int, ProxyRow> m_firstLooks;
    // The run thread's: the run plan with the SOCKS targets' addresses looked up, once a run needs them, and the
    // plans of entries without a login by kind (with and without detection).
    std::shared_ptr<const ProbePlan> m_socksRun;
    std::shared_ptr<const ProbePlan> m_socksBase;
    std::shared_ptr<const ProbePlan> m_kindPlans[2][5];
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
