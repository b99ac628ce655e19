#include "core/check/CheckEngine.h"

#include <algorithm>
#include <ctime>
#include <system_error>

#include "core/settings/AppSettings.h"
#include "core/util/MessageService.h"
#include "core/util/Texts.h"
#include "core/check/CheckFormat.h"
#include "core/check/ProbePlan.h"
#include "core/check/TlsStep.h"
#include "core/list/RowStore.h"
#include "core/log/LogMapping.h"
#include "core/settings/HttpsTarget.h"
#include "core/util/Text.h"

namespace zandel {

std::string CheckingTitle(const std::string& address) {
    return std::string(texts::kAppName) + " - " + address + kCheckingText;
}

std::string ProgressTitle(int done, int total) {
    std::string counts;
    AppendDecimal(counts, static_cast<unsigned>(done));
    counts += '/';
    AppendDecimal(counts, static_cast<unsigned>(total));
    return CheckingTitle(counts);
}

CheckEngine::CheckEngine(AppSettings& settings, IRowStore& rows, ICheckHost& host, ITimeoutTimer& timer,
                         IMessageService& messages)
    : m_settings(settings), m_rows(rows), m_host(host), m_timer(timer), m_messages(messages) {}

CheckEngine::~CheckEngine() {
    JoinRunThreads();
    Cleanup();
}

bool CheckEngine::Initialize() {
    return m_probe.Initialize(this);
}

void CheckEngine::Cleanup() {
    m_probe.Cleanup();
}

bool CheckEngine::BuildTestRequest() {
    // Everything the run needs of the settings is taken here, on the user-interface thread, so that the run
    // thread never reads the record while the settings sheet may change it.
    const int timeOut = EffectiveTimeOut(m_settings.TimeOut);
    m_timerPeriodMs = timeOut * 1000;
    m_version = m_settings.HttpVer;

    const std::string accessUrl = m_settings.WebPage;
    if (accessUrl.empty()) {
        ShowOk(m_messages, texts::kNoAccessUrl);
        return false;
    }
    const TestRequest request = ComposeTestRequest(accessUrl, m_version, m_settings.UserAgent);
    std::shared_ptr<const TunnelPlan> tunnel;
    if (m_settings.HttpsCheckOn) {
        tunnel = MakeTunnelPlan(accessUrl);
        if (!tunnel) {
            return false;
        }
    }
    if (!m_settings.JudgeKey.empty() && !IsValidJudgeKey(m_settings.JudgeKey)) {
        ShowOk(m_messages, texts::kJudgeKeyMessage);
        return false;
    }
    m_cgi = request.cgi;
    m_tunnelOn = tunnel != nullptr;
    JudgeSetup judge{{m_settings.JudgeBaseline && request.cgi, m_settings.JudgeStrict, m_settings.JudgeKey},
                     accessUrl,
                     m_settings.UserAgent,
                     tunnel,
                     ProbeWaitMs(timeOut),
                     tunnel != nullptr && (m_settings.JudgeBaseline || m_settings.JudgeStrict),
                     m_settings.JudgeFallback};
    auto plan = std::make_shared<ProbePlan>(*MakeProxyPlan(ComposeProbeRequest(request.requestLine, request.headers),
                                                           ProbeWaitMs(timeOut), std::move(tunnel)));
    plan->originRequest = ComposeProbeRequest(OriginRequestLine(request.requestLine), request.headers);
    plan->judge.host = AccessUrlHost(accessUrl);
    plan->judge.port = static_cast<std::uint16_t>(AccessUrlPort(accessUrl));
    if (!AddSitePlan(*plan)) {
        return false;
    }
    {
        std::lock_guard lock(m_requestMutex);
        m_plan = std::move(plan);
        m_judgeSetup = std::move(judge);
        m_detect = m_settings.DetectProxyType;
    }
    const int parallel = m_settings.ParallelChecks;
    m_parallelWidth = (parallel >= 1 && parallel <= kMaxConsoleParallelChecks) ? parallel : 1;
    return true;
}

std::shared_ptr<const ProbePlan> CheckEngine::RunPlan() {
    std::lock_guard lock(m_requestMutex);
    return m_plan;
}

void CheckEngine::SetTunnelTrust(std::shared_ptr<const TunnelTrust> trust) {
    m_trust = std::move(trust);
}

std::shared_ptr<const TunnelPlan> CheckEngine::MakeTunnelPlan(const std::string& accessUrl) {
    const std::optional<HttpsTargetAddress> target =
        EffectiveHttpsTarget(m_settings.HttpsTarget, AccessUrlHost(accessUrl));
    if (!target) {
        ShowOk(m_messages, kHttpsTargetMessage);
        return nullptr;
    }
    auto plan = std::make_shared<TunnelPlan>();
    plan->host = target->host;
    plan->address = target->Authority();
    if (!m_trust) {
        std::string error;
        m_trust = TunnelTrust::Load("", error);
        if (!m_trust) {
            ShowOk(m_messages, error);
            return nullptr;
        }
    }
    plan->trust = m_trust;
    plan->request = ComposeTunnelRequest(target->Authority(), m_version, m_settings.UserAgent);
    plan->target.host = target->host.find(':') == std::string::npos ? target->host : "[" + target->host + "]";
    plan->target.port = static_cast<std::uint16_t>(target->port);
    return plan;
}

bool CheckEngine::AddSitePlan(ProbePlan& plan) {
    std::vector<SiteTarget> sites;
    {
        std::lock_guard lock(m_requestMutex);
        sites = m_sites;
    }
    if (sites.empty()) {
        return true;
    }
    if (!m_trust && std::any_of(sites.begin(), sites.end(), [](const SiteTarget& site) { return site.tls; })) {
        std::string error;
        m_trust = TunnelTrust::Load("", error);
        if (!m_trust) {
            ShowOk(m_messages, error);
            return false;
        }
    }
    auto sitePlan = MakeSitePlan(sites, m_version, m_settings.UserAgent, m_trust);
    sitePlan->jobMs = static_cast<std::uint32_t>(m_timerPeriodMs.load());
    plan.sites = std::move(sitePlan);
    AddSiteLegs(plan, {ProxyKind::Http});
    return true;
}

bool CheckEngine::StartCheck() {
    if (m_running || !BuildTestRequest()) {
        return false;
    }
    return LaunchRun(&CheckEngine::CheckSelectedThread);
}

bool CheckEngine::StartStartupCheck() {
    if (m_running || !BuildTestRequest()) {
        return false;
    }
    return LaunchRun(&CheckEngine::CheckCurrentThread);
}

void CheckEngine::StopCheck() {
    {
        // The flag first: the run thread must find it clear when the cancelled job returns, not a moment later.
        std::lock_guard lock(m_stopMutex);
        m_checkBarRunning = false;
        if (m_runsNotBegun > 0 && !m_running) {
            m_earlyStop = true;
        }
    }
    m_probe.Cancel();
    CancelParallel();
    m_host.SetLabelEditing(true);
}

void CheckEngine::BeginRun(bool setRunning) {
    std::lock_guard lock(m_stopMutex);
    // A body run directly (not launched) was never counted.
    m_runsNotBegun = std::max(m_runsNotBegun - 1, 0);
    m_checkBarRunning = !m_earlyStop;
    m_earlyStop = false;
    if (setRunning) {
        m_running = true;
    }
}

void CheckEngine::SkipCheck() {
    if (m_running) {
        m_probe.Cancel();
        CancelParallel();
    }
}

void CheckEngine::OnTimeoutTimer(unsigned job) {
    if (job != m_jobSerial.load()) {
        return;
    }
    m_one.timeoutMark = true;
    SkipCheck();
}

bool CheckEngine::LaunchRun(void (CheckEngine::*body)()) {
    if (!m_timer.CanFire()) {
        return false;
    }
    std::lock_guard lock(m_threadsMutex);
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        if (it->done) {
            it->thread.join();
            it = m_threads.erase(it);
        } else {
            ++it;
        }
    }
    RunThread& run = m_threads.emplace_back();
    {
        std::lock_guard stopLock(m_stopMutex);
        ++m_runsNotBegun;
    }
    try {
        run.thread = std::thread([this, body, &run] {
            (this->*body)();
            run.done = true;
        });
    } catch (const std::system_error&) {
        m_threads.pop_back();
        std::lock_guard stopLock(m_stopMutex);
        --m_runsNotBegun;
        return false;
    }
    return true;
}

bool CheckEngine::HasRunThreads() {
    std::lock_guard lock(m_threadsMutex);
    for (const RunThread& run : m_threads) {
        if (!run.done) {
            return true;
        }
    }
    return false;
}

void CheckEngine::JoinRunThreads() {
    std::lock_guard lock(m_threadsMutex);
    for (RunThread& run : m_threads) {
        if (run.thread.joinable()) {
            run.thread.join();
        }
    }
    m_threads.clear();
}

void CheckEngine::BeginRunUi(std::string& savedTitle) {
    m_host.SetStartStop(true);
    m_host.SetLabelEditing(false);
    m_host.StartCheckIndicator();
    m_remaining = 0;
    savedTitle = m_host.GetTitle();
}

void CheckEngine::EndRunUi(const std::string& savedTitle) {
    m_host.StopCheckIndicator();
    m_remaining = 0;
    m_checkBarRunning = false;
    m_host.SetStartStop(false);
    m_host.SetTitle(savedTitle);
    m_host.SetLabelEditing(true);
    // Whoever sees the run over sees its last row, title and log line too.
    m_host.Sync();
    m_running = false;
    if (ICheckRecorder* recorder = m_recorder.load(); recorder != nullptr) {
        recorder->RunEnded();
    }
    m_host.RunEnded();
}

ProbeResult CheckEngine::RunOneJob(ProbeJob& job, const std::shared_ptr<const ProbePlan>& plan,
                                   std::string& responseTime) {
    // A mark left by an earlier job (the start-up check writes no row and so never clears it) must not turn
    // this job's user stop into a time-out.
    m_one.timeoutMark = false;
    const unsigned serial = ++m_jobSerial;
    const std::uint32_t start = TickCount();
    m_timer.Start(m_timerPeriodMs, [this, serial] { OnTimeoutTimer(serial); });
    m_runningJobs = 1;
    const ProbeResult result = m_probe.RunJob(&job, plan);
    m_runningJobs = 0;
    if (result == ProbeResult::PR_NO_THREAD) {
        m_lackedThreads = true;
    }
    m_timer.Stop();
    responseTime = FormatElapsed(start, ExchangeEndTicks(job));
    return result;
}

void CheckEngine::CheckSelectedThread() {
    std::lock_guard lock(m_runLock);
    BeginRun(true);
    std::string savedTitle;
    BeginRunUi(savedTitle);
    m_goodRows = 0;
    m_lackedThreads = false;
    m_checkedRows = 0;
    m_judgeRefused = false;
    if (PrepareJudgeChecks()) {
        const JudgeWatch watch = m_watch; // the run's watch on its judge, as it begins
        RunRows(m_rows.SelectedRows(m_maxRows));
        LookAgain(watch);
    } else {
        m_judgeRefused = true;
    }
    EndRunUi(savedTitle);
}

void CheckEngine::CheckCurrentThread() {
    std::unique_lock lock(m_runLock);
    BeginRun(false);
    ClearJob(m_one);
    m_checks = JudgeChecks{}; // the proxy bar's check is graded as it always was
    m_watch = JudgeWatch{};

    const std::string address = CutBytes(m_host.GetProxyBarAddress());
    if (address.empty()) {
        m_checkBarRunning = false;
        return;
    }
    if (!TakeEntry(address, m_one)) {
        m_checkBarRunning = false;
        lock.unlock();
        m_messages.Show(texts::kStartupCheckWarning, MbButtons::OkCancel, MbIcon::Warning);
        return;
    }
    if (!m_checkBarRunning) {
        return;
    }

    m_running = true;
    m_checkBarRunning = true;
    std::string savedTitle;
    BeginRunUi(savedTitle);
    m_host.SetTitle(CheckingTitle(TitleAddress(address, m_one)));
    AppendLog(FrameLineBefore(m_one.job.target.host, m_one.job.target.port));
    std::string responseTime;
    const ProbeResult result = RunOneJob(m_one.job, JobPlan(m_one, m_one.plan), responseTime);
    const int verdict = JudgeAnswer(-1, m_one.job, result, responseTime);
    AppendLog(FrameLineAfter(m_one.job.target.host, m_one.job.target.port));
    EndRunUi(savedTitle);
    lock.unlock();

    if (verdict == 0) {
        m_messages.Show(texts::kStartupCheckWarning, MbButtons::OkCancel, MbIcon::Warning);
    }
}

void CheckEngine::AppendLog(const std::string& text) {
    if (!text.empty()) {
        m_host.AppendLog(text);
    }
}

void CheckEngine::Notice(const std::string& text) {
    AppendLog(text);
    m_host.RunNotice(text);
}

} // namespace zandel
