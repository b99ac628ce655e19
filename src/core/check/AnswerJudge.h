#pragma once

#include <array>
#include <string>

#include "core/check/ProxyProbe.h"
#include "core/check/TunnelReport.h"
#include "core/list/ProxyRow.h"

namespace zandel {

inline constexpr const char* kResultAnonymousA = "Anonymous(A)";
inline constexpr const char* kResultAnonymousB = "Anonymous(B)";
inline constexpr const char* kResultNonAnonymous = "Non-Anonymous";
inline constexpr const char* kResultOk = "OK";
inline constexpr const char* kResultNg = "NG";
inline constexpr const char* kResultTampered = kTamperedResult;

// Variables that can carry the client's address, searched first.
inline constexpr std::array<const char*, 5> kAddressVariables = {
    "HTTP_X_FORWARDED_FOR", "HTTP_FROM", "HTTP_CLIENT_IP", "HTTP_SP_HOST", "HTTP_X_LOCKING",
};
// Variables that only show a proxy at work.
inline constexpr std::array<const char*, 7> kProxyVariables = {
    "HTTP_PROXY_CONNECTION", "HTTP_XONNECTION", "HTTP_XROXY_CONNECTION", "HTTP_CACHE_CONTROL", "HTTP_CACHE_INFO",
    "HTTP_FORWARDED",        "HTTP_VIA",
};

// The lines that tell a grade, shared by the plain and the strict grading.
inline constexpr const char* kLogAddressFound = "接続元のIPアドレスが通知されている可能性があります\r\n";
inline constexpr const char* kLogProxyFound = "リクエストヘッダにプロキシ特有の環境変数を付加するプロキシです\r\n";
inline constexpr const char* kLogNoneFound = "リクエストヘッダにプロキシ特有の環境変数を付加しないプロキシです\r\n";
inline constexpr const char* kLogUsable = "結果：使用可能なプロキシサーバです\r\n";

// What one finished job showed.
struct Judgement {
    std::string result;  // one of the five result texts
    int image = 0;       // status image of the result
    std::string log;     // the judgement's log text, in order (each line ends in CR LF)
    std::string reason;  // why the grade is what it is, for the result cell's tip (empty: nothing to add)
    bool usable = false; // "200 OK" found after a completed exchange: the response time is shown
    int returnValue = 0; // 1 when usable or stopped by the user, else 0
};

// Decides a job's result from its ProbeResult and answer. `cgi` grades anonymity; `timeoutMark` turns a
// cancel into a time-out.
Judgement JudgeAnswerText(ProbeResult result, const std::string& answer, bool cgi, bool timeoutMark);

// The reason line of a proxy that refused to carry the job: what its SOCKS step was refused, or, for an HTTP
// proxy given a login (`login`), its 407 answer; and of a TLS server that type detection found in its place.
// Leaves any other judgement as it is.
void JudgeProxyRefusal(const ProbeJob& job, ProbeResult result, bool login, const std::string& answer,
                       Judgement& judgement);

} // namespace zandel

namespace zandel {

// The row's HTTPS cell and the reason line of the HTTPS step ("" for a step that did not run).
struct TunnelJudgement {
    std::string cell;
    std::string log;
};

// `stepOn`: the run has the HTTPS step. `result` is the job's, and `timeoutMark` turns a stop into a time-out,
// as for the exchange before the step.
// `direct`, when the run tried one, is the handshake made straight with the target: a certificate that does not
// verify through the proxy is "MITM" only when the target verified directly or showed another certificate; the
// very one the target shows, or none to compare with, is "NG" with the reason.
TunnelJudgement JudgeTunnel(const TunnelReport& report, bool stepOn, ProbeResult result, bool timeoutMark,
                            const TunnelReport* direct = nullptr);

} // namespace zandel
