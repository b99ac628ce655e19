#include "core/check/ProxyProbe.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ProbeFixture.h"
#include "support/EchoJudge.h"
#include "support/ThreadState.h"

namespace zandel {
namespace {

using namespace probe_test;

struct CancelInWait {
    const char* name;
    std::function<FakeScript()> script;
    int waitAfterEvent; // the worker event after which the next wait is cancelled
    std::vector<int> events;
    std::string answer;

    friend void PrintTo(const CancelInWait& value, std::ostream* out) { *out << value.name; }
};

class CancelInWaitTest : public ProxyProbeTest, public ::testing::WithParamInterface<CancelInWait> {};

TEST_P(CancelInWaitTest, EndsCancelledAndKeepsWhatArrived) {
    const CancelInWait& param = GetParam();
    FakeProxy proxy(param.script());
    m_probe.SetWaitTimeout(60000);
    std::atomic<pid_t> worker{0};
    m_recorder.SetHook([&](int event, ProbeJob*) {
        if (event == param.waitAfterEvent) {
            worker.store(test::CurrentThreadId());
        }
    });

    PrepareJob(test::kLoopbackHost, proxy.PortText());
    ProbeResult result = PR_DONE;
    std::thread caller([&] { result = RunPrepared(); });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (worker.load() == 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(worker.load() != 0 && test::WaitUntilInPoll(worker.load()));
    EXPECT_TRUE(m_probe.Cancel());
    caller.join();

    EXPECT_EQ(result, PR_CANCELLED);
    EXPECT_EQ(m_recorder.Events(), param.events);
    EXPECT_EQ(Answer(), param.answer);
    EXPECT_EQ(m_job.nReceived, param.answer.size());
    ExpectEventsOnTheirThreads();
}

INSTANTIATE_TEST_SUITE_P(Probe, CancelInWaitTest,
                         ::testing::Values(CancelInWait{"AfterData",
                                                        [] { return fake::AnswerPartly("HTTP/1.0 200"); },
                                                        PE_RECEIVING,
                                                        {PE_START, PE_CONNECTED, PE_SENT, PE_RECEIVING, PE_CANCELLED,
                                                         PE_END},
                                                        "HTTP/1.0 200"},
                                           CancelInWait{"BeforeData",
                                                        [] { return fake::NeverAnswer(); },
                                                        PE_SENT,
                                                        {PE_START, PE_CONNECTED, PE_SENT, PE_CANCELLED, PE_END},
                                                        ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProxyProbeTest, CancelWithoutJobDoesNothing) {
    FakeProxy proxy(fake::AnswerAndClose(kOkAnswer));
    EXPECT_TRUE(m_probe.Cancel());
    EXPECT_EQ(Run(proxy), PR_DONE);
    EXPECT_EQ(m_recorder.Events(), kAnswered);
    EXPECT_EQ(Answer(), kOkAnswer);
}

// A cancel before the worker runs (from the start event) is not seen at all: the job runs as usual.
TEST_F(ProxyProbeTest, CancelBeforeWorkerStartsIsIgnored) {
    FakeProxy proxy(fake::AnswerAndClose(kOkAnswer));
    m_recorder.SetHook([this](int event, ProbeJob*) {
        if (event == PE_START) {
            EXPECT_TRUE(m_probe.Cancel());
        }
    });
    EXPECT_EQ(Run(proxy), PR_DONE);
    EXPECT_EQ(m_recorder.Events(), kAnswered);
    EXPECT_EQ(Answer(), kOkAnswer);
}

// A cancel that lands while the worker handles a chunk is seen before the next wait: the job ends as
// cancelled with what it has (a user's stop must not read as a broken answer), and the unused wake-up must
// not cut the next job short.
TEST_F(ProxyProbeTest, CancelBetweenWaitsEndsAsCancelledAndSparesTheNextJob) {
    FakeProxy partial(fake::AnswerPartly("HTTP/1.0 200"));
    m_probe.SetWaitTimeout(60000);
    m_recorder.SetHook([this](int event, ProbeJob*) {
        if (event == PE_RECEIVING) {
            EXPECT_TRUE(m_probe.Cancel());
        }
    });
    EXPECT_EQ(Run(partial), PR_CANCELLED);
    EXPECT_EQ(m_recorder.Events(),
              (std::vector<int>{PE_START, PE_CONNECTED, PE_SENT, PE_RECEIVING, PE_CANCELLED, PE_END}));
    EXPECT_EQ(Answer(), "HTTP/1.0 200");

    m_recorder.SetHook(nullptr);
    FakeProxy drip(fake::Drip("HTTP/1.0 200 OK\r\n", 5));
    m_probe.SetWaitTimeout(5000);
    EXPECT_EQ(Run(drip), PR_DONE);
    EXPECT_EQ(m_recorder.Events(), kAnswered);
    EXPECT_EQ(Answer(), "HTTP/1.0 200 OK\r\n");
}

TEST_F(ProxyProbeTest, ProbeServesManyJobsInTurn) {
    FakeProxy proxy(fake::AnswerAtOnce());
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(Run(proxy), PR_DONE);
        ASSERT_EQ(Answer(), "HTTP/1.0 200 OK\r\n\r\nHTTP_VIA=x\r\n");
    }
    EXPECT_EQ(m_recorder.Events(), kAnswered);
}

// ---- through a forwarding proxy to the echo page

TEST_F(ProxyProbeTest, ForwardingProxyShowsItsHeadersInTheEcho) {
    test::EchoJudge judge;
    FakeProxy proxy(fake::ForwardToJudge({"Via: 1.1 fake", "X-Forwarded-For: 127.0.0.1"}));
    m_probe.SetRequestLine(judge.Url() + " HTTP/1.0");
    m_probe.SetHeaders("User-Agent: probe-test\r\nAccept: */*\r\nHost: " + test::LoopbackAddress(judge.Port()));
    m_probe.SetWaitTimeout(5000);

    EXPECT_EQ(Run(proxy), PR_DONE);
    const std::string answer = Answer();
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << answer;
    for (const char* line :
         {"REQUEST_URI=/envchk.cgi\r\n", "SERVER_PROTOCOL=HTTP/1.0\r\n", "HTTP_USER_AGENT=probe-test\r\n",
          "HTTP_VIA=1.1 fake\r\n", "HTTP_X_FORWARDED_FOR=127.0.0.1\r\n", "REMOTE_ADDR=127.0.0.1\r\n"}) {
        EXPECT_NE(answer.find(line), std::string::npos) << line << " missing in\n" << answer;
    }
}

TEST_F(ProxyProbeTest, ForwardingProxyReachesOnlyLoopback) {
    FakeProxy proxy(fake::ForwardToJudge({}));
    m_probe.SetRequestLine("http://example.invalid/envchk.cgi HTTP/1.0");
    m_probe.SetWaitTimeout(5000);
    EXPECT_EQ(Run(proxy), PR_DONE);
    EXPECT_EQ(Answer().rfind("HTTP/1.0 502 ", 0), 0u) << Answer();
}

TEST(LoopbackSupportTest, BareExchangeReadsUntilTheServerCloses) {
    test::FakeProxy proxy(test::fake::AnswerAtOnce());
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(test::BareExchange(proxy.Port(), "GET / HTTP/1.0\r\n\r\n"), "HTTP/1.0 200 OK\r\n\r\nHTTP_VIA=x\r\n");
    }
    ASSERT_TRUE(proxy.WaitForFinished(20));
    EXPECT_EQ(proxy.Received().back(), "GET / HTTP/1.0\r\n\r\n");
}

} // namespace
} // namespace zandel
