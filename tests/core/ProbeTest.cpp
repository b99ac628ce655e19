// The one job machine under both drivers: every case runs once one at a time (a worker thread per job, under the
// window's time-out timer) and once many at once (driven on the caller's thread, the job's own time-out), and must
// end the same.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ProbeFixture.h"
#include "core/check/TestRequest.h"
#include "core/check/TlsStep.h"
#include "support/EchoJudge.h"
#include "support/TempDir.h"
#include "support/TestResolver.h"
#include "support/TestTls.h"
#include "support/ThreadState.h"

namespace zandel {
namespace {

using namespace probe_test;

// ---- how an exchange ends

struct Ending {
    const char* name;
    std::function<FakeScript()> script;
    std::uint32_t waitMs;
    std::uint32_t bufferSize;
    ProbeResult result;
    std::vector<ProbeEvent> events;
    std::string answer;
    // Runs in the stage callback, on the thread that raised the event.
    std::function<void(FakeProxy&, ProbeEvent event)> hook;
};

using EndingTest = DriverTable<Ending>;

TEST_P(EndingTest, ResultEventsAndAnswer) {
    const Ending& ending = Param();
    FakeProxy proxy(ending.script());
    ProbeRig rig(Kind());
    if (ending.hook) {
        rig.Recorder().SetHook([&](ProbeEvent event, ProbeJob*) { ending.hook(proxy, event); });
    }
    FencedJob fenced(proxy, ending.bufferSize);

    EXPECT_EQ(rig.Run(fenced.job, Plan(ending.waitMs)), ending.result);
    EXPECT_EQ(rig.Recorder().Events(), ending.events);
    EXPECT_EQ(fenced.Answer(), ending.answer);
    const bool full = ending.answer.size() + 1 == ending.bufferSize;
    EXPECT_EQ(fenced.job.answer.Size(), full ? ending.bufferSize : ending.answer.size());
    EXPECT_TRUE(fenced.GuardsIntact());
    // Of thousands of jobs at once most never hear back: those hold no room for an answer.
    const bool received = std::find(ending.events.begin(), ending.events.end(), PE_RECEIVED) != ending.events.end() ||
                          std::find(ending.events.begin(), ending.events.end(), PE_RECEIVING) != ending.events.end();
    if (!received) {
        EXPECT_EQ(fenced.job.answer.Room(), 0u);
    }
    EXPECT_FALSE(rig.TimeoutMark());
    ExpectEventsOnTheirThreads(Kind(), rig.Recorder(), std::this_thread::get_id(), &fenced.job);
}

const std::vector<ProbeEvent> kFilledAtOnce{PE_START, PE_CONNECTED, PE_SENT, PE_RECEIVED, PE_END};

// clang-format off
const Ending kEndings[] = {
    {"ClosedAfterAnswer", [] { return fake::AnswerAndClose(kOkAnswer); }, 300, kAnswerBuffer, PR_DONE, kAnswered, kOkAnswer, nullptr},
    {"NeverAnswers", [] { return fake::NeverAnswer(); }, 200, kAnswerBuffer, PR_TIMEOUT, {PE_START, PE_CONNECTED, PE_SENT, PE_TIMEOUT, PE_END}, "", nullptr},
    // A wait that runs out after some bytes is an answer, not a time-out.
    {"PartThenSilence", [] { return fake::AnswerPartly("HTTP/1.0 200 OK\r\n"); }, 200, kAnswerBuffer, PR_DONE, kAnswered, "HTTP/1.0 200 OK\r\n", nullptr},
    {"KeptOpenAfterAnswer", [] { return fake::KeepOpenAfterAnswer(kOkAnswer); }, 200, kAnswerBuffer, PR_DONE, kAnswered, kOkAnswer, nullptr},
    // The wait time-out is per wait: a slow but steady answer is taken in full.
    {"SlowDrip", [] { return fake::Drip("HTTP/1.0 200 OK\r\n\r\nok", 40); }, 400, kAnswerBuffer, PR_DONE, kAnswered, "HTTP/1.0 200 OK\r\n\r\nok", nullptr},
    {"ZeroByteEndsTheText", [] { return fake::AnswerWithZeroByte("HTTP/1.0 200 OK", "hidden"); }, 300, kAnswerBuffer, PR_DONE, kAnswered, "HTTP/1.0 200 OK", nullptr},
    // Only a zero byte: PE_RECEIVING for the chunk, but nothing was taken, so no PE_RECEIVED.
    {"OnlyZeroBytes", [] { return fake::AnswerAndClose(std::string(3, '\0')); }, 300, kAnswerBuffer, PR_DONE, {PE_START, PE_CONNECTED, PE_SENT, PE_RECEIVING, PE_END}, "", nullptr},
    // The second piece is sent only once the first has been taken: text after a zero byte is dropped and the next
    // piece follows directly.
    {"TextAfterZeroByteDropped",
     [] {
         return FakeScript{fake::Read(), fake::Send(std::string("abc\0def", 7)), fake::Gate(), fake::Send("ghi"),
                           fake::Close()};
     },
     300, kAnswerBuffer, PR_DONE, kAnswered, "abcghi",
     [](FakeProxy& proxy, ProbeEvent event) {
         if (event == PE_RECEIVING) {
             proxy.OpenGate();
         }
     }},
    // A full buffer keeps its size minus one characters, all inside the buffer.
    {"FullBufferInChunks", [] { return fake::AnswerInChunks(Pattern(12000), 5120, 20); }, 300, kAnswerBuffer, PR_DONE, kAnswered, Pattern(kAnswerBuffer - 1), nullptr},
    // The whole answer and the close wait at the probe before it reads a byte: the close must not cut it short.
    {"FullBufferQueuedWithClose", [] { return fake::AnswerAndClose(Pattern(12000)); }, 300, kAnswerBuffer, PR_DONE,
     kAnswered, Pattern(kAnswerBuffer - 1),
     [](FakeProxy& proxy, ProbeEvent event) {
         if (event == PE_SENT) {
             EXPECT_TRUE(proxy.WaitForDelivered(1));
         }
     }},
    // Filled by the first chunk: no PE_RECEIVING.
    {"OneByteBuffer", [] { return fake::AnswerInChunks(Pattern(12000), 5120, 20); }, 300, 1, PR_DONE, kFilledAtOnce, "", nullptr},
    {"ExactlyOneChunk", [] { return fake::AnswerAndClose(Pattern(12000)); }, 300, 5120, PR_DONE, kFilledAtOnce,
     Pattern(5119),
     [](FakeProxy& proxy, ProbeEvent event) {
         if (event == PE_SENT) {
             EXPECT_TRUE(proxy.WaitForDelivered(1));
         }
     }},
};
// clang-format on
ZANDEL_BOTH_DRIVERS(EndingTest, kEndings);

// ---- jobs that never get to talk, and the addresses a job may name

struct Target {
    const char* name;
    test::LoopbackFamily listenOn;
    bool refuses;
    // The job's host and port for the listener's port.
    std::function<std::string()> host;
    std::function<std::string(std::uint16_t)> port;
    ProbeResult result;
    bool looksUp; // whether the name goes to the resolver
};

using TargetTest = DriverTable<Target>;

TEST_P(TargetTest, ConnectsToWhatTheHostNames) {
    const Target& target = Param();
    FakeProxy proxy(target.refuses ? fake::Refuse() : fake::AnswerAndClose(kOkAnswer), 0, target.listenOn);
    // Where a name gives ::1 first, the proxy's port on ::1 refuses (held bound, never listening).
    std::uint16_t port = proxy.Port();
    const UniqueFd refusingV6 = target.listenOn == test::LoopbackFamily::Ipv4 && !target.refuses
                                    ? test::BindLoopback(port, test::LoopbackFamily::Ipv6)
                                    : UniqueFd();
    ProbeRig rig(Kind(), &test::TestResolve);
    FencedJob fenced(target.host(), target.port(proxy.Port()));
    fenced.job.answer.Append(Pattern(77)); // what the verdict event must still show one at a time
    const int callsBefore = test::TestResolverCalls();

    EXPECT_EQ(rig.Run(fenced.job, Plan(2000)), target.result);
    EXPECT_EQ(test::TestResolverCalls() - callsBefore, target.looksUp ? 1 : 0);
    if (target.result == PR_DONE) {
        EXPECT_EQ(fenced.Answer(), kOkAnswer);
        EXPECT_EQ(rig.Recorder().Events(), kAnswered);
        return;
    }
    EXPECT_EQ(rig.Recorder().Events(), (std::vector<ProbeEvent>{PE_START, PE_SOCKET_ERROR, PE_END}));
    const auto records = rig.Recorder().Records();
    if (Kind() == Driver::OneAtATime) {
        EXPECT_EQ(records[1].received, 77u);
    }
    EXPECT_EQ(records[2].received, 0u);
    EXPECT_EQ(fenced.Answer(), "");
    EXPECT_EQ(fenced.job.answer.Size(), 0u);
    EXPECT_TRUE(fenced.GuardsIntact());
    ExpectEventsOnTheirThreads(Kind(), rig.Recorder(), std::this_thread::get_id(), &fenced.job);
}

using test::LoopbackFamily;
const auto kPortOf = [](std::uint16_t port) { return std::to_string(port); };
const auto kHost = [](const char* host) { return [host] { return std::string(host); }; };

// clang-format off
const Target kTargets[] = {
    {"Refused", LoopbackFamily::Ipv4, true, kHost(test::kLoopbackHost), kPortOf, PR_SOCKET_ERROR, false},
    {"UnknownName", LoopbackFamily::Ipv4, true, kHost("nowhere.invalid"), kPortOf, PR_SOCKET_ERROR, true},
    {"EmptyHost", LoopbackFamily::Ipv4, true, kHost(""), kPortOf, PR_SOCKET_ERROR, false},
    // As "host:port:user:password" and the other login forms handed it over: refused before any lookup.
    {"ControlByteInName", LoopbackFamily::Ipv4, true, kHost("proxy\x01.v4.test"), kPortOf, PR_SOCKET_ERROR, false},
    {"PortWithoutDigits", LoopbackFamily::Ipv4, true, kHost(test::kLoopbackHost), [](std::uint16_t) { return std::string("http"); }, PR_SOCKET_ERROR, false},
    // The port's leading digits count, taken modulo 2^16.
    {"PortWithALetterAfter", LoopbackFamily::Ipv4, false, kHost(test::kLoopbackHost), [](std::uint16_t port) { return std::to_string(port) + "x"; }, PR_DONE, false},
    {"PortWithASign", LoopbackFamily::Ipv4, false, kHost(test::kLoopbackHost), [](std::uint16_t port) { return " +" + std::to_string(port); }, PR_DONE, false},
    {"PortPast16Bits", LoopbackFamily::Ipv4, false, kHost(test::kLoopbackHost), [](std::uint16_t port) { return std::to_string(port + 65536); }, PR_DONE, false},
    {"Ipv6InBrackets", LoopbackFamily::Ipv6, false, kHost("[::1]"), kPortOf, PR_DONE, false},
    {"Ipv6Bare", LoopbackFamily::Ipv6, false, kHost("::1"), kPortOf, PR_DONE, false},
    {"Ipv6Refused", LoopbackFamily::Ipv6, true, kHost("[::1]"), kPortOf, PR_SOCKET_ERROR, false},
    {"NameOfIpv6", LoopbackFamily::Ipv6, false, kHost("proxy.v6.test"), kPortOf, PR_DONE, true},
    // The resolver's order: ::1 refuses, 127.0.0.1 answers.
    {"NameOfIpv6ThenIpv4", LoopbackFamily::Ipv4, false, kHost("proxy.v6v4.test"), kPortOf, PR_DONE, true},
    // Brackets hold an IPv6 address or nothing at all: never a name for the resolver.
    {"BracketsAroundAName", LoopbackFamily::Ipv4, false, kHost("[proxy.v4.test]"), kPortOf, PR_SOCKET_ERROR, false},
    {"NotAnIpv6Address", LoopbackFamily::Ipv6, false, kHost("[::g]"), kPortOf, PR_SOCKET_ERROR, false},
    {"UnbalancedBracket", LoopbackFamily::Ipv6, false, kHost("[::1"), kPortOf, PR_SOCKET_ERROR, false},
};
// clang-format on
ZANDEL_BOTH_DRIVERS(TargetTest, kTargets);

// ---- stops

struct Stop {
    const char* name;
    std::function<FakeScript()> script;
    std::optional<ProbeEvent> at; // the event at which the stop comes (none: before the job)
    bool inWait; // from another thread once the driving thread waits again, else from the event's own callback
    ProbeResult result;
    std::vector<ProbeEvent> events;
    std::string answer;
};

using StopTest = DriverTable<Stop>;

// Whatever the stop ended, the unused wake-up must not cut the next job short.
TEST_P(StopTest, EndsAsStoppedKeepsWhatArrivedAndSparesTheNextJob) {
    const Stop& stop = Param();
    FakeProxy proxy(stop.script());
    ProbeRig rig(Kind());
    std::atomic<pid_t> waiter{0};
    rig.Recorder().SetHook([&](ProbeEvent event, ProbeJob*) {
        if (event != stop.at) {
            return;
        }
        if (stop.inWait) {
            waiter.store(test::CurrentThreadId());
        } else {
            rig.Cancel();
        }
    });
    if (!stop.at) {
        rig.Cancel();
    }
    FencedJob fenced(proxy);
    ProbeResult result = PR_DONE;
    std::thread caller([&] { result = rig.Run(fenced.job, Plan(60000)); });
    if (stop.inWait) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (waiter.load() == 0 && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_TRUE(waiter.load() != 0 && test::WaitUntilInPoll(waiter.load()));
        rig.Cancel();
    }
    caller.join();

    EXPECT_EQ(result, stop.result);
    EXPECT_EQ(rig.Recorder().Events(), stop.events);
    EXPECT_EQ(fenced.Answer(), stop.answer);
    EXPECT_EQ(fenced.job.answer.Size(), stop.answer.size());
    EXPECT_FALSE(rig.TimeoutMark());

    rig.Recorder().SetHook(nullptr);
    rig.Recorder().Clear();
    FakeProxy drip(fake::Drip("HTTP/1.0 200 OK\r\n", 5));
    FencedJob next(drip);
    EXPECT_EQ(rig.Run(next.job, Plan(5000)), PR_DONE);
    EXPECT_EQ(rig.Recorder().Events(), kAnswered);
    EXPECT_EQ(next.Answer(), "HTTP/1.0 200 OK\r\n");
}

const std::vector<ProbeEvent> kStoppedAfterData{PE_START, PE_CONNECTED, PE_SENT, PE_RECEIVING, PE_CANCELLED, PE_END};

// clang-format off
const Stop kStops[] = {
    {"InTheWaitAfterData", [] { return fake::AnswerPartly("HTTP/1.0 200"); }, PE_RECEIVING, true, PR_CANCELLED, kStoppedAfterData, "HTTP/1.0 200"},
    {"InTheWaitBeforeData", [] { return fake::NeverAnswer(); }, PE_SENT, true, PR_CANCELLED, {PE_START, PE_CONNECTED, PE_SENT, PE_CANCELLED, PE_END}, ""},
    // A stop that lands while the driving thread handles a chunk is seen before the next wait: the job ends as
    // stopped with what it has (a user's stop must not read as a broken answer).
    {"WhileAChunkIsTaken", [] { return fake::AnswerPartly("HTTP/1.0 200"); }, PE_RECEIVING, false, PR_CANCELLED, kStoppedAfterData, "HTTP/1.0 200"},
    // Before the job is under way (from its start event), or with no job at all, a stop is not seen.
    {"AtTheStart", [] { return fake::AnswerAndClose(kOkAnswer); }, PE_START, false, PR_DONE, kAnswered, kOkAnswer},
    {"WithoutAJob", [] { return fake::AnswerAndClose(kOkAnswer); }, std::nullopt, false, PR_DONE, kAnswered, kOkAnswer},
};
// clang-format on
ZANDEL_BOTH_DRIVERS(StopTest, kStops);

// ---- the request on the wire, jobs in turn, names, a forwarding proxy

class DriverTest : public ::testing::TestWithParam<Driver> {};

TEST_P(DriverTest, SendsTheRequestByteForByteCutAfter1023Characters) {
    FakeProxy proxy(fake::NeverAnswer());
    ProbeRig rig(GetParam());
    const std::string longLine = "http://127.0.0.1/" + Pattern(2000) + " HTTP/1.0";
    for (const std::string& line : {kRequestLine, longLine}) {
        FencedJob fenced(proxy);
        EXPECT_EQ(rig.Run(fenced.job, Plan(200, nullptr, line)), PR_TIMEOUT);
    }
    ASSERT_TRUE(proxy.WaitForFinished(2));
    EXPECT_EQ(proxy.Received().at(0), "GET " + kRequestLine + "\r\n" + kHeaders + "\r\n\r\n");
    const std::string full = "GET " + longLine + "\r\n" + kHeaders + "\r\n\r\n";
    EXPECT_EQ(proxy.Received().at(1), full.substr(0, kMaxRequestChars));
}

TEST_P(DriverTest, ServesManyJobsInTurn) {
    FakeProxy proxy(fake::AnswerAtOnce());
    ProbeRig rig(GetParam());
    const auto plan = Plan(2000);
    for (int i = 0; i < 50; ++i) {
        rig.Recorder().Clear();
        FencedJob fenced(proxy);
        ASSERT_EQ(rig.Run(fenced.job, plan), PR_DONE);
        ASSERT_EQ(fenced.Answer(), "HTTP/1.0 200 OK\r\n\r\nHTTP_VIA=x\r\n");
        ASSERT_EQ(rig.Recorder().Events(), kAnswered);
    }
}

// A name goes to the system's resolver ("localhost" is answered from the hosts file, never by the network).
TEST_P(DriverTest, NamesAreLookedUp) {
    FakeProxy proxy(fake::AnswerAndClose(kOkAnswer));
    ProbeRig rig(GetParam());
    FencedJob fenced("localhost", proxy.PortText());
    EXPECT_EQ(rig.Run(fenced.job, Plan(2000)), PR_DONE);
    EXPECT_EQ(fenced.Answer(), kOkAnswer);
}

TEST_P(DriverTest, ForwardingProxyShowsItsHeadersInTheEchoAndReachesOnlyLoopback) {
    test::EchoJudge judge;
    FakeProxy proxy(fake::ForwardToJudge({"Via: 1.1 fake", "X-Forwarded-For: 127.0.0.1"}));
    ProbeRig rig(GetParam());
    FencedJob fenced(proxy);
    const auto plan =
        MakeProxyPlan(ComposeProbeRequest(judge.Url() + " HTTP/1.0", "User-Agent: probe-test\r\nAccept: */*\r\nHost: " +
                                                                         test::LoopbackAddress(judge.Port())),
                      5000, nullptr);
    EXPECT_EQ(rig.Run(fenced.job, plan), PR_DONE);
    const std::string answer = fenced.Answer();
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << answer;
    for (const char* line :
         {"REQUEST_URI=/envchk.cgi\r\n", "SERVER_PROTOCOL=HTTP/1.0\r\n", "HTTP_USER_AGENT=probe-test\r\n",
          "HTTP_VIA=1.1 fake\r\n", "HTTP_X_FORWARDED_FOR=127.0.0.1\r\n", "REMOTE_ADDR=127.0.0.1\r\n"}) {
        EXPECT_NE(answer.find(line), std::string::npos) << line << " missing in\n" << answer;
    }

    FencedJob elsewhere(proxy);
    EXPECT_EQ(rig.Run(elsewhere.job, Plan(5000, nullptr, "http://example.invalid/envchk.cgi HTTP/1.0")), PR_DONE);
    EXPECT_EQ(elsewhere.Answer().rfind("HTTP/1.0 502 ", 0), 0u) << elsewhere.Answer();
}

INSTANTIATE_TEST_SUITE_P(Probe, DriverTest, ::testing::Values(Driver::OneAtATime, Driver::ManyAtOnce),
                         [](const auto& info) { return DriverName(info.param); });

// ---- the one-at-a-time probe's own interface

TEST(ProxyProbeTest, JobIsRefusedBeforeInitializeOrWithoutRoomForAnAnswer) {
    FakeProxy proxy(fake::AnswerAndClose(kOkAnswer));
    ProbeRecorder recorder;
    CProxyProbe fresh;
    FencedJob first(proxy);
    EXPECT_EQ(fresh.RunJob(&first.job), PR_DONE);
    EXPECT_FALSE(fresh.Cancel());

    CProxyProbe probe;
    ASSERT_TRUE(probe.Initialize(&recorder));
    FencedJob empty(proxy, 0);
    EXPECT_EQ(probe.RunJob(&empty.job), PR_DONE);
    EXPECT_EQ(probe.RunJob(nullptr), PR_DONE);

    EXPECT_TRUE(recorder.Events().empty());
    EXPECT_TRUE(first.Untouched() && empty.Untouched());
}

TEST(ProxyProbeTest, SettingsChangedBetweenJobsApplyToTheNextJob) {
    FakeProxy proxy(fake::AnswerAndClose(kOkAnswer));
    CProxyProbe probe;
    ASSERT_TRUE(probe.Initialize(nullptr));
    probe.SetRequestLine(kRequestLine);
    probe.SetHeaders(kHeaders);
    FencedJob first(proxy);
    EXPECT_EQ(probe.RunJob(&first.job), PR_DONE);
    ASSERT_TRUE(proxy.WaitForFinished(1));
    probe.SetRequestLine("http://127.0.0.1/ HTTP/1.1");
    probe.SetHeaders("Host: 127.0.0.1");
    FencedJob second(proxy);
    EXPECT_EQ(probe.RunJob(&second.job), PR_DONE);
    ASSERT_TRUE(proxy.WaitForFinished(2));
    EXPECT_EQ(proxy.Received().at(0), "GET " + kRequestLine + "\r\n" + kHeaders + "\r\n\r\n");
    EXPECT_EQ(proxy.Received().at(1), "GET http://127.0.0.1/ HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

TEST(LoopbackSupportTest, BareExchangeReadsUntilTheServerCloses) {
    test::FakeProxy proxy(test::fake::AnswerAtOnce());
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(test::BareExchange(proxy.Port(), "GET / HTTP/1.0\r\n\r\n"), "HTTP/1.0 200 OK\r\n\r\nHTTP_VIA=x\r\n");
    }
    ASSERT_TRUE(proxy.WaitForFinished(20));
    EXPECT_EQ(proxy.Received().back(), "GET / HTTP/1.0\r\n\r\n");
}

// ---- the HTTPS step after the GET

using End = TunnelReport::End;
const std::string kGetAnswer = "HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n";
const std::string kEstablished = "HTTP/1.0 200 Connection established\r\n\r\n";
const std::vector<ProbeEvent> kGetEvents{PE_START, PE_CONNECTED, PE_SENT, PE_RECEIVING, PE_RECEIVED};

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
    std::vector<ProbeEvent> stepEvents; // after the GET's own
    std::string statusLine;
    std::string detail;
    std::string subject;
};

using TunnelStepTest = DriverTable<Step>;

TEST_P(TunnelStepTest, EndsAsTheProxyAnswers) {
    const Step& step = Param();
    FakeProxy proxy(step.script());
    ProbeRig rig(Kind());
    FencedJob fenced(proxy);

    EXPECT_EQ(rig.Run(fenced.job, Plan(400, TheRig().plan)), PR_DONE)
        << "the job's result is the GET's, whatever the step found";
    std::vector<ProbeEvent> events = kGetEvents;
    events.insert(events.end(), step.stepEvents.begin(), step.stepEvents.end());
    events.push_back(PE_END);
    EXPECT_EQ(rig.Recorder().Events(), events);
    const TunnelReport& report = fenced.job.tunnel;
    EXPECT_EQ(report.end, step.end);
    EXPECT_EQ(report.statusLine, step.statusLine);
    EXPECT_EQ(report.detail, step.detail);
    EXPECT_EQ(report.subject, step.subject);
}

const std::string kSelfSigned = test::TestCa::SelfSigned("Interceptor", "IP:127.0.0.1");
const std::vector<ProbeEvent> kOpened{PE_TUNNEL_SENT, PE_TUNNEL_OPEN};
const std::vector<ProbeEvent> kShaken{PE_TUNNEL_SENT, PE_TUNNEL_OPEN, PE_HANDSHAKE_DONE};

FakeScript AfterTheGet(std::vector<test::FakeStep> steps) {
    FakeScript script{fake::Read(), fake::AnswerGet(kGetAnswer)};
    script.insert(script.end(), steps.begin(), steps.end());
    return script;
}

// clang-format off
const Step kSteps[] = {
    {"Verified", [] { return fake::ForwardToJudge({}); }, End::Verified, kShaken, "HTTP/1.0 200 Connection established", "", "CN=127.0.0.1,O=Zandel Test"},
    {"OwnCertificate", [] { return AfterTheGet({fake::Send(kEstablished), fake::PresentCertificate(kSelfSigned)}); }, End::NotVerified, kShaken, "HTTP/1.0 200 Connection established", "self-signed certificate", "CN=Interceptor,O=Zandel Test"},
    {"TrustedCertificateForAnotherName", [] { return AfterTheGet( {fake::Send(kEstablished), fake::PresentCertificate(TheRig().ca.Issue("other.test", "DNS:other.test"))}); }, End::NotVerified, kShaken, "HTTP/1.0 200 Connection established", "IP address mismatch", "CN=other.test,O=Zandel Test"},
    // Interim answers are passed over: the final one opens the tunnel.
    {"InterimAnswersFirst", [] { return AfterTheGet({fake::Send("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX: y\r\n\r\n"), fake::Pause(20), fake::Send(kEstablished), fake::PresentCertificate(TheRig().ca.Issue("127.0.0.1", "IP:127.0.0.1"))}); }, End::Verified, kShaken, "HTTP/1.0 200 Connection established", "", "CN=127.0.0.1,O=Zandel Test"},
    {"Forbidden", [] { return AfterTheGet({fake::Send("HTTP/1.0 403 Forbidden\r\nX: y\r\n\r\n"), fake::Close()}); }, End::BadStatus, {PE_TUNNEL_SENT}, "HTTP/1.0 403 Forbidden", "", ""},
    {"ForbiddenAfterAnInterimAnswer", [] { return AfterTheGet({fake::Send("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 407 Login\r\n\r\n"), fake::Close()}); }, End::BadStatus, {PE_TUNNEL_SENT}, "HTTP/1.1 407 Login", "", ""},
    {"SuccessCodeLookalike", [] { return AfterTheGet({fake::Send("HTTP/1.0 2000 Nearly\r\n\r\n"), fake::Close()}); }, End::BadStatus, {PE_TUNNEL_SENT}, "HTTP/1.0 2000 Nearly", "", ""},
    // A success whose head never ends was not refused: it is too long to be an answer.
    {"SuccessWithEndlessHead", [] { return AfterTheGet({fake::Send("HTTP/1.0 200 OK\r\n" + std::string(9000, 'h')), fake::Silent()}); }, End::TooLong, {PE_TUNNEL_SENT}, "HTTP/1.0 200 OK", "", ""},
    {"RefusalWithEndlessHead", [] { return AfterTheGet({fake::Send("HTTP/1.0 403 No\r\n" + std::string(9000, 'h')), fake::Silent()}); }, End::BadStatus, {PE_TUNNEL_SENT}, "HTTP/1.0 403 No", "", ""},
    {"OpenedThenClosed", [] { return AfterTheGet({fake::Send(kEstablished), fake::Close()}); }, End::HandshakeClosed, kOpened, "HTTP/1.0 200 Connection established", "", ""},
    // What follows the head in the same piece is already the server's side of the handshake.
    {"PlainTextInTheTunnel", [] { return AfterTheGet({fake::Send(kEstablished + "HTTP/1.0 400 Bad Request\r\n\r\n"), fake::Silent()}); }, End::HandshakeFailed, kOpened, "HTTP/1.0 200 Connection established", "wrong version number", ""},
    {"ClosedBeforeAnswering", [] { return AfterTheGet({fake::Close()}); }, End::Closed, {PE_TUNNEL_SENT}, "", "", ""},
    {"NeverAnswers", [] { return AfterTheGet({fake::Silent()}); }, End::TimedOut, {PE_TUNNEL_SENT}, "", "", ""},
};
// clang-format on
ZANDEL_BOTH_DRIVERS(TunnelStepTest, kSteps);

class TunnelRuleTest : public ::testing::TestWithParam<Driver> {};

// The step follows only a GET that was completed: none after a refused connection or the job's time-out.
TEST_P(TunnelRuleTest, NoStepWithoutACompletedExchange) {
    ProbeRig rig(GetParam());
    FakeProxy refusing(fake::Refuse());
    FencedJob refused(refusing);
    EXPECT_EQ(rig.Run(refused.job, Plan(2000, TheRig().plan)), PR_SOCKET_ERROR);
    EXPECT_EQ(refused.job.tunnel.end, End::NotRun);

    FakeProxy silent(fake::NeverAnswer());
    FencedJob timedOut(silent);
    EXPECT_EQ(rig.Run(timedOut.job, Plan(20000, TheRig().plan), 300), PR_CANCELLED);
    EXPECT_TRUE(rig.TimeoutMark());
    EXPECT_EQ(timedOut.job.tunnel.end, End::NotRun);
}

// A stop, a skip or the job's time-out during the step ends the step only: the GET's result stands, and no
// closing event tells of a stop.
TEST_P(TunnelRuleTest, StopDuringTheStepKeepsTheExchangesResult) {
    FakeProxy proxy(AfterTheGet({fake::Silent()}));
    ProbeRig rig(GetParam());
    FencedJob timedOut(proxy);
    EXPECT_EQ(rig.Run(timedOut.job, Plan(20000, TheRig().plan), 500), PR_DONE);
    EXPECT_TRUE(rig.TimeoutMark());
    EXPECT_EQ(timedOut.job.tunnel.end, End::Stopped);
    EXPECT_EQ(rig.Recorder().Events().back(), PE_END);

    rig.Recorder().Clear();
    rig.Recorder().SetHook([&](ProbeEvent event, ProbeJob*) {
        if (event == PE_TUNNEL_SENT) {
            rig.Cancel();
        }
    });
    FencedJob stopped(proxy);
    EXPECT_EQ(rig.Run(stopped.job, Plan(20000, TheRig().plan)), PR_DONE);
    EXPECT_FALSE(rig.TimeoutMark());
    EXPECT_EQ(stopped.job.tunnel.end, End::Stopped);
    std::vector<ProbeEvent> events = kGetEvents;
    events.insert(events.end(), {PE_TUNNEL_SENT, PE_END});
    EXPECT_EQ(rig.Recorder().Events(), events);
}

INSTANTIATE_TEST_SUITE_P(Probe, TunnelRuleTest, ::testing::Values(Driver::OneAtATime, Driver::ManyAtOnce),
                         [](const auto& info) { return DriverName(info.param); });

} // namespace
} // namespace zandel
