#include "core/check/AnswerJudge.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <openssl/x509_vfy.h>

#include "core/check/SocksReport.h"
#include "core/list/ProxyRow.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

constexpr const char* kLogTimeout = "結果：タイムアウトが起こりました\r\n";
constexpr const char* kLogNoThread = "結果：あるいはソケットのエラーと思われます\r\n";
constexpr const char* kLogStopped = "結果：プロキシチェックを強制終了しました\r\n";
constexpr const char* kLogSocketError = "結果：サーバに接続できない、あるいはソケットのエラーと思われます\r\n";
constexpr const char* kLogResponseError = "結果：プロキシサーバのレスポンスエラーです\r\n";
constexpr const char* kLogNotJudgePage = "応答がテストページのものではないため、匿名性を判定できません\r\n";

constexpr std::size_t kMaxNoteLineChars = 258;
// The note has room for 1039 characters; a variable line that no longer fits whole is left out.
constexpr std::size_t kMaxNoteChars = 1039;

Judgement Failed(const char* log, int returnValue) {
    Judgement judgement;
    judgement.result = kResultNg;
    judgement.image = StatusNG;
    judgement.log = log;
    judgement.returnValue = returnValue;
    return judgement;
}

// The variable as the script printed it: from its name up to the line end or the start of markup.
std::string VariableLine(const std::string& answer, std::size_t start) {
    std::size_t end = start;
    while (end < answer.size() && end - start < kMaxNoteLineChars && answer[end] != '\r' && answer[end] != '\n' &&
           answer[end] != '<') {
        ++end;
    }
    return answer.substr(start, end - start);
}

// The test page's echo of our request: which of the variables that tell an address or a proxy it shows.
void GradeAnonymity(const std::string& answer, Judgement& judgement) {
    std::string note;
    bool addressFound = false;
    bool proxyFound = false;
    auto collect = [&](const auto& names, bool& found) {
        for (const char* name : names) {
            const auto at = answer.find(name);
            if (at == std::string::npos) {
                continue;
            }
            found = true;
            const std::string line = VariableLine(answer, at) + "\r\n";
            if (note.size() + line.size() <= kMaxNoteChars) {
                note += line;
            }
        }
    };
    collect(kAddressVariables, addressFound);
    collect(kProxyVariables, proxyFound);

    if (!note.empty()) {
        judgement.log += "\r\n" + note + "\r\n";
    }
    if (addressFound) {
        judgement.result = kResultNonAnonymous;
        judgement.image = StatusNonAnonymous;
        judgement.log += kLogAddressFound;
    } else if (proxyFound) {
        judgement.result = kResultAnonymousB;
        judgement.log += kLogProxyFound;
    } else {
        judgement.result = kResultAnonymousA;
        judgement.log += kLogNoneFound;
    }
}

} // namespace

Judgement JudgeAnswerText(ProbeResult result, const std::string& answer, bool cgi, bool timeoutMark) {
    switch (result) {
    case ProbeResult::PR_TIMEOUT:
        return Failed(kLogTimeout, 0);
    case ProbeResult::PR_NO_THREAD:
        return Failed(kLogNoThread, 0);
    case ProbeResult::PR_CANCELLED:
        return timeoutMark ? Failed(kLogTimeout, 0) : Failed(kLogStopped, 1);
    case ProbeResult::PR_SOCKET_ERROR:
        return Failed(kLogSocketError, 0);
    case ProbeResult::PR_DONE:
        break;
    }
    if (answer.find("200 OK") == std::string::npos) {
        return Failed(kLogResponseError, 0);
    }

    Judgement judgement;
    judgement.usable = true;
    judgement.returnValue = 1;
    judgement.image = StatusAnonymous;

    // Every server-variable echo prints REMOTE_ADDR: a page without it (a captive portal's, a proxy's own) is
    // no test page's answer, and finding no forwarding variable in it proves nothing.
    const bool echo = answer.find("REMOTE_ADDR") != std::string::npos;
    if (!cgi || !echo) {
        judgement.result = kResultOk;
        judgement.log = cgi ? std::string(kLogNotJudgePage) + kLogUsable : kLogUsable;
        if (cgi) {
            judgement.reason = std::string(kLogNotJudgePage, std::strlen(kLogNotJudgePage) - 2);
        }
        return judgement;
    }

    GradeAnonymity(answer, judgement);
    judgement.log += kLogUsable;
    return judgement;
}

} // namespace zandel

namespace zandel {

namespace {

constexpr const char* kTunnelPrefix = "HTTPS結果：";

// Whether the proxy showed another certificate than the target's own: the target verified directly, or showed a
// different one. Without a certificate seen directly nothing proves a swap.
bool CertificateSwapped(const TunnelReport& through, const TunnelReport& direct) {
    using End = TunnelReport::End;
    if (direct.end == End::Verified) {
        return true;
    }
    return direct.end == End::NotVerified && !direct.fingerprint.empty() && !through.fingerprint.empty() &&
           direct.fingerprint != through.fingerprint;
}

std::string Seen(const std::string& what) {
    return what.empty() ? std::string() : "（" + what + "）";
}

// A handshake made whose certificate does not verify: the target's own, one out of its dates, or an interceptor's.
void JudgeUnverified(const TunnelReport& report, const TunnelReport* direct, TunnelJudgement& judgement) {
    using End = TunnelReport::End;
    const std::string prefix = kTunnelPrefix;
    if (direct != nullptr && !CertificateSwapped(report, *direct)) {
        judgement.log =
            prefix +
            (direct->end == End::NotVerified
                 ? "接続先自身の証明書を検証できません。プロキシは証明書を変えていません"
                 : "証明書を検証できません。接続先へ直接接続して比べられないため、盗聴かどうかは判断できません") +
            Seen(report.detail) + "\r\n";
        return;
    }
    // An interceptor makes its certificate on the spot: one out of its dates is the target's own.
    if (direct == nullptr &&
        (report.verifyError == X509_V_ERR_CERT_HAS_EXPIRED || report.verifyError == X509_V_ERR_CERT_NOT_YET_VALID)) {
        judgement.log = prefix + "接続先の証明書が有効期間外のため検証できません" + Seen(report.detail) +
                        "\r\n証明書の発行先：" + report.subject + "\r\n証明書の発行者：" + report.issuer + "\r\n";
        return;
    }
    judgement.cell = kHttpsMitm;
    judgement.log = prefix + "証明書を検証できません。通信が盗聴されている可能性があります" + Seen(report.detail) +
                    "\r\n証明書の発行先：" + report.subject + "\r\n証明書の発行者：" + report.issuer + "\r\n";
}

} // namespace

TunnelJudgement JudgeTunnel(const TunnelReport& report, bool stepOn, ProbeResult result, bool timeoutMark,
                            const TunnelReport* direct) {
    using End = TunnelReport::End;
    const std::string prefix = kTunnelPrefix;
    TunnelJudgement judgement{kHttpsNg, {}};
    switch (report.end) {
    case End::NotRun:
        // A proxy the GET could not get through to carries no HTTPS either; a user's stop decides nothing, and the
        // cell of an earlier check stays.
        return {stepOn && (result != ProbeResult::PR_CANCELLED || timeoutMark) ? kHttpsNg : kHttpsUnchecked, ""};
    case End::Stopped:
        if (!timeoutMark) {
            return {kHttpsUnchecked, prefix + "チェックを強制終了しました\r\n"};
        }
        [[fallthrough]];
    case End::TimedOut:
        judgement.log = prefix + "タイムアウトが起こりました\r\n";
        break;
    case End::Refused:
        judgement.log = prefix + "トンネル用にプロキシサーバへ接続できませんでした\r\n";
        break;
    case End::Closed:
        judgement.log = prefix + "CONNECTへの応答の前に接続が切断されました\r\n";
        break;
    case End::BadStatus:
        judgement.log = prefix + "CONNECTが拒否されました" + Seen(report.statusLine) + "\r\n";
        break;
    case End::TooLong:
        judgement.log = prefix + "CONNECTへの応答ヘッダが長すぎます" + Seen(report.statusLine) + "\r\n";
        break;
    case End::HandshakeClosed:
        judgement.log = prefix + "TLSハンドシェイク中に接続が切断されました" + Seen(report.statusLine) + "\r\n";
        break;
    case End::HandshakeFailed:
        judgement.log = prefix + "TLSハンドシェイクに失敗しました" + Seen(report.detail) + "\r\n";
        break;
    case End::Verified:
        judgement.cell = kHttpsOk;
        judgement.log = prefix + "HTTPSが使用可能なプロキシサーバです" + Seen(report.statusLine) + "\r\n";
        break;
    case End::NotVerified:
        JudgeUnverified(report, direct, judgement);
        break;
    }
    return judgement;
}

} // namespace zandel

namespace zandel {

void JudgeProxyRefusal(const ProbeJob& job, ProbeResult result, bool login, const std::string& answer,
                       Judgement& judgement) {
    if (job.tlsServer) {
        constexpr const char* kTlsServer = "プロキシサーバではありません（TLSサーバが応答しました）";
        judgement.result = kResultNg;
        judgement.image = StatusNG;
        judgement.usable = false;
        judgement.returnValue = 0;
        judgement.log = std::string("結果：") + kTlsServer + "\r\n";
        judgement.reason = kTlsServer;
        return;
    }
    if (result == ProbeResult::PR_SOCKET_ERROR) {
        if (const std::string refusal = SocksRefusalText(job.socks); !refusal.empty()) {
            judgement.log = "結果：" + refusal + "\r\n";
        }
        return;
    }
    // The proxy's own status line, as far as the transcript shows one. 407 is the refusal of a proxy login; some
    // proxies (tinyproxy) answer a wrong one with a server's 401.
    const std::string line = answer.substr(0, std::min(FindAnyOf(answer, "\r\n"), kMaxNoteLineChars));
    const std::size_t blank = line.find(' ');
    const std::string code = blank == std::string::npos ? std::string() : line.substr(blank + 1, 4);
    const bool refused = code == "407" || code == "407 " || code == "401" || code == "401 ";
    if (result == ProbeResult::PR_DONE && login && !judgement.usable && line.compare(0, 5, "HTTP/") == 0 && refused) {
        judgement.log = "結果：プロキシサーバがログインを拒否しました（" + line + "）\r\n";
    }
}

} // namespace zandel
