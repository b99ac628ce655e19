// A job's verdict: its answer judged into its row and, for whoever listens, into the history.
#include "core/check/CheckEngine.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <optional>
#include <thread>

#include "core/check/CheckFormat.h"
#include "core/check/JudgePage.h"
#include "core/check/ProbePlan.h"
#include "core/list/RowStore.h"

namespace zandel {

namespace {

// The page a judge graded names the address the proxy reached it from; any other check knows only the proxy's.
std::string ExitAddressOf(const ProbeJob& job, const Judgement& judgement) {
    HttpAnswer page;
    if (judgement.usable && SplitHttpAnswer(job.answer.Text(), page)) {
        // The variables hold the text the value points into: they must outlive the look-up.
        const JudgeVariables variables(page.body);
        if (const auto remote = variables.Find("REMOTE_ADDR")) {
            return std::string(*remote);
        }
    }
    return job.target.host;
}

// The class of each site of the plan a job of a proxy that passed fetched (a site it had no time left to try
// failed), and their transcript line: "ｻｲﾄ結果：http://example.com/ reached, https://example.org/ captcha".
std::vector<SiteVerdict> SiteVerdicts(const ProbeJob& job, const SitePlan& plan, std::string& line) {
    std::vector<SiteVerdict> verdicts;
    line = "ｻｲﾄ結果：";
    for (std::size_t i = 0; i < plan.sites.size(); ++i) {
        const SiteClass verdict = i < job.sitesBegun ? job.sites[i] : SiteClass::Failed;
        line += (i == 0 ? "" : ", ") + plan.sites[i].site.given + " " + std::string(SiteClassName(verdict));
        verdicts.push_back({plan.sites[i].site.given, verdict});
    }
    line += "\r\n";
    return verdicts;
}

} // namespace

// The start-up check has no row and is judged whatever the list holds. A run's rows stay in the list while
// it runs (row commands, edits and sorting wait for its end; dropped files only add rows after them).
int CheckEngine::JudgeAnswer(int row, const ProbeJob& job, ProbeResult result, const std::string& responseTime) {
    const Judgement judgement = JudgeRow(row, job, result, responseTime, m_one.timeoutMark, m_one);
    AppendLog(judgement.log);
    if (row >= 0) {
        m_one.timeoutMark = false;
    }
    return judgement.returnValue;
}

Judgement CheckEngine::JudgeRow(int row, const ProbeJob& job, ProbeResult result, const std::string& responseTime,
                                bool timeoutMark, const JobSlot& slot) {
    const std::string answer(job.answer.Text());
    Judgement judgement = JudgeAnswerText(result, answer, m_cgi, timeoutMark);
    ApplyJudgeChecks(judgement, answer, m_checks, slot.nonce);
    JudgeProxyRefusal(job, result, slot.entry.login, answer, judgement);
    const TunnelJudgement tunnel = JudgeTunnel(job.tunnel, m_tunnelOn, result, timeoutMark,
                                               m_checks.tunnelBaseline ? &m_checks.tunnelDirect : nullptr);
    judgement.log += tunnel.log;
    if (m_secondPass && row >= 0 && !judgement.usable && GradeSecondLook(row, judgement)) {
        return judgement;
    }
    const bool detected = slot.plan && slot.plan->detect && !job.misfit && result != ProbeResult::PR_TIMEOUT &&
                          result != ProbeResult::PR_CANCELLED &&
                          (job.kind == ProxyKind::Http || job.socks.end != SocksReport::End::NotRun);
    // The row's own entry, copied only when detection has found it another kind.
    std::optional<ProxyAddress> detectedEntry;
    if (detected && job.kind != slot.entry.kind) {
        detectedEntry = slot.entry;
        detectedEntry->kind = job.kind;
    }
    const ProxyAddress& entry = detectedEntry ? *detectedEntry : slot.entry;
    const bool plainHttp = entry.form == ProxyAddress::Form::Plain && entry.kind == ProxyKind::Http;
    const std::time_t checkedAt = std::time(nullptr); // one time for the row and the history alike
    // Rows judged within the same second share its texts (many at once, hundreds do).
    if (checkedAt != m_checkTimeOf || m_checkTimeText.empty()) {
        m_checkTimeOf = checkedAt;
        m_checkTimeText = FormatCheckTime(checkedAt);
        m_checkIsoText = IsoUtc(checkedAt);
    }
    std::vector<SiteVerdict> sites;
    if (judgement.usable && slot.plan && slot.plan->sites) {
        std::string line;
        sites = SiteVerdicts(job, *slot.plan->sites, line);
        judgement.log += line;
    }
    RecordCheck(row, job, entry, judgement, tunnel.cell, responseTime, std::move(sites));
    if (row < 0) {
        return judgement;
    }

    ProxyRow cells;
    // A plain entry is rewritten from the fields, as it always was; any other keeps its scheme and login.
    cells.cells[0] = plainHttp ? job.target.host + ":" + job.target.port : ListAddress(entry);
    cells.cells[1] = judgement.result;
    cells.cells[2] = judgement.usable ? responseTime : std::string(kUncheckedTime);
    cells.cells[3] = m_checkTimeText;
    cells.cells[kHttpsColumn] = tunnel.cell;
    cells.image = judgement.image;
    cells.reason = judgement.reason;
    m_rows.SetRowResult(row, cells);
    if (m_secondPass) {
        m_goodRows -= judgement.usable ? 0 : 1; // counted as good at the first look
    } else if (judgement.usable) {
        ++m_goodRows;
        if (m_secondLook) {
            m_firstLooks.insert_or_assign(row, cells);
        }
    }
    return judgement;
}

void CheckEngine::LookAgain(const JudgeWatch& watch) {
    std::vector<int> rows;
    for (const auto& [row, cells] : m_firstLooks) {
        rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    if (!rows.empty() && m_checkBarRunning) {
        const int pauseMs = m_secondLookPauseMs;
        AppendLog("NOTICE>使用可能だった" + std::to_string(rows.size()) + "件を" + std::to_string(pauseMs / 1000) +
                  "秒後にもう一度ﾁｪｯｸします\r\n");
        for (int waited = 0; waited < pauseMs && m_checkBarRunning; waited += 50) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(50, pauseMs - waited)));
        }
    }
    if (!rows.empty() && m_checkBarRunning) {
        for (const int row : rows) {
            m_rows.SetRowSelected(row, true);
        }
        m_watch = watch;
        m_secondPass = true;
        RunRows(rows);
        m_secondPass = false;
    }
    m_firstLooks.clear();
}

bool CheckEngine::GradeSecondLook(int row, Judgement& judgement) {
    if (judgement.returnValue == 1) {
        if (const auto first = m_firstLooks.find(row); first != m_firstLooks.end()) {
            m_rows.SetRowResult(row, first->second);
        }
        return true;
    }
    const std::string second =
        judgement.reason.empty() ? std::string(ReasonShown(ReasonOfJudgement(judgement.log))) : judgement.reason;
    judgement.result = kUnstableResult;
    judgement.image = StatusNG;
    judgement.reason = "2回目のﾁｪｯｸで失敗しました（" + second + "）";
    judgement.log = "結果：" + judgement.reason + "\r\n";
    return false;
}

void CheckEngine::RecordCheck(int row, const ProbeJob& job, const ProxyAddress& entry, const Judgement& judgement,
                              const std::string& httpsCell, const std::string& responseTime,
                              std::vector<SiteVerdict> sites) {
    ICheckRecorder* recorder = m_recorder.load();
    // A user's stop is the one failure that says nothing of the proxy.
    const bool stoppedByUser = !judgement.usable && judgement.returnValue == 1;
    if (recorder == nullptr || stoppedByUser) {
        return;
    }
    const bool plainHttp = entry.form == ProxyAddress::Form::Plain && entry.kind == ProxyKind::Http;
    CheckRecord record;
    record.address = plainHttp ? job.target.host + ":" + job.target.port : KeptAddress(entry);
    record.kind = ProxySchemeName(entry.kind);
    record.result = judgement.result;
    if (judgement.usable) {
        record.responseMs = ResponseTimeCellToMs(responseTime);
    }
    record.https = httpsCell;
    record.checkedAt = m_checkIsoText;
    record.reason = ReasonOfJudgement(judgement.log);
    record.sites = std::move(sites);
    if (recorder->WantsExitAddress()) {
        record.exitAddress = ExitAddressOf(job, judgement);
    }
    if (m_watch.on && judgement.image == StatusNG) {
        m_watch.held.emplace_back(row, std::move(record)); // told once the judge is known to answer
    } else {
        recorder->Recorded(row, record);
    }
}

} // namespace zandel
