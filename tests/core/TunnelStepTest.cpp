// The HTTPS step after the GET, through both probes: each proxy's way of handling CONNECT must end the step the
// same way, with the same stage events, in the one-at-a-time probe and in the parallel one.

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/check/ParallelProbe.h"
#include "core/check/ProxyProbe.h"
#include "core/check/TestRequest.h"
#include "core/check/TunnelExchange.h"
#include "support/FakeProxy.h"
#include "support/Loopback.h"
#include "support/ProbeRecorder.h"
#include "support/TempDir.h"
#include "support/TestTls.h"

namespace zandel {
namespace {

using test::FakeProxy;
using test::FakeScript;
namespace fake = test::fake;
using End = TunnelReport::End;

const std::string kRequestLine = "http://127.0.0.1/envchk.cgi HTTP/1.0";
const std::string kHeaders = "User-Agent: tunnel-test\r\nHost: 127.0.0.1";
const std::string kGetAnswer = "HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n";
const std::string kEstablished = "HTTP/1.0 200 Connection established\r\n\r\n";
constexpr std::uint32_t kWaitMs = 400;

// One CA, a server with its certificate for 127.0.0.1, and the plan that trusts the CA, for the whole suite.
struct Rig {
    test::TestCa ca;
    test::TempDir dir;
    test::TlsServer server{ca.Issue("127.0.0.1", "IP:127.0.0.1")};
    std::shared_ptr<TunnelPlan> plan = std::make_shared<TunnelPlan>();

    Rig() {
        std::string error;
        plan->trust = TunnelTrust::Load(dir.Write("ca.pem", ca.CertificatePem()), error);
        const std::string target = "127.0.0.1:" + std::to_string(server.Port());
        plan->request = ComposeTunnelRequest(target, "1.0", "tunnel-test");
        plan->host = "127.0.0.1";
    }
};

Rig& TheRig() {
    static Rig rig;
    return rig;
}

struct Step {
    const char* name;
    std::function<FakeScript()> script;
    End end;
    std::vector<int> stepEvents; // after the GET's own
    std::string statusLine;
    std::string detail;
    std::string subject;
};

void PrintTo(const Step& step, std::ostream* out) {
    *out << step.name;
}

const std::vector<int> kGetEvents{PE_START, PE_CONNECTED, PE_SENT, PE_RECEIVING, PE_RECEIVED};

struct Seen {
    ProbeResult result;
    std::vector<int> events;
    TunnelReport report;
};

void ExpectStep(const Step& step, const Seen& seen, const char* probe) {
    SCOPED_TRACE(probe);
    EXPECT_EQ(seen.result, PR_DONE) << "the job's result is the GET's, whatever the step found";
    std::vector<int> events = step.end == End::NotRun ? std::vector<int>{} : kGetEvents;
    events.insert(events.end(), step.stepEvents.begin(), step.stepEvents.end());
    events.push_back(PE_END);
    if (step.end != End::NotRun) {
        EXPECT_EQ(seen.events, events);
    }
    EXPECT_EQ(seen.report.end, step.end);
    EXPECT_EQ(seen.report.statusLine, step.statusLine);
    EXPECT_EQ(seen.report.detail, step.detail);
    EXPECT_EQ(seen.report.subject, step.subject);
}

class TunnelStepTest : public ::testing::TestWithParam<Step> {
protected:
    void Prepare(const FakeProxy& proxy) {
        m_job = ProbeJob{};
        std::strncpy(m_job.szHost, test::kLoopbackHost, sizeof m_job.szHost - 1);
        std::strncpy(m_job.szPort, proxy.PortText().c_str(), sizeof m_job.szPort - 1);
        m_job.pBuffer = m_buffer;
        m_job.nBufferSize = sizeof m_buffer;
        m_recorder.Clear();
    }

    ProbeJob m_job;
    char m_buffer[10240] = {};
    test::ProbeRecorder m_recorder;
};

TEST_P(TunnelStepTest, EndsAlikeInBothProbes) {
    const Step& step = GetParam();
    FakeProxy proxy(step.script());

    CProxyProbe single;
    ASSERT_TRUE(single.Initialize(&m_recorder));
    single.SetWaitTimeout(kWaitMs);
    single.SetRequestLine(kRequestLine);
    single.SetHeaders(kHeaders);
    single.SetTunnel(TheRig().plan);
    Prepare(proxy);
    const ProbeResult result = single.RunJob(&m_job);
    ExpectStep(step, {result, m_recorder.Events(), m_job.tunnel}, "one at a time");

    ParallelProbe parallel(&m_recorder);
    ASSERT_TRUE(parallel.Start());
    parallel.SetRequest(kRequestLine, kHeaders, kWaitMs);
    parallel.SetTunnel(TheRig().plan);
    Prepare(proxy);
    std::atomic<bool> mark{false};
    parallel.Submit(&m_job, 20000, &mark);
    const ParallelProbe::Done done = parallel.Collect();
    ExpectStep(step, {done.result, m_recorder.Events(), m_job.tunnel}, "parallel");
}

const std::string kSelfSigned = test::TestCa::SelfSigned("Interceptor", "IP:127.0.0.1");

INSTANTIATE_TEST_SUITE_P(
    Probe, TunnelStepTest,
    ::testing::Values(
        Step{"Verified",
             [] { return fake::ForwardToJudge({}); },
             End::Verified,
             {PE_TUNNEL_SENT, PE_TUNNEL_OPEN, PE_HANDSHAKE_DONE},
             "HTTP/1.0 200 Connection established",
             "",
             "CN=127.0.0.1,O=Zandel Test"},
        Step{"OwnCertificate",
             [] {
                 return FakeScript{fake::Read(), fake::AnswerGet(kGetAnswer), fake::Send(kEstablished),
                                   fake::PresentCertificate(kSelfSigned)};
             },
             End::NotVerified,
             {PE_TUNNEL_SENT, PE_TUNNEL_OPEN, PE_HANDSHAKE_DONE},
             "HTTP/1.0 200 Connection established",
             "self-signed certificate",
             "CN=Interceptor,O=Zandel Test"},
        Step{"TrustedCertificateForAnotherName",
             [] {
                 return FakeScript{fake::Read(), fake::AnswerGet(kGetAnswer), fake::Send(kEstablished),
                                   fake::PresentCertificate(TheRig().ca.Issue("other.test", "DNS:other.test"))};
             },
             End::NotVerified,
             {PE_TUNNEL_SENT, PE_TUNNEL_OPEN, PE_HANDSHAKE_DONE},
             "HTTP/1.0 200 Connection established",
             "IP address mismatch",
             "CN=other.test,O=Zandel Test"},
        Step{"Forbidden",
             [] {
                 return FakeScript{fake::Read(), fake::AnswerGet(kGetAnswer),
                                   fake::Send("HTTP/1.0 403 Forbidden\r\nX: y\r\n\r\n"), fake::Close()};
             },
             End::BadStatus,
             {PE_TUNNEL_SENT},
             "HTTP/1.0 403 Forbidden",
             "",
             ""},
        Step{"SuccessCodeLookalike",
             [] {
                 return FakeScript{fake::Read(), fake::AnswerGet(kGetAnswer),
                                   fake::Send("HTTP/1.0 2000 Nearly\r\n\r\n"), fake::Close()};
             },
             End::BadStatus,
             {PE_TUNNEL_SENT},
             "HTTP/1.0 2000 Nearly",
             "",
             ""},
        Step{"OpenedThenClosed",
             [] {
                 return FakeScript{fake::Read(), fake::AnswerGet(kGetAnswer), fake::Send(kEstablished), fake::Close()};
             },
             End::HandshakeClosed,
             {PE_TUNNEL_SENT, PE_TUNNEL_OPEN},
             "HTTP/1.0 200 Connection established",
             "",
             ""},
        // What follows the head in the same piece is already the server's side of the handshake.
        Step{"PlainTextInTheTunnel",
             [] {
                 return FakeScript{fake::Read(), fake::AnswerGet(kGetAnswer),
                                   fake::Send(kEstablished + "HTTP/1.0 400 Bad Request\r\n\r\n"), fake::Silent()};
             },
             End::HandshakeFailed,
             {PE_TUNNEL_SENT, PE_TUNNEL_OPEN},
             "HTTP/1.0 200 Connection established",
             "wrong version number",
             ""},
        Step{"ClosedBeforeAnswering",
             [] {
                 return FakeScript{fake::Read(), fake::AnswerGet(kGetAnswer), fake::Close()};
             },
             End::Closed,
             {PE_TUNNEL_SENT},
             "",
             "",
             ""},
        Step{"NeverAnswers",
             [] {
                 return FakeScript{fake::Read(), fake::AnswerGet(kGetAnswer), fake::Silent()};
             },
             End::TimedOut,
             {PE_TUNNEL_SENT},
             "",
             "",
             ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The step follows only a GET that was completed: none after a refused connection or a stop.
TEST_F(TunnelStepTest, DoesNotRunWithoutACompletedExchange) {
    FakeProxy refusing(fake::Refuse());
    CProxyProbe single;
    ASSERT_TRUE(single.Initialize(&m_recorder));
    single.SetRequestLine(kRequestLine);
    single.SetTunnel(TheRig().plan);
    Prepare(refusing);
    EXPECT_EQ(single.RunJob(&m_job), PR_SOCKET_ERROR);
    EXPECT_EQ(m_job.tunnel.end, End::NotRun);

    FakeProxy silent(fake::NeverAnswer());
    ParallelProbe parallel(&m_recorder);
    ASSERT_TRUE(parallel.Start());
    parallel.SetRequest(kRequestLine, kHeaders, 20000);
    parallel.SetTunnel(TheRig().plan);
    Prepare(silent);
    std::atomic<bool> mark{false};
    parallel.Submit(&m_job, 300, &mark);
    EXPECT_EQ(parallel.Collect().result, PR_CANCELLED);
    EXPECT_EQ(m_job.tunnel.end, End::NotRun);
}

// A stop, a skip or the job's time-out during the step ends the step only: the GET's result stands.
TEST_F(TunnelStepTest, StopDuringTheStepKeepsTheExchangesResult) {
    FakeProxy proxy({fake::Read(), fake::AnswerGet(kGetAnswer), fake::Silent()});
    ParallelProbe parallel(&m_recorder);
    ASSERT_TRUE(parallel.Start());
    parallel.SetRequest(kRequestLine, kHeaders, 20000);
    parallel.SetTunnel(TheRig().plan);
    Prepare(proxy);
    std::atomic<bool> mark{false};
    parallel.Submit(&m_job, 500, &mark);
    EXPECT_EQ(parallel.Collect().result, PR_DONE);
    EXPECT_TRUE(mark.load());
    EXPECT_EQ(m_job.tunnel.end, End::Stopped);

    CProxyProbe single;
    ASSERT_TRUE(single.Initialize(&m_recorder));
    single.SetRequestLine(kRequestLine);
    single.SetTunnel(TheRig().plan);
    m_recorder.SetHook([&](int event, ProbeJob*) {
        if (event == PE_TUNNEL_SENT) {
            single.Cancel();
        }
    });
    Prepare(proxy);
    EXPECT_EQ(single.RunJob(&m_job), PR_DONE);
    EXPECT_EQ(m_job.tunnel.end, End::Stopped);
    EXPECT_EQ(m_recorder.Events().back(), PE_END) << "no closing event of a cancel";
}

} // namespace
} // namespace zandel
