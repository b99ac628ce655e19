// What the run asks of the judge itself: one request made straight to it at the run's start (no proxy between),
// which gives the grading its baseline and proves the signed judge's key, the fresh nonce of every job, and the
// watch that keeps a judge that stops answering from failing the proxies.
#include "core/check/CheckEngine.h"

#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include "core/util/MessageService.h"
#include "core/check/CheckFormat.h"
#include "core/check/ProbePlan.h"
#include "core/list/RowStore.h"

namespace zandel {

namespace {

// Failures in a row that make the run ask the judge whether it still answers, and the least time between two asks, so
// that a list of dead proxies costs the judge a request now and then, not one per few rows.
constexpr std::size_t kSuspectStreak = 5;
constexpr std::uint32_t kAskIntervalMs = 10000;
// How often a judge that does not answer is asked again.
constexpr std::uint32_t kRetryMs = 3000;

// The judge's "name:port" as an address of the other family than the one the judge saw us over, written out
// ("1.2.3.4:80", "[2001:db8::1]:80"), when the name has one: behind a NAT for IPv4 and not for IPv6, a proxy
// reached over the other family sees an address of ours that neither the first answer nor this machine shows.
std::optional<std::string> OtherFamilyAddress(const std::string& address, bool sawIpv4) {
    const std::size_t colon = address.rfind(':');
    if (colon == std::string::npos || address.front() == '[') {
        return std::nullopt;
    }
    const std::string host = address.substr(0, colon);
    in_addr literal{};
    if (::inet_pton(AF_INET, host.c_str(), &literal) == 1) {
        return std::nullopt;
    }
    const int family = sawIpv4 ? AF_INET6 : AF_INET;
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) {
        return std::nullopt;
    }
    std::optional<std::string> other;
    for (const addrinfo* entry = found; entry != nullptr && !other; entry = entry->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        if (entry->ai_family != family) {
            continue; // a resolver may answer with both whatever it is asked
        }
        const void* bytes =
            family == AF_INET
                ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr)
                : static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr);
        if (::inet_ntop(family, bytes, text, sizeof text) != nullptr) {
            other = family == AF_INET ? std::string(text) + address.substr(colon)
                                      : "[" + std::string(text) + "]" + address.substr(colon);
        }
    }
    ::freeaddrinfo(found);
    return other;
}

} // namespace

bool CheckEngine::PrepareJudgeChecks() {
    m_checks = JudgeChecks{};
    m_watch = JudgeWatch{};
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
        Notice(outcome.notice);
    }
    m_checks = std::move(outcome.checks);
    if (m_checks.baseline.usable && direct && (asks.byValue || asks.strict)) {
        AskOverTheOtherFamily(direct->address, direct->request, setup.waitMs);
    }
    if (m_checks.baseline.usable && direct) {
        m_watch.on = true;
        m_watch.address = direct->address;
        m_watch.request = direct->request;
        m_watch.waitMs = setup.waitMs;
        m_watch.askedAt = TickCount() - kAskIntervalMs; // the first failures in a row may ask at once
    }
    if (setup.compareCertificates) {
        TakeTunnelBaseline(setup);
    }
    return true;
}

int CheckEngine::WatchJudge(const JobSlot& slot, const Judgement& judgement, const std::vector<int>& rows,
                            std::vector<int>& again) {
    if (!m_watch.on) {
        return 0;
    }
    const bool stoppedByUser = !judgement.usable && judgement.returnValue == 1;
    if (judgement.image != StatusNG || stoppedByUser) {
        // A usable page ends the failures in a row, but vouches for none of them: many at once, a page the judge
        // answered before it went down may come in after the first failures it caused.
        if (judgement.usable) {
            m_watch.inARow = 0;
        }
        return 0;
    }
    if (slot.judge != m_watch.judge) {
        // Asked of the judge the run has left: checked again against the second, and its record dropped.
        if (!m_watch.held.empty() && m_watch.held.back().first == slot.row) {
            m_watch.held.pop_back();
        }
        again.push_back(slot.index);
        m_rows.SetRowSelected(slot.row, true);
        return 1;
    }
    m_watch.streak.push_back(slot.index);
    ++m_watch.inARow;
    if (!m_watch.down && (m_watch.inARow < kSuspectStreak || TickCount() - m_watch.askedAt < kAskIntervalMs)) {
        return 0;
    }
    return SuspectJudge(rows, again);
}

int CheckEngine::SuspectJudge(const std::vector<int>& rows, std::vector<int>& again) {
    if (m_watch.streak.empty()) {
        return 0;
    }
    if (!m_watch.down) {
        m_watch.askedAt = TickCount();
        m_watch.inARow = 0;
        if (JudgeAnswers()) {
            m_watch.streak.clear();
            ReleaseHeldChecks(); // the judge answers: the failures so far were the proxies'
            return 0;
        }
        if (!m_checkBarRunning) {
            return 0;
        }
        const std::string failed = std::to_string(m_watch.streak.size());
        m_watch.down = !MoveToFallback();
        const std::string notice = m_watch.down
                                       ? "NOTICE>判定用CGIが応答しないため、応答するまでチェックを止めます（直前の" +
                                             failed + "件はもう一度チェックします）\r\n"
                                       : "NOTICE>判定用CGIが応答しないため、予備の判定用CGIに切り替えます（直前の" +
                                             failed + "件はもう一度チェックします）\r\n";
        Notice(notice);
    }
    // The judge is down (or was, and the run has moved to the second): these failures are its doing. Their rows are
    // checked again, selected meanwhile so that a stop leaves them to the next run.
    const int count = static_cast<int>(m_watch.streak.size());
    for (const int place : m_watch.streak) {
        again.push_back(place);
        m_rows.SetRowSelected(rows[static_cast<std::size_t>(place)], true);
    }
    m_watch.streak.clear();
    m_watch.held.clear();
    return count;
}

bool CheckEngine::MoveToFallback() {
    JudgeSetup setup;
    {
        std::lock_guard lock(m_requestMutex);
        setup = m_judgeSetup;
        m_judgeSetup.fallbackUrl.clear(); // asked once: a run moves on at most once
    }
    const std::string& fallback = setup.fallbackUrl;
    if (fallback.empty()) {
        return false;
    }
    const std::string nonce = setup.asks.key.empty() ? std::string() : MakeJudgeNonce();
    const std::optional<DirectRequest> direct =
        ComposeDirectRequest(nonce.empty() ? fallback : UrlWithNonce(fallback, nonce), m_version, setup.userAgent);
    if (!direct || (!setup.asks.key.empty() && nonce.empty())) {
        return false;
    }
    bool answered = false;
    const std::string answer = AskDirectly(direct->address, direct->request, setup.waitMs, answered);
    DirectJudgeOutcome outcome = ReadDirectJudgeAnswer(answered, answer, setup.asks, nonce, MachineAddresses());
    if (!outcome.stop.empty() || !outcome.checks.baseline.usable) {
        return false;
    }
    outcome.checks.tunnelBaseline = m_checks.tunnelBaseline;
    outcome.checks.tunnelDirect = m_checks.tunnelDirect;
    m_checks = std::move(outcome.checks);
    // The run's plan, asking for the second judge's page; the plans of each kind follow it.
    auto plan = std::make_shared<ProbePlan>(*RunPlan());
    const TestRequest request = ComposeTestRequest(fallback, m_version, setup.userAgent);
    plan->request = ComposeProbeRequest(request.requestLine, request.headers);
    plan->originRequest = ComposeProbeRequest(OriginRequestLine(request.requestLine), request.headers);
    plan->judge.host = AccessUrlHost(fallback);
    plan->judge.port = static_cast<std::uint16_t>(AccessUrlPort(fallback));
    {
        std::lock_guard lock(m_requestMutex);
        m_plan = std::move(plan);
        m_judgeSetup.accessUrl = fallback;
    }
    m_watch.address = direct->address;
    m_watch.request = direct->request;
    ++m_watch.judge;
    return true;
}

void CheckEngine::WaitForJudge() {
    while (m_watch.down && m_checkBarRunning) {
        for (std::uint32_t waited = 0; waited < kRetryMs && m_checkBarRunning; waited += 100) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (m_checkBarRunning && JudgeAnswers()) {
            m_watch.down = false;
            m_watch.askedAt = TickCount();
            const std::string notice = "NOTICE>判定用CGIが応答したので、チェックを再開します\r\n";
            Notice(notice);
        }
    }
}

bool CheckEngine::JudgeAnswers() {
    return AskForBaseline(m_watch.address, m_watch.request, m_watch.waitMs).usable;
}

void CheckEngine::ReleaseHeldChecks() {
    if (ICheckRecorder* recorder = m_recorder.load()) {
        for (const auto& [row, record] : m_watch.held) {
            recorder->Recorded(row, record);
        }
    }
    m_watch.held.clear();
}

void CheckEngine::AskOverTheOtherFamily(const std::string& address, const std::string& request, std::uint32_t waitMs) {
    if (const std::optional<std::string> other = OtherFamilyAddress(address, IsIpv4(m_checks.baseline.ourAddress))) {
        if (const JudgeBaseline baseline = AskForBaseline(*other, request, waitMs); baseline.usable) {
            AddOwnAddress(m_checks.ours, baseline.ourAddress, baseline.ourAddressText);
            MarkCleanValues(m_checks.baseline, m_checks.ours);
        }
    }
}

JudgeBaseline CheckEngine::AskForBaseline(const std::string& address, const std::string& request,
                                          std::uint32_t waitMs) {
    bool answered = false;
    const std::string answer = AskDirectly(address, request, waitMs, answered);
    HttpAnswerView page;
    std::string joined;
    return answered && SplitHttpAnswer(answer, page, joined) ? ReadJudgeBaseline(page) : JudgeBaseline{};
}

std::string CheckEngine::AskDirectly(const std::string& address, const std::string& request, std::uint32_t waitMs,
                                     bool& answered) {
    const std::unique_ptr<JobSlot> slot = RunDirectJob(address, MakeProxyPlan(request, waitMs, nullptr), answered);
    return std::string(slot->job.answer.Text());
}

std::unique_ptr<CheckEngine::JobSlot>
CheckEngine::RunDirectJob(const std::string& address, const std::shared_ptr<const ProbePlan>& plan, bool& done) {
    // The direct job's stage lines are its own business: kept in its slot and dropped, so that the transcript
    // holds the proxies alone.
    auto slot = std::make_unique<JobSlot>();
    slot->streaming = false;
    ClearJob(*slot);
    done = false;
    if (ParseAddress(address, slot->job)) {
        std::string responseTime;
        // A worker the system refuses here costs the direct job, not the run: many at once need no worker.
        const bool lacked = m_lackedThreads.load();
        done = RunOneJob(slot->job, plan, responseTime) == ProbeResult::PR_DONE;
        m_lackedThreads = lacked;
    }
    return slot;
}

void CheckEngine::TakeTunnelBaseline(const JudgeSetup& setup) {
    bool done = false;
    const std::unique_ptr<JobSlot> slot =
        RunDirectJob(setup.tunnel->address, MakeDirectTlsPlan(setup.tunnel, setup.waitMs), done);
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
        Notice(notice);
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
