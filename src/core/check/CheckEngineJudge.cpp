// What the run asks of the judge itself: one request made straight to it at the run's start (no proxy between),
// which gives strict grading its baseline and proves the signed judge's key, and the fresh nonce of every job.
#include "core/check/CheckEngine.h"

#include <cstring>

#include "core/app/MessageService.h"
#include "core/check/CheckFormat.h"
#include "core/check/ProbePlan.h"

namespace zandel {

bool CheckEngine::PrepareJudgeChecks() {
    m_checks = JudgeChecks{};
    JudgeSetup setup;
    {
        std::lock_guard lock(m_requestMutex);
        setup = m_judgeSetup;
    }
    const JudgeAsks& asks = setup.asks;
    if (!m_checkBarRunning) {
        return true;
    }
    if (!asks.byValue && !asks.strict && asks.key.empty()) {
        if (setup.compareCertificates) {
            TakeTunnelBaseline(setup);
        }
        return true;
    }
    std::string nonce;
    if (!asks.key.empty()) {
        nonce = MakeJudgeNonce();
        if (nonce.empty()) {
            ShowOk(m_messages, "署名付きの判定用CGIを確認できないため、チェックを中止しました（乱数を得られません）");
            return false;
        }
    }
    const std::string url = nonce.empty() ? setup.accessUrl : UrlWithNonce(setup.accessUrl, nonce);
    const std::optional<DirectRequest> direct = ComposeDirectRequest(url, m_version, setup.userAgent);
    bool answered = false;
    const std::string answer =
        direct ? AskDirectly(direct->address, direct->request, setup.waitMs, answered) : std::string();
    if (!m_checkBarRunning) {
        return true; // stopped: the run takes no row anyway, and the judge is not to blame
    }
    DirectJudgeOutcome outcome = ReadDirectJudgeAnswer(answered, answer, asks, nonce, MachineAddresses());
    if (!outcome.stop.empty()) {
        ShowOk(m_messages, outcome.stop);
        return false;
    }
    if (!outcome.notice.empty()) {
        AppendLog(outcome.notice);
        m_host.RunNotice(outcome.notice);
    }
    m_checks = std::move(outcome.checks);
    if (setup.compareCertificates) {
        TakeTunnelBaseline(setup);
    }
    return true;
}

std::string CheckEngine::AskDirectly(const std::string& address, const std::string& request, std::uint32_t waitMs,
                                     bool& answered) {
    // The direct job's stage lines are its own business: kept in its slot and dropped, so that the transcript
    // holds the proxies alone.
    auto slot = std::make_unique<JobSlot>(false);
    slot->streaming = false;
    ClearJob(*slot);
    answered = false;
    if (!ParseAddress(address, slot->job)) {
        return {};
    }
    std::string responseTime;
    // A worker the system refuses here costs the baseline, not the run: many at once need no worker.
    const bool lacked = m_lackedThreads.load();
    answered = RunOneJob(slot->job, MakeProxyPlan(request, waitMs, nullptr), responseTime) == PR_DONE;
    m_lackedThreads = lacked;
    return {slot->answer.data(), strnlen(slot->answer.data(), slot->answer.size())};
}

void CheckEngine::TakeTunnelBaseline(const JudgeSetup& setup) {
    auto slot = std::make_unique<JobSlot>(false);
    slot->streaming = false;
    ClearJob(*slot);
    if (ParseAddress(setup.tunnel->address, slot->job)) {
        std::string responseTime;
        RunOneJob(slot->job, MakeDirectTlsPlan(setup.tunnel, setup.waitMs), responseTime);
    }
    if (!m_checkBarRunning) {
        return; // stopped: no proxy is judged against a handshake cut short
    }
    // Tried, whatever came of it: without a certificate seen directly no proxy can be shown to have swapped one.
    const TunnelReport& report = slot->job.tunnel;
    m_checks.tunnelBaseline = true;
    m_checks.tunnelDirect = report;
    using End = TunnelReport::End;
    std::string notice;
    if (report.end == End::NotVerified) {
        notice = "NOTICE>HTTPSのチェック先自身の証明書を検証できません（" + report.detail + "）\r\n";
    } else if (report.end != End::Verified) {
        notice =
            "NOTICE>HTTPSのチェック先に直接接続できないため、証明書を検証できないプロキシを盗聴とは判断しません\r\n";
    }
    if (!notice.empty()) {
        AppendLog(notice);
        m_host.RunNotice(notice);
    }
}

std::shared_ptr<const ProbePlan> CheckEngine::JobPlan(JobSlot& slot,
                                                      const std::shared_ptr<const ProbePlan>& entryPlan) {
    slot.nonce.clear();
    if (m_checks.key.empty() || !entryPlan) {
        return entryPlan;
    }
    JudgeSetup setup;
    {
        std::lock_guard lock(m_requestMutex);
        setup = m_judgeSetup;
    }
    // Without a nonce of its own a job's page could not be told from a cached one: an empty nonce verifies no
    // page, so the proxy is graded "NG" rather than trusted.
    slot.nonce = MakeJudgeNonce();
    const TestRequest request =
        ComposeTestRequest(UrlWithNonce(setup.accessUrl, slot.nonce), m_version, setup.userAgent);
    // The entry's own plan (its kind, login and legs), asking for the page under the job's nonce.
    auto plan = std::make_shared<ProbePlan>(*entryPlan);
    plan->request = ComposeProbeRequest(request.requestLine, request.headers);
    plan->originRequest = ComposeProbeRequest(OriginRequestLine(request.requestLine), request.headers);
    if (slot.entry.login && slot.entry.kind == ProxyKind::Http) {
        plan->request = WithProxyLogin(plan->request, {true, slot.entry.user, slot.entry.password});
    }
    return plan;
}

} // namespace zandel
