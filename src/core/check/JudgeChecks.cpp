#include "core/check/JudgeChecks.h"

#include "core/list/ProxyRow.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

constexpr const char* kReasonRewritten = "プロキシがページを書き換えました";
constexpr const char* kReasonStale = "プロキシが古いページ（キャッシュ）を返しました";
constexpr const char* kOwnPage = "プロキシが独自のページで応答しました";
constexpr const char* kNotAskedPage =
    "プロキシが要求したページを返しませんでした（キャプティブポータルまたはブロックページ）";
constexpr std::size_t kShownJudgeTextBytes = 160;

// What fails a page the plain judgement found usable: a page the proxy answered with in place of the judge's
// (its own, rewritten, cached) is tampering; a page the checks cannot vouch for for another cause (the judge's own
// error, an answer cut short) is "NG".
enum class Failure { Ng, Tampered };

void MakeNg(Judgement& judgement, const std::string& reason, Failure failure = Failure::Ng) {
    judgement.result = failure == Failure::Tampered ? kResultTampered : kResultNg;
    judgement.image = failure == Failure::Tampered ? StatusTampered : StatusNG;
    judgement.usable = false;
    judgement.returnValue = 0;
    judgement.reason = reason;
    judgement.log = "結果：" + reason + "\r\n";
}

void Grade(Judgement& judgement, const char* result, int image, const char* gradeLine, std::string reason) {
    judgement.result = result;
    judgement.image = image;
    AssignJoined(judgement.log, {"理由：", reason, "\r\n", gradeLine, kLogUsable});
    judgement.reason = std::move(reason);
}

// Why a page fetched through a proxy is not the judge's signed answer to this request (reason empty when it is).
struct SignatureFailure {
    std::string reason;
    Failure failure = Failure::Tampered;
};
SignatureFailure SignatureReason(const HttpAnswerView& page, const std::string& key, const std::string& nonce) {
    const SignatureVerdict verdict = VerifyJudgeSignature(page, key, nonce);
    switch (verdict.check) {
    case SignatureCheck::Verified:
        return {};
    case SignatureCheck::Unsigned:
        return {std::string(kOwnPage) + "（判定用CGIの署名がありません）"};
    case SignatureCheck::JudgeError:
        return {"判定用CGIが署名できませんでした（" + ShownJudgeText(verdict.detail) + "）", Failure::Ng};
    case SignatureCheck::Malformed:
        return {"署名の行が不正です（" + verdict.detail + "）"};
    case SignatureCheck::Rewritten:
        return {kReasonRewritten};
    case SignatureCheck::Stale:
        return {kReasonStale};
    case SignatureCheck::Incomplete:
        return {"応答が署名の前で途切れています", Failure::Ng};
    }
    return {kReasonRewritten};
}

// Why the signed judge did not verify when asked directly; empty when it did.
std::string DirectSignatureCause(const HttpAnswerView& page, const std::string& key, const std::string& nonce) {
    const SignatureVerdict verdict = VerifyJudgeSignature(page, key, nonce);
    switch (verdict.check) {
    case SignatureCheck::Verified:
        return {};
    case SignatureCheck::Unsigned:
        return "署名がありません。接続先URLが署名付きの判定用CGIではありません";
    case SignatureCheck::JudgeError:
        return "判定用CGIのエラー：" + ShownJudgeText(verdict.detail);
    case SignatureCheck::Malformed:
        return "署名の行が不正です：" + verdict.detail;
    case SignatureCheck::Rewritten:
        // Nothing stands between us and the judge: the judge signs with another key.
        return "鍵が判定用CGIの鍵と一致しません";
    case SignatureCheck::Stale:
        return "判定用CGIの応答が別のリクエストのものです";
    case SignatureCheck::Incomplete:
        return "応答が署名の前で途切れています";
    }
    return "署名を確認できません";
}

void GradeNonAnonymous(Judgement& judgement, const StrictFinding& finding) {
    std::string reason;
    AssignJoined(reason, {"接続元のIPアドレス(", finding.address, ")が", finding.variable, "に含まれています"});
    Grade(judgement, kResultNonAnonymous, StatusNonAnonymous, kLogAddressFound, std::move(reason));
}

void GradeProxyVariable(Judgement& judgement, const StrictFinding& finding) {
    std::string reason;
    AssignJoined(reason, {finding.variable, "がプロキシの使用を示しています"});
    Grade(judgement, kResultAnonymousB, StatusAnonymous, kLogProxyFound, std::move(reason));
}

// The grade of every run: the plain grade stands unless the page proves it too kind. A page with none of the
// judge's own variables while the judge's page came directly is the proxy's page, never a usable proxy; our address
// in any header makes Non-Anonymous whatever the header's name; a header of a proxy's the judge showed no sign of
// directly makes Anonymous(B). So only what could still make the plain grade worse is looked for.
void GradeByValue(Judgement& judgement, const JudgeChecks& checks, const JudgeVariables& variables) {
    constexpr AddressScope kScope = AddressScope::Headers;
    StrictFinding finding = CheckJudgePage(checks.baseline, variables, kScope);
    if (finding.kind == StrictFinding::Kind::Nothing && judgement.result != kResultNonAnonymous) {
        finding = FindOurAddress(checks.baseline, checks.ours, variables, kScope);
    }
    if (finding.kind == StrictFinding::Kind::Nothing && judgement.result == kResultAnonymousA) {
        finding = FindProxyVariable(checks.baseline, variables);
    }
    switch (finding.kind) {
    case StrictFinding::Kind::NotJudgePage:
        MakeNg(judgement, kNotAskedPage, Failure::Tampered);
        break;
    case StrictFinding::Kind::OwnAddress:
        if (judgement.result != kResultNonAnonymous) {
            GradeNonAnonymous(judgement, finding);
        }
        break;
    case StrictFinding::Kind::ProxyVariable:
        if (judgement.result == kResultAnonymousA) {
            GradeProxyVariable(judgement, finding);
        }
        break;
    case StrictFinding::Kind::Nothing:
        break;
    }
}

// What the proxy changed outside a signed page's body: a response header that changes what a browser does, added
// or changed on the way (the web server's own, as the page asked for directly shows them, are no change), the
// Content-Type the judge signed, or a request header we sent that the judge received otherwise. Empty when none.
std::string ChangedOutsideTheBody(const HttpAnswerView& page, const JudgeVariables& variables,
                                  const JudgeChecks& checks) {
    static constexpr std::string_view kBrowserHeaders[] = {"Set-Cookie", "Refresh", "Location", "Link",
                                                           "Content-Security-Policy"};
    for (const std::string_view name : kBrowserHeaders) {
        const std::string_view value = HeaderValue(page.headers, name);
        if (!value.empty() && value != HeaderValue(checks.directHeaders, name)) {
            return "プロキシが応答ヘッダ(" + std::string(name) + ")を加えました";
        }
    }
    for (const auto [name, value] : variables) {
        if (name == "ZANDEL_HEADER" && StartsWithNoCase(value, "Content-Type:") &&
            HeaderValue(value, "Content-Type") != HeaderValue(page.headers, "Content-Type")) {
            return "プロキシが応答ヘッダ(Content-Type)を変えました";
        }
    }
    // The headers every test request carries besides Host, as the judge received them directly.
    for (const char* name : {"HTTP_USER_AGENT", "HTTP_ACCEPT"}) {
        const std::optional<std::string_view> direct = FindVariable(checks.baseline.variables, name);
        const std::optional<std::string_view> through = FindVariable(variables, name);
        if (direct && (!through || *through != *direct)) {
            return std::string("プロキシがリクエストを書き換えました(") + name + ")";
        }
    }
    return {};
}

std::string FirstLine(const std::string& text) {
    return ShownJudgeText(text.substr(0, text.find_first_of("\r\n")));
}

} // namespace

std::string ShownJudgeText(const std::string& text) {
    std::string shown;
    for (const char c : text) {
        if (shown.size() >= kShownJudgeTextBytes) {
            shown += "...";
            break;
        }
        shown += c >= 0x20 && c <= 0x7E ? c : '?';
    }
    return shown;
}

void ApplyJudgeChecks(Judgement& judgement, const std::string& answer, const JudgeChecks& checks,
                      const std::string& nonce) {
    if (!judgement.usable || (!checks.strict && !checks.byValue && checks.key.empty())) {
        return;
    }
    // Read where the answer lies: it outlives every use of its parts here.
    HttpAnswerView page;
    std::string joined;
    const bool split = SplitHttpAnswer(answer, page, joined);
    const JudgeVariables variables = split ? JudgeVariables::InPlace(page.body) : JudgeVariables{};
    if (!checks.key.empty()) {
        const SignatureFailure signature =
            split ? SignatureReason(page, checks.key, nonce)
                  : SignatureFailure{std::string(kOwnPage) + "（判定用CGIの署名がありません）", Failure::Ng};
        if (!signature.reason.empty()) {
            MakeNg(judgement, signature.reason, signature.failure);
            return;
        }
        if (const std::string changed = ChangedOutsideTheBody(page, variables, checks); !changed.empty()) {
            MakeNg(judgement, changed, Failure::Tampered);
            return;
        }
    }
    if (!checks.strict && !checks.byValue) {
        return;
    }
    if (!checks.strict) {
        GradeByValue(judgement, checks, variables);
        return;
    }
    const StrictFinding finding = GradeStrictly(checks.baseline, checks.ours, variables);
    switch (finding.kind) {
    case StrictFinding::Kind::NotJudgePage:
        MakeNg(judgement, std::string(kOwnPage) + "（テストページの" + finding.variable + "がありません）",
               Failure::Tampered);
        break;
    case StrictFinding::Kind::OwnAddress:
        GradeNonAnonymous(judgement, finding);
        break;
    case StrictFinding::Kind::ProxyVariable:
        GradeProxyVariable(judgement, finding);
        break;
    case StrictFinding::Kind::Nothing:
        Grade(judgement, kResultAnonymousA, StatusAnonymous, kLogNoneFound,
              "直接アクセスした時にない、プロキシを示す変数はありません");
        break;
    }
}

DirectJudgeOutcome ReadDirectJudgeAnswer(bool answered, const std::string& answer, const JudgeAsks& asks,
                                         const std::string& nonce, const OwnAddresses& machine) {
    DirectJudgeOutcome outcome;
    HttpAnswerView page;
    std::string joined;
    const bool split = answered && SplitHttpAnswer(answer, page, joined);
    std::string cause;
    if (!answered) {
        cause = "判定用CGIから応答がありません";
    } else if (!split || page.statusLine.find("200 OK") == std::string::npos) {
        cause = "判定用CGIの応答：" + FirstLine(answer);
    }
    if (!asks.key.empty()) {
        if (cause.empty()) {
            cause = DirectSignatureCause(page, asks.key, nonce);
        }
        if (!cause.empty()) {
            outcome.stop = "署名付きの判定用CGIを確認できないため、チェックを中止しました（" + cause + "）";
            return outcome;
        }
        outcome.checks.key = asks.key;
        outcome.checks.directHeaders = std::string(page.headers);
    }
    if (!asks.strict && !asks.byValue) {
        // The signed judge's page still tells what the judge received from us directly.
        if (!asks.key.empty()) {
            outcome.checks.baseline = ReadJudgeBaseline(page);
        }
        return outcome;
    }
    outcome.checks.byValue = true;
    JudgeBaseline baseline = split ? ReadJudgeBaseline(page) : JudgeBaseline{};
    if (baseline.usable) {
        AddOwnAddress(outcome.checks.ours, baseline.ourAddress, baseline.ourAddressText);
    }
    for (const OwnAddress& own : machine) {
        AddOwnAddress(outcome.checks.ours, own.bytes, own.text);
    }
    if (!baseline.usable) {
        if (cause.empty()) {
            cause = "REMOTE_ADDRがありません";
        }
        outcome.notice =
            asks.strict
                ? "NOTICE>判定用CGIに直接アクセスして基準を得られないため、通常の判定を行います（" + cause + "）\r\n"
                : "NOTICE>判定用CGIに直接アクセスできないため、接続元のIPアドレスはこのマシンの"
                  "アドレスだけで探します（" +
                      cause + "）\r\n";
        return outcome;
    }
    outcome.checks.strict = asks.strict;
    outcome.checks.baseline = std::move(baseline);
    MarkCleanValues(outcome.checks.baseline, outcome.checks.ours);
    return outcome;
}

} // namespace zandel
