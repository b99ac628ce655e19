// SOCKS4, SOCKS4a and SOCKS5 handshakes, an HTTP proxy's login and type detection under both drivers, against fake
// proxies that speak the handshake byte for byte, refuse it or answer what no SOCKS proxy would.

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ProbeFixture.h"

namespace zandel {
namespace {

using namespace probe_test;
using namespace std::string_literals;

const std::string kOriginRequest = "GET /envchk.cgi HTTP/1.0\r\n" + kHeaders + "\r\n\r\n";
const std::string kGreeting = "\x05\x01\x00"s;
const std::string kLoginGreeting = "\x05\x02\x00\x02"s;
const std::string kConnect5 = "\x05\x01\x00\x01\x7f\x00\x00\x01\x00\x50"s;
const std::string kGranted5 = "\x05\x00\x00\x01\x7f\x00\x00\x01\x30\x39"s;
const std::string kConnect4 = "\x04\x01\x00\x50\x7f\x00\x00\x01"s;
const std::string kGranted4 = "\x00\x5a\x00\x00\x00\x00\x00\x00"s;

ProxyLogin Login(std::string user, std::string password) {
    return {true, std::move(user), std::move(password)};
}

// A run's plan with the judge at `judgeHost` port 80, made into one entry's plan.
std::shared_ptr<const ProbePlan> EntryPlan(ProxyKind kind, const ProxyLogin& login = {}, bool detect = false,
                                           std::uint32_t waitMs = 2000, const std::string& judgeHost = "127.0.0.1") {
    ProbePlan run = *Plan(waitMs);
    run.originRequest = kOriginRequest;
    run.judge.host = judgeHost;
    run.judge.port = 80;
    return MakeEntryPlan(run, kind, login, detect);
}

int Size(const std::string& bytes) {
    return static_cast<int>(bytes.size());
}

// A SOCKS5 proxy that answers the greeting with `choice`, a login (when one comes) with `loginAnswer`, grants the
// CONNECT and then answers as the judge. Every part is read whole before its answer goes.
FakeScript Socks5(const std::string& greeting, const std::string& choice, const std::string& login,
                  const std::string& loginAnswer, const std::string& connect) {
    FakeScript script{fake::ReadBytes(Size(greeting)), fake::Send(choice)};
    if (!login.empty()) {
        script.push_back(fake::ReadBytes(Size(greeting + login)));
        script.push_back(fake::Send(loginAnswer));
    }
    script.insert(script.end(), {fake::ReadBytes(Size(greeting + login + connect)), fake::Send(kGranted5), fake::Read(),
                                 fake::AnswerGet(kOkAnswer)});
    return script;
}

FakeScript Socks4(const std::string& request) {
    return {fake::ReadBytes(Size(request)), fake::Send(kGranted4), fake::Read(), fake::AnswerGet(kOkAnswer)};
}

// ---- a handshake through, byte for byte

struct Through {
    const char* name;
    ProxyKind kind;
    ProxyLogin login;
    std::string judgeHost;
    std::string handshake; // what the proxy must receive before the request
    std::function<FakeScript()> script;
    std::vector<ProbeEvent> events;
};

using ThroughTest = DriverTable<Through>;

const std::vector<ProbeEvent> kThrough5{PE_START, PE_CONNECTED, PE_SOCKS_GREETED, PE_SOCKS_OPEN,
                                        PE_SENT,  PE_RECEIVING, PE_RECEIVED,      PE_END};
const std::vector<ProbeEvent> kThrough4{PE_START,     PE_CONNECTED, PE_SOCKS_OPEN, PE_SENT,
                                        PE_RECEIVING, PE_RECEIVED,  PE_END};

TEST_P(ThroughTest, SendsTheHandshakeThenTheOriginRequest) {
    const Through& c = Param();
    FakeProxy proxy(c.script());
    ProbeRig rig(Kind());
    FencedJob fenced(proxy);

    EXPECT_EQ(rig.Run(fenced.job, EntryPlan(c.kind, c.login, false, 2000, c.judgeHost)), PR_DONE);
    EXPECT_EQ(fenced.Answer(), kOkAnswer);
    EXPECT_EQ(rig.Recorder().Events(), c.events);
    EXPECT_EQ(fenced.job.socks.end, SocksReport::End::Through);
    ASSERT_TRUE(proxy.WaitForFinished(1));
    EXPECT_EQ(proxy.Received().at(0), c.handshake + kOriginRequest);
    EXPECT_TRUE(fenced.GuardsIntact());
}

// A password with every byte a URL or a list would trip over.
const std::string kHardPassword = "p:@% \xc3\xbc/";
const std::string kLogin = "\x01\x04user"s + static_cast<char>(kHardPassword.size()) + kHardPassword;
const std::string kConnect5h = "\x05\x01\x00\x03\x0ajudge.test\x00\x50"s;
const std::string kConnect5v6 = "\x05\x01\x00\x04"s + std::string(15, '\0') + "\x01\x00\x50"s;
const std::string kConnect4a = "\x04\x01\x00\x50\x00\x00\x00\x01\x00judge.test\x00"s;

// clang-format off
const Through kThroughs[] = {
    {"Socks5NoLogin", ProxyKind::Socks5, {}, "127.0.0.1", kGreeting + kConnect5, [] { return Socks5(kGreeting, "\x05\x00"s, "", "", kConnect5); }, kThrough5},
    {"Socks5hSendsTheName", ProxyKind::Socks5h, {}, "judge.test", kGreeting + kConnect5h, [] { return Socks5(kGreeting, "\x05\x00"s, "", "", kConnect5h); }, kThrough5},
    {"Socks5Ipv6Target", ProxyKind::Socks5, {}, "[::1]", kGreeting + kConnect5v6, [] { return Socks5(kGreeting, "\x05\x00"s, "", "", kConnect5v6); }, kThrough5},
    {"Socks5Login", ProxyKind::Socks5, Login("user", kHardPassword), "127.0.0.1", kLoginGreeting + kLogin + kConnect5, [] { return Socks5(kLoginGreeting, "\x05\x02"s, kLogin, "\x01\x00"s, kConnect5); }, kThrough5},
    // A login offered to a proxy that wants none is not sent.
    {"Socks5LoginNotAsked", ProxyKind::Socks5, Login("user", "secret"), "127.0.0.1", kLoginGreeting + kConnect5, [] { return Socks5(kLoginGreeting, "\x05\x00"s, "", "", kConnect5); }, kThrough5},
    {"Socks4", ProxyKind::Socks4, {}, "127.0.0.1", kConnect4 + "\0"s, [] { return Socks4(kConnect4 + "\0"s); }, kThrough4},
    {"Socks4UserId", ProxyKind::Socks4, Login("ident", "unused"), "127.0.0.1", kConnect4 + "ident\0"s, [] { return Socks4(kConnect4 + "ident\0"s); }, kThrough4},
    {"Socks4aSendsTheName", ProxyKind::Socks4a, {}, "judge.test", kConnect4a, [] { return Socks4(kConnect4a); }, kThrough4},
};
// clang-format on

ZANDEL_BOTH_DRIVERS(ThroughTest, kThroughs);

// ---- refusals and hostile answers: one reason, a socket error, never a hang

struct Refusal {
    const char* name;
    ProxyKind kind;
    ProxyLogin login;
    std::string judgeHost;
    std::function<FakeScript()> script;
    ProbeResult result;
    SocksReport::End end;
    int code;
    bool misfit;
    std::string received; // what the proxy got, when it matters
};

using RefusalTest = DriverTable<Refusal>;

TEST_P(RefusalTest, EndsWithItsReason) {
    const Refusal& c = Param();
    FakeProxy proxy(c.script());
    ProbeRig rig(Kind());
    FencedJob fenced(proxy);

    EXPECT_EQ(rig.Run(fenced.job, EntryPlan(c.kind, c.login, false, 300, c.judgeHost)), c.result);
    EXPECT_EQ(fenced.job.socks.end, c.end);
    EXPECT_EQ(fenced.job.socks.code, c.code);
    EXPECT_EQ(fenced.job.misfit, c.misfit);
    EXPECT_EQ(fenced.Answer(), "");
    EXPECT_TRUE(fenced.GuardsIntact());
    if (!c.received.empty()) {
        ASSERT_TRUE(proxy.WaitForFinished(1));
        EXPECT_EQ(proxy.Received().at(0), c.received == "-" ? "" : c.received);
    }
}

FakeScript RefuseWith(int code) {
    return {fake::ReadBytes(3), fake::Send("\x05\x00"s), fake::ReadBytes(13),
            fake::Send("\x05"s + static_cast<char>(code) + "\x00\x01\x00\x00\x00\x00\x00\x00"s), fake::Close()};
}

std::vector<Refusal> Refusals() {
    static const char* const kCodeNames[] = {"Socks5Code1", "Socks5Code2", "Socks5Code3", "Socks5Code4", "Socks5Code5",
                                             "Socks5Code6", "Socks5Code7", "Socks5Code8", "Socks5Code9"};
    std::vector<Refusal> cases;
    for (int code = 1; code <= 9; ++code) {
        cases.push_back({kCodeNames[code - 1],
                         ProxyKind::Socks5,
                         {},
                         "127.0.0.1",
                         [code] { return RefuseWith(code); },
                         PR_SOCKET_ERROR,
                         SocksReport::End::Rejected,
                         code,
                         false,
                         ""});
    }
    const auto add = [&](Refusal refusal) { cases.push_back(std::move(refusal)); };
    for (int code : {91, 92, 93}) {
        add({code == 91   ? "Socks4Code91"
             : code == 92 ? "Socks4Code92"
                          : "Socks4Code93",
             ProxyKind::Socks4,
             {},
             "127.0.0.1",
             [code] {
                 return FakeScript{fake::ReadBytes(9), fake::Send("\x00"s + static_cast<char>(code) + "\0\0\0\0\0\0"s),
                                   fake::Close()};
             },
             PR_SOCKET_ERROR,
             SocksReport::End::Rejected,
             code,
             false,
             ""});
    }
    add({"NoAcceptableMethod", ProxyKind::Socks5, Login("u", "p"), "127.0.0.1",
         [] {
             return FakeScript{fake::ReadBytes(4), fake::Send("\x05\xff"s), fake::Close()};
         },
         PR_SOCKET_ERROR, SocksReport::End::NoMethod, 0xff, false, ""});
    // Offered no login, dante and microsocks answer that no method is acceptable when they want one.
    add({"NoMethodWithoutLogin",
         ProxyKind::Socks5,
         {},
         "127.0.0.1",
         [] {
             return FakeScript{fake::ReadBytes(3), fake::Send("\x05\xff"s), fake::Close()};
         },
         PR_SOCKET_ERROR,
         SocksReport::End::LoginNeeded,
         0,
         false,
         ""});
    // RFC 1929 has no empty password: "socks5://user@host" offers no login at all.
    add({"LoginWithoutPassword", ProxyKind::Socks5, Login("u", ""), "127.0.0.1",
         [] {
             return FakeScript{fake::ReadBytes(3), fake::Send("\x05\xff"s), fake::Close()};
         },
         PR_SOCKET_ERROR, SocksReport::End::LoginEmpty, 0, false, "\x05\x01\x00"s});
    add({"LoginNeeded",
         ProxyKind::Socks5,
         {},
         "127.0.0.1",
         [] {
             return FakeScript{fake::ReadBytes(3), fake::Send("\x05\x02"s), fake::Close()};
         },
         PR_SOCKET_ERROR,
         SocksReport::End::LoginNeeded,
         0,
         false,
         ""});
    add({"LoginRefused", ProxyKind::Socks5, Login("u", "wrong"), "127.0.0.1",
         [] {
             return FakeScript{fake::ReadBytes(4), fake::Send("\x05\x02"s), fake::ReadBytes(4 + 9),
                               fake::Send("\x01\x01"s), fake::Close()};
         },
         PR_SOCKET_ERROR, SocksReport::End::LoginRefused, 1, false, ""});
    // An HTTP proxy, or anything else, on a port taken for SOCKS.
    add({"WrongVersion",
         ProxyKind::Socks5,
         {},
         "127.0.0.1",
         [] {
             return FakeScript{fake::Send("HTTP/1.0 400 Bad Request\r\n\r\n"), fake::Close()};
         },
         PR_SOCKET_ERROR,
         SocksReport::End::BadReply,
         0,
         true,
         ""});
    add({"ShortReplyThenClose",
         ProxyKind::Socks5,
         {},
         "127.0.0.1",
         [] {
             return FakeScript{fake::ReadBytes(3), fake::Send("\x05\x00"s), fake::ReadBytes(13),
                               fake::Send("\x05\x00\x00"s), fake::Close()};
         },
         PR_SOCKET_ERROR,
         SocksReport::End::Closed,
         0,
         false,
         ""});
    add({"UnknownAddressType",
         ProxyKind::Socks5,
         {},
         "127.0.0.1",
         [] {
             return FakeScript{fake::ReadBytes(3), fake::Send("\x05\x00"s), fake::ReadBytes(13),
                               fake::Send("\x05\x00\x00\x07\x00\x00\x00\x00\x00\x00"s), fake::Close()};
         },
         PR_SOCKET_ERROR,
         SocksReport::End::BadReply,
         0,
         false,
         ""});
    add({"ReplyThenSilence",
         ProxyKind::Socks5,
         {},
         "127.0.0.1",
         [] {
             return FakeScript{fake::ReadBytes(3), fake::Send("\x05\x00"s), fake::Silent()};
         },
         PR_TIMEOUT,
         SocksReport::End::TimedOut,
         0,
         false,
         ""});
    add({"Socks4WrongVersion",
         ProxyKind::Socks4,
         {},
         "127.0.0.1",
         [] {
             return FakeScript{fake::ReadBytes(9), fake::Send("\x05\x00"s), fake::Close()};
         },
         PR_SOCKET_ERROR,
         SocksReport::End::BadReply,
         0,
         true,
         ""});
    // Nothing the proxy could act on is sent at all.
    add({"LoginOver255Bytes", ProxyKind::Socks5, Login(std::string(256, 'u'), "p"), "127.0.0.1",
         [] { return fake::NeverAnswer(); }, PR_SOCKET_ERROR, SocksReport::End::LoginTooLong, 0, false, "-"});
    add({"Socks4ToIpv6Judge",
         ProxyKind::Socks4,
         {},
         "[::1]",
         [] { return fake::NeverAnswer(); },
         PR_SOCKET_ERROR,
         SocksReport::End::NeedsIpv4,
         0,
         false,
         "-"});
    add({"Socks4aToIpv6Judge",
         ProxyKind::Socks4a,
         {},
         "[::1]",
         [] { return fake::NeverAnswer(); },
         PR_SOCKET_ERROR,
         SocksReport::End::NeedsIpv4,
         0,
         false,
         "-"});
    add({"Socks4ToUnresolvedName",
         ProxyKind::Socks4,
         {},
         "judge.test",
         [] { return fake::NeverAnswer(); },
         PR_SOCKET_ERROR,
         SocksReport::End::NeedsIpv4,
         0,
         false,
         "-"});
    return cases;
}

ZANDEL_BOTH_DRIVERS(RefusalTest, Refusals());

// ---- type detection and the HTTP login

struct Detection {
    const char* name;
    std::function<FakeScript()> script;
    ProbeResult result;
    ProxyKind kind;          // the kind the job ends in
    std::size_t connections; // made to the proxy
    std::string answer;
    bool tlsServer = false;
};

using DetectionTest = DriverTable<Detection>;

TEST_P(DetectionTest, TriesHttpThenSocks5ThenSocks4) {
    const Detection& c = Param();
    FakeProxy proxy(c.script());
    ProbeRig rig(Kind());
    FencedJob fenced(proxy);

    // A proxy that never answers costs one wait, not one per kind.
    EXPECT_EQ(rig.Run(fenced.job, EntryPlan(ProxyKind::Http, {}, true, 300)), c.result);
    EXPECT_EQ(fenced.job.kind, c.kind);
    EXPECT_EQ(fenced.Answer(), c.answer);
    EXPECT_EQ(fenced.job.tlsServer, c.tlsServer);
    ASSERT_TRUE(proxy.WaitForFinished(c.connections));
    EXPECT_EQ(proxy.Received().size(), c.connections);
}

FakeScript OnlySocks4() {
    return {fake::ReadBytes(1),    fake::Expect("\x04"), fake::ReadBytes(9),
            fake::Send(kGranted4), fake::Read(),         fake::AnswerGet(kOkAnswer)};
}

FakeScript OnlySocks5() {
    FakeScript script = Socks5(kGreeting, "\x05\x00"s, "", "", kConnect5);
    script.insert(script.begin(), {fake::ReadBytes(1), fake::Expect("\x05")});
    return script;
}

// clang-format off
const Detection kDetections[] = {
    {"HttpProxy", [] { return fake::AnswerAndClose(kOkAnswer); }, PR_DONE, ProxyKind::Http, 1, kOkAnswer},
    {"HttpProxyRefusing", [] { return fake::AnswerAndClose("HTTP/1.0 403 Forbidden\r\n\r\n"); }, PR_DONE, ProxyKind::Http, 1, "HTTP/1.0 403 Forbidden\r\n\r\n"},
    // A SOCKS proxy closes on the HTTP request without a word, so it is asked for TLS before SOCKS5.
    {"Socks5", OnlySocks5, PR_DONE, ProxyKind::Socks5, 3, kOkAnswer},
    {"Socks4", OnlySocks4, PR_DONE, ProxyKind::Socks4, 4, kOkAnswer},
    {"BlackHole", [] { return fake::NeverAnswer(); }, PR_TIMEOUT, ProxyKind::Http, 1, ""},
    // Where no kind fits, the job ends as the HTTP try did, not with a SOCKS reason.
    {"SpeaksNothingKnown", [] { return FakeScript{fake::Send("SSH-2.0-OpenSSH\r\n"), fake::Close()}; }, PR_DONE, ProxyKind::Http, 3, "SSH-2.0-OpenSSH\r\n"},
    {"ClosesEveryConnection", [] { return FakeScript{fake::Close()}; }, PR_DONE, ProxyKind::Http, 4, ""},
    // A TLS server, alerting at the request or silent until it gets a ClientHello: never the time-out SOCKS5's
    // three bytes would cost.
    {"TlsAlertAtTheRequest", [] { return FakeScript{fake::ReadBytes(1), fake::Send("\x15\x03\x03\x00\x02\x02\x32"s)}; }, PR_DONE, ProxyKind::Http, 1, "\x15\x03\x03", true},
    {"TlsSilentAtTheRequest", [] { return FakeScript{fake::ReadBytes(1), fake::Expect("\x16"), fake::Send("\x16\x03\x03\x00\x31\x02"s), fake::Silent()}; }, PR_SOCKET_ERROR, ProxyKind::Http, 2, "", true},
};
// clang-format on

ZANDEL_BOTH_DRIVERS(DetectionTest, kDetections);

class HttpLoginTest : public ::testing::TestWithParam<Driver> {};

TEST_P(HttpLoginTest, AddsProxyAuthorizationOnlyWithALogin) {
    FakeProxy proxy(fake::AnswerAndClose(kOkAnswer));
    ProbeRig rig(GetParam());
    const std::string plain = "GET " + kRequestLine + "\r\n" + kHeaders + "\r\n\r\n";
    for (const ProxyLogin& login : {ProxyLogin{}, Login("Aladdin", "open sesame")}) {
        FencedJob fenced(proxy);
        EXPECT_EQ(rig.Run(fenced.job, EntryPlan(ProxyKind::Http, login)), PR_DONE);
    }
    ASSERT_TRUE(proxy.WaitForFinished(2));
    // In the order the proxy's connections ended, which need not be the jobs' order.
    std::vector<std::string> received = proxy.Received();
    std::sort(received.begin(), received.end());
    EXPECT_EQ(received, (std::vector<std::string>{plain, "GET " + kRequestLine + "\r\n" + kHeaders +
                                                             "\r\nProxy-Authorization: Basic "
                                                             "QWxhZGRpbjpvcGVuIHNlc2FtZQ==\r\n\r\n"}));
}

INSTANTIATE_TEST_SUITE_P(Probe, HttpLoginTest, ::testing::Values(Driver::OneAtATime, Driver::ManyAtOnce),
                         [](const auto& info) { return DriverName(info.param); });

} // namespace
} // namespace zandel
