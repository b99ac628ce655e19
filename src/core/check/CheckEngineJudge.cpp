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
    if ((!setup.strict && setup.key.empty()) || !m_checkBarRunning) {
        return true;
    }
    std::string nonce;
    if (!setup.key.empty()) {
        nonce = MakeJudgeNonce();
        if (nonce.empty()) {
            ShowOk(m_messages, "署名付きの判定用CGIを確認できないため、チェックを中止しました（乱数を得られません）");
            return false;
        }
    }
    const std::string url = nonce.empty() ? setup.accessUrl : UrlWithNonce(setup.accessUrl, nonce);
    const std::optional<DirectRequest> direct = ComposeDirectRequest(url, m_version, setup.userAgent);

    // The direct job's stage lines are its own business: kept in its slot and dropped, so that the transcript
    // holds the proxies alone.
    auto slot = std::make_unique<JobSlot>(false);
    slot->streaming = false;
    ClearJob(*slot);
    bool answered = false;
    if (direct && ParseAddress(direct->address, slot->job)) {
        std::string responseTime;
        answered = RunOneJob(slot->job, MakeProxyPlan(direct->request, setup.waitMs, nullptr), responseTime) == PR_DONE;
    }
    if (!m_checkBarRunning) {
        return true; // stopped: the run takes no row anyway, and the judge is not to blame
    }
    const std::string answer(slot->answer.data(), strnlen(slot->answer.data(), slot->answer.size()));
    DirectJudgeOutcome outcome = ReadDirectJudgeAnswer(answered, answer, setup.strict, setup.key, nonce);
    if (!outcome.stop.empty()) {
        ShowOk(m_messages, outcome.stop);
        return false;
    }
    if (!outcome.notice.empty()) {
        AppendLog(outcome.notice);
        m_host.RunNotice(outcome.notice);
    }
    m_checks = std::move(outcome.checks);
    if (setup.strict && setup.tunnel) {
        TakeTunnelBaseline(setup);
    }
    return true;
}

void CheckEngine::TakeTunnelBaseline(const JudgeSetup& setup) {
    auto slot = std::make_unique<JobSlot>(false);
    slot->streaming = false;
    ClearJob(*slot);
    if (!ParseAddress(setup.tunnel->address, slot->job)) {
        return;
    }
    std::string responseTime;
    RunOneJob(slot->job, MakeDirectTlsPlan(setup.tunnel, setup.waitMs), responseTime);
    const TunnelReport& report = slot->job.tunnel;
    using End = TunnelReport::End;
    if (!m_checkBarRunning || (report.end != End::Verified && report.end != End::NotVerified)) {
        return; // no certificate seen directly: every proxy is judged as without strict grading
    }
    m_checks.tunnelBaseline = true;
    m_checks.tunnelDirect = report;
    if (report.end == End::NotVerified) {
        const std::string notice =
            "NOTICE>the HTTPS target's own certificate does not verify: （" + report.detail + "）\r\n";
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
