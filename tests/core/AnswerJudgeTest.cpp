#include "core/check/AnswerJudge.h"

#include <gtest/gtest.h>

#include "core/check/JudgeChecks.h"
#include "core/check/SocksStep.h"
#include "core/list/ProxyRow.h"

namespace zandel {
namespace {

using enum ProbeResult;

const std::string kOkHead = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

TEST(AnswerJudgeTest, FailuresAreNgWithTheirReason) {
    struct Case {
        ProbeResult result;
        bool mark;
        const char* log;
        int returnValue;
    };
    const Case cases[] = {
        {PR_TIMEOUT, false, "結果：タイムアウトが起こりました\r\n", 0},
        {PR_NO_THREAD, false, "結果：あるいはソケットのエラーと思われます\r\n", 0},
        {PR_CANCELLED, false, "結果：プロキシチェックを強制終了しました\r\n", 1},
        {PR_CANCELLED, true, "結果：タイムアウトが起こりました\r\n", 0},
        {PR_SOCKET_ERROR, false, "結果：サーバに接続できない、あるいはソケットのエラーと思われます\r\n", 0},
        {PR_DONE, false, "結果：プロキシサーバのレスポンスエラーです\r\n", 0},
    };
    for (const Case& c : cases) {
        // Even a good answer in the buffer does not rescue a failed exchange.
        const std::string answer = c.result == PR_DONE ? "HTTP/1.0 403 Forbidden\r\n\r\n" : kOkHead;
        const Judgement j = JudgeAnswerText(c.result, answer, true, c.mark);
        EXPECT_EQ(j.result, "NG");
        EXPECT_EQ(j.image, StatusNG);
        EXPECT_EQ(j.log, c.log);
        EXPECT_EQ(j.returnValue, c.returnValue);
        EXPECT_FALSE(j.usable);
    }
}

TEST(AnswerJudgeTest, RefusedProxyNamesWhatItRefusedInOneLine) {
    using End = SocksReport::End;
    struct Case {
        End end;
        int version;
        std::uint8_t code;
        ProbeResult result;
        bool login;
        std::string answer;
        const char* log;
    };
    const std::string socketError = "結果：サーバに接続できない、あるいはソケットのエラーと思われます\r\n";
    const std::string responseError = "結果：プロキシサーバのレスポンスエラーです\r\n";
    // clang-format off
    const Case cases[] = {
        {End::Rejected, 5, 2, PR_SOCKET_ERROR, false, "", "結果：SOCKSプロキシが接続を拒否しました：規則により許可されていません(2)\r\n"},
        {End::Rejected, 5, 200, PR_SOCKET_ERROR, false, "", "結果：SOCKSプロキシが接続を拒否しました：不明な理由(200)\r\n"},
        {End::Rejected, 4, 92, PR_SOCKET_ERROR, false, "", "結果：SOCKSプロキシが接続を拒否しました：identdに接続できません(92)\r\n"},
        {End::LoginTooLong, 5, 0, PR_SOCKET_ERROR, true, "", "結果：ユーザ名かパスワードがSOCKSの上限(255バイト)を超えています\r\n"},
        {End::NeedsIpv4, 4, 0, PR_SOCKET_ERROR, false, "", "結果：SOCKS4では接続先のIPv4アドレスが必要です\r\n"},
        // A proxy that was never reached, or a SOCKS step that timed out, reads as it always has.
        {End::NotRun, 5, 0, PR_SOCKET_ERROR, false, "", socketError.c_str()},
        {End::TimedOut, 5, 0, PR_TIMEOUT, false, "", "結果：タイムアウトが起こりました\r\n"},
        {End::NotRun, 0, 0, PR_DONE, true, "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n", "結果：プロキシサーバがログインを拒否しました（HTTP/1.1 407 Proxy Authentication Required）\r\n"},
        {End::NotRun, 0, 0, PR_DONE, true, "HTTP/1.0 401\r\n\r\n", "結果：プロキシサーバがログインを拒否しました（HTTP/1.0 401）\r\n"},
        // Without a login a 407 is the response error it always was; a 4070 is no 407.
        {End::NotRun, 0, 0, PR_DONE, false, "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n", responseError.c_str()},
        {End::NotRun, 0, 0, PR_DONE, true, "HTTP/1.1 4070 x\r\n\r\n", responseError.c_str()},
        {End::NotRun, 0, 0, PR_DONE, true, "SSH 407\r\n", responseError.c_str()},
    };
    // clang-format on
    for (const Case& c : cases) {
        ProbeJob job;
        job.socks = {c.end, c.version, c.code};
        Judgement j = JudgeAnswerText(c.result, c.answer, false, false);
        JudgeProxyRefusal(job, c.result, c.login, c.answer, j);
        EXPECT_EQ(j.log, c.log) << c.answer;
        EXPECT_EQ(j.result, "NG");
    }
}

TEST(AnswerJudgeTest, TwoHundredOkAnywhereCountsAsUsable) {
    const Judgement j = JudgeAnswerText(PR_DONE, "HTTP/1.0 403 Forbidden\r\n\r\nsee 200 OK", false, false);
    EXPECT_EQ(j.result, "OK");
    EXPECT_EQ(j.image, StatusAnonymous);
    EXPECT_TRUE(j.usable);
    EXPECT_EQ(j.returnValue, 1);
    EXPECT_EQ(j.log, "結果：使用可能なプロキシサーバです\r\n");
}

TEST(AnswerJudgeTest, AddressVariableMakesNonAnonymousAndIsNotedFirst) {
    const std::string answer = kOkHead + "HTTP_VIA=1.1 squid\nHTTP_X_FORWARDED_FOR=10.1.2.3\nREMOTE_ADDR=10.9.9.9\n";
    const Judgement j = JudgeAnswerText(PR_DONE, answer, true, false);
    EXPECT_EQ(j.result, "Non-Anonymous");
    EXPECT_EQ(j.image, StatusNonAnonymous);
    EXPECT_EQ(j.log, "\r\nHTTP_X_FORWARDED_FOR=10.1.2.3\r\nHTTP_VIA=1.1 squid\r\n\r\n"
                     "接続元のIPアドレスが通知されている可能性があります\r\n"
                     "結果：使用可能なプロキシサーバです\r\n");
}

TEST(AnswerJudgeTest, ProxyVariablesOnlyMakeAnonymousB) {
    const std::string answer = kOkHead + "<tr><td>HTTP_CACHE_CONTROL</td><td>max-age=0</td></tr>REMOTE_ADDR";
    const Judgement j = JudgeAnswerText(PR_DONE, answer, true, false);
    EXPECT_EQ(j.result, "Anonymous(B)");
    EXPECT_EQ(j.image, StatusAnonymous);
    // The note line stops at the markup.
    EXPECT_EQ(j.log, "\r\nHTTP_CACHE_CONTROL\r\n\r\n"
                     "リクエストヘッダにプロキシ特有の環境変数を付加するプロキシです\r\n"
                     "結果：使用可能なプロキシサーバです\r\n");
}

TEST(AnswerJudgeTest, NoVariableMakesAnonymousAWithoutNote) {
    const Judgement j = JudgeAnswerText(PR_DONE, kOkHead + "HTTP_USER_AGENT=x\nREMOTE_ADDR=10.9.9.9\n", true, false);
    EXPECT_EQ(j.result, "Anonymous(A)");
    EXPECT_EQ(j.log, "リクエストヘッダにプロキシ特有の環境変数を付加しないプロキシです\r\n"
                     "結果：使用可能なプロキシサーバです\r\n");
}

// A captive portal or a proxy answering with its own page finds no forwarding variable either: without the
// REMOTE_ADDR every echo prints, the page is no judge's answer and earns no grade.
TEST(AnswerJudgeTest, PageWithoutTheEchoIsOnlyOkWithTheReason) {
    const Judgement j =
        JudgeAnswerText(PR_DONE, kOkHead + "<html>Welcome to FreeWiFi. Please log in.</html>", true, false);
    EXPECT_EQ(j.result, "OK");
    EXPECT_TRUE(j.usable);
    EXPECT_EQ(j.log, "応答がテストページのものではないため、匿名性を判定できません\r\n"
                     "結果：使用可能なプロキシサーバです\r\n");
}

TEST(AnswerJudgeTest, PlainPageIsOnlyOkAndLogsNoNote) {
    const Judgement j = JudgeAnswerText(PR_DONE, kOkHead + "HTTP_X_FORWARDED_FOR=1\nHTTP_VIA=2\n", false, false);
    EXPECT_EQ(j.result, "OK");
    EXPECT_EQ(j.log, "結果：使用可能なプロキシサーバです\r\n");
}

TEST(AnswerJudgeTest, NoteLinesAreCutAndTheNoteNeverOverflows) {
    // One 300-byte variable line is noted with its first 258 bytes.
    const std::string longValue(300 - 9, 'v');
    Judgement j = JudgeAnswerText(PR_DONE, kOkHead + "REMOTE_ADDR=1\nHTTP_VIA=" + longValue, true, false);
    const std::string expectedLine = ("HTTP_VIA=" + longValue).substr(0, 258);
    EXPECT_EQ(j.log.substr(0, 2 + 258 + 2), "\r\n" + expectedLine + "\r\n");

    // All twelve names with long values: what does not fit in 1039 bytes is left out, lines stay whole.
    std::string answer = kOkHead + "REMOTE_ADDR=1\n";
    for (const char* name : {"HTTP_X_FORWARDED_FOR", "HTTP_FROM", "HTTP_CLIENT_IP", "HTTP_SP_HOST", "HTTP_X_LOCKING",
                             "HTTP_PROXY_CONNECTION", "HTTP_XONNECTION", "HTTP_XROXY_CONNECTION", "HTTP_CACHE_CONTROL",
                             "HTTP_CACHE_INFO", "HTTP_FORWARDED", "HTTP_VIA"}) {
        answer += std::string(name) + "=" + std::string(280, 'x') + "\n";
    }
    j = JudgeAnswerText(PR_DONE, answer, true, false);
    EXPECT_EQ(j.result, "Non-Anonymous");
    const std::size_t noteEnd = j.log.find("\r\n\r\n", 2);
    ASSERT_NE(noteEnd, std::string::npos);
    const std::string note = j.log.substr(2, noteEnd + 2 - 2);
    EXPECT_LE(note.size(), 1039U);
    EXPECT_EQ(note.size() % 260, 0U) << "only whole 258-byte lines";
}

} // namespace
} // namespace zandel

namespace zandel {
namespace {

using enum ProbeResult;

// A stop decides nothing about HTTPS and leaves an earlier cell alone, while a time-out is a failure; a proxy the
// GET could not reach cannot carry HTTPS either, once the step is on.
TEST(AnswerJudgeTest, HttpsCellTellsStopsFromFailures) {
    using End = TunnelReport::End;
    struct Case {
        End end;
        bool stepOn;
        ProbeResult result;
        bool mark;
        const char* cell;
        const char* log;
    };
    // clang-format off
    const Case cases[] = {
        {End::NotRun, false, PR_DONE, false, "---", ""},
        {End::NotRun, true, PR_SOCKET_ERROR, false, "NG", ""},
        {End::NotRun, true, PR_CANCELLED, false, "---", ""},
        {End::NotRun, true, PR_CANCELLED, true, "NG", ""},
        {End::Stopped, true, PR_DONE, false, "---", "HTTPS結果：チェックを強制終了しました\r\n"},
        {End::Stopped, true, PR_DONE, true, "NG", "HTTPS結果：タイムアウトが起こりました\r\n"},
        // A success whose head never ended was no refusal.
        {End::TooLong, true, PR_DONE, false, "NG", "HTTPS結果：CONNECTへの応答ヘッダが長すぎます（HTTP/1.0 200 OK）\r\n"},
    };
    // clang-format on
    for (const Case& c : cases) {
        TunnelReport report;
        report.end = c.end;
        report.statusLine = "HTTP/1.0 200 OK";
        const TunnelJudgement j = JudgeTunnel(report, c.stepOn, c.result, c.mark);
        EXPECT_EQ(j.cell, c.cell) << static_cast<int>(c.end) << " " << static_cast<int>(c.result) << " " << c.mark;
        EXPECT_EQ(j.log, c.log);
    }
}

// A certificate that does not verify through the proxy is "MITM" only on evidence from the handshake made straight
// with the target: the target verified, or showed another certificate. Otherwise it is the target's fault, or
// cannot be told, and "NG".
TEST(AnswerJudgeTest, MitmOnlyWhenTheTargetShowsAnotherCertificateDirectly) {
    using End = TunnelReport::End;
    struct Case {
        const char* name;
        End directEnd;
        const char* directFingerprint;
        const char* cell;
        const char* reason;
    };
    const Case cases[] = {
        {"target verifies directly", End::Verified, "aa", "MITM", "盗聴されている可能性があります"},
        {"another certificate directly", End::NotVerified, "bb", "MITM", "盗聴されている可能性があります"},
        {"the same certificate directly", End::NotVerified, "aa", "NG", "プロキシは証明書を変えていません"},
        {"no handshake directly", End::HandshakeFailed, "", "NG", "盗聴かどうかは判断できません"},
        {"target unreachable directly", End::Refused, "", "NG", "盗聴かどうかは判断できません"},
    };
    TunnelReport through;
    through.end = End::NotVerified;
    through.fingerprint = "aa";
    through.detail = "self-signed certificate";
    for (const Case& c : cases) {
        TunnelReport direct;
        direct.end = c.directEnd;
        direct.fingerprint = c.directFingerprint;
        const TunnelJudgement j = JudgeTunnel(through, true, PR_DONE, false, &direct);
        EXPECT_EQ(j.cell, c.cell) << c.name;
        EXPECT_NE(j.log.find(c.reason), std::string::npos) << c.name << ": " << j.log;
    }
}

// Whatever a proxy (or a broken judge) sends, the judge's checks never let a page they cannot vouch for pass as
// anonymous: no signature, a judge's own error, a page cut short, bytes of no page at all.
TEST(JudgeChecksTest, APageTheChecksCannotVouchForIsNg) {
    JudgeChecks checks;
    checks.key = "k3y-for-the-tests";
    HttpAnswer direct;
    ASSERT_TRUE(SplitHttpAnswer("HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\nREQUEST_METHOD=GET\n", direct));
    checks.baseline = ReadJudgeBaseline(direct);
    const std::string echo = "REMOTE_ADDR=127.0.0.2\nREQUEST_METHOD=GET\n";
    // A page the proxy put in the judge's place is tampering; one the judge or the connection spoilt is "NG".
    const char* tampered = "NG(Tampered)";
    struct Case {
        const char* name;
        std::string answer;
        const char* reason;
        const char* result;
    };
    // clang-format off
    const Case cases[] = {
        {"welcome page", kOkHead + "Welcome to FreeWiFi.", "署名がありません", tampered},
        {"judge's error", kOkHead + echo + "ZANDEL_NONCE=n\nZANDEL_ERROR=key \x1b[2Jfile\n", "key ?[2Jfile", "NG"},
        {"cut short", "HTTP/1.0 200 OK\r\nContent-Length: 90000\r\n\r\n" + echo, "途切れています", "NG"},
        {"two signatures", kOkHead + echo + "ZANDEL_NONCE=n\nZANDEL_HMAC=" + std::string(64, 'a') + "\nZANDEL_HMAC=x\n", "ZANDEL_HMAC", tampered},
        {"binary", "HTTP/1.0 200 OK REMOTE_ADDR\r\n\r\n" + std::string("\xff\xfe\x01\x02", 4), "署名がありません", tampered},
        {"no head", "HTTP/1.0 200 OK REMOTE_ADDR", "署名がありません", "NG"},
    };
    // clang-format on
    for (bool strict : {false, true}) {
        checks.strict = strict;
        for (const Case& c : cases) {
            Judgement j = JudgeAnswerText(PR_DONE, c.answer, true, false);
            ApplyJudgeChecks(j, c.answer, checks, "n");
            EXPECT_EQ(j.result, c.result) << c.name;
            EXPECT_EQ(j.image, j.result == "NG" ? StatusNG : StatusTampered) << c.name;
            EXPECT_FALSE(j.usable) << c.name;
            EXPECT_NE(j.reason.find(c.reason), std::string::npos) << c.name << ": " << j.reason;
            EXPECT_EQ(j.log, "結果：" + j.reason + "\r\n") << c.name;
        }
    }

    // Without the key, strict grading alone tells a page of the proxy's own from the judge's.
    checks.key.clear();
    Judgement j = JudgeAnswerText(PR_DONE, kOkHead + "Welcome REMOTE_ADDR", true, false);
    ApplyJudgeChecks(j, kOkHead + "Welcome REMOTE_ADDR", checks, "");
    EXPECT_EQ(j.result, "NG(Tampered)");
    // A failure stays the failure it was.
    j = JudgeAnswerText(PR_TIMEOUT, "", true, false);
    ApplyJudgeChecks(j, "", checks, "");
    EXPECT_EQ(j.log, "結果：タイムアウトが起こりました\r\n");
}

// The grade of every run: with the judge's page had directly, a page of the proxy's own is NG and a proxy's header
// the judge showed no sign of is Anonymous(B); without it (the judge answered nothing directly) only our address is
// looked for, among this machine's, and the plain grade stands otherwise. Never better than the plain grade.
TEST(JudgeChecksTest, EveryRunLooksForOurAddressAndTheJudgesPage) {
    const OwnAddresses machine = {{{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 10, 0, 0, 7}, "10.0.0.7"}};
    const JudgeAsks asks{true, false, ""};
    const std::string direct = kOkHead + "REMOTE_ADDR=203.0.113.5\nREQUEST_METHOD=GET\nHTTP_VIA=1.1 cdn\n";
    const DirectJudgeOutcome had = ReadDirectJudgeAnswer(true, direct, asks, "", machine);
    const DirectJudgeOutcome none = ReadDirectJudgeAnswer(false, "", asks, "", machine);
    EXPECT_EQ(had.notice, "");
    EXPECT_NE(none.notice.find("NOTICE>"), std::string::npos);
    struct Case {
        const char* name;
        std::string page;
        const char* withBaseline;
        const char* without;
    };
    // clang-format off
    const Case cases[] = {
        {"captive", "Welcome to FreeWiFi", "NG(Tampered)", "OK"},
        {"captive naming the variable", "Log in to see your REMOTE_ADDR", "NG(Tampered)", "Anonymous(A)"},
        {"our public address", "REMOTE_ADDR=198.51.100.1\nHTTP_X_REAL_IP=203.0.113.5\n", "Non-Anonymous", "Anonymous(A)"},
        {"this machine's address", "REMOTE_ADDR=198.51.100.1\nHTTP_X_ORIGIN=ip:10.0.0.7\n", "Non-Anonymous", "Non-Anonymous"},
        {"a proxy's header", "REMOTE_ADDR=198.51.100.1\nHTTP_X_PROXY_ID=77\n", "Anonymous(B)", "Anonymous(A)"},
        {"the judge's own header", "REMOTE_ADDR=198.51.100.1\nHTTP_VIA=1.1 cdn\n", "Anonymous(B)", "Anonymous(B)"},
        {"forwarded by name", "REMOTE_ADDR=198.51.100.1\nHTTP_X_FORWARDED_FOR=192.0.2.9\n", "Non-Anonymous", "Non-Anonymous"},
        {"nothing", "REMOTE_ADDR=198.51.100.1\nHTTP_ACCEPT=*/*\n", "Anonymous(A)", "Anonymous(A)"},
        {"the judge's header with our address added", "REMOTE_ADDR=198.51.100.1\nHTTP_VIA=1.1 cdn, 203.0.113.5\n", "Non-Anonymous", "Anonymous(B)"},
        {"our address beside a proxy's Via", "REMOTE_ADDR=198.51.100.1\nHTTP_VIA=1.1 squid\nHTTP_X_CLIENT=203.0.113.5\n", "Non-Anonymous", "Anonymous(B)"},
        {"the judge's Via under a proxy's name", "REMOTE_ADDR=198.51.100.1\nHTTP_X_PROXY_ID=1.1 cdn\n", "Anonymous(B)", "Anonymous(A)"},
        {"captive naming the forwarding variable", "Log in to see your REMOTE_ADDR and HTTP_X_FORWARDED_FOR", "NG(Tampered)", "Non-Anonymous"},
    };
    // clang-format on
    for (const Case& c : cases) {
        for (const DirectJudgeOutcome* outcome : {&had, &none}) {
            Judgement j = JudgeAnswerText(PR_DONE, kOkHead + c.page, true, false);
            const std::string plainLog = j.log;
            ApplyJudgeChecks(j, kOkHead + c.page, outcome->checks, "");
            EXPECT_EQ(j.result, outcome == &had ? c.withBaseline : c.without) << c.name;
            EXPECT_EQ(j.usable, !IsNgResult(j.result)) << c.name;
            if (j.result == JudgeAnswerText(PR_DONE, kOkHead + c.page, true, false).result) {
                EXPECT_EQ(j.log, plainLog) << c.name << ": a grade the page confirms keeps its transcript";
            } else {
                EXPECT_FALSE(j.reason.empty()) << c.name;
            }
        }
    }
}

} // namespace
} // namespace zandel
