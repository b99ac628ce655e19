#include "core/check/ProxyProbe.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ProbeFixture.h"

namespace zandel {
namespace {

using namespace probe_test;

// ---- jobs that never get to talk

struct FailedConnection {
    const char* name;
    std::function<std::string()> host;
    std::function<std::string(const FakeProxy&)> port;

    friend void PrintTo(const FailedConnection& value, std::ostream* out) { *out << value.name; }
};

class FailedConnectionTest : public ProxyProbeTest, public ::testing::WithParamInterface<FailedConnection> {};

TEST_P(FailedConnectionTest, EndsAsSocketErrorWithEmptyAnswer) {
    FakeProxy refusing(fake::Refuse());
    PrepareJob(GetParam().host(), GetParam().port(refusing));
    m_job.nReceived = 77; // what the verdict event must still show

    EXPECT_EQ(RunPrepared(), PR_SOCKET_ERROR);
    EXPECT_EQ(m_recorder.Events(), (std::vector<int>{PE_START, PE_SOCKET_ERROR, PE_END}));
    const auto records = m_recorder.Records();
    EXPECT_EQ(records[1].nReceived, 77u);
    EXPECT_EQ(records[2].nReceived, 0u);
    EXPECT_EQ(Answer(), "");
    EXPECT_EQ(m_job.nReceived, 0u);
    EXPECT_TRUE(GuardsIntact());
    ExpectEventsOnTheirThreads();
}

INSTANTIATE_TEST_SUITE_P(
    Probe, FailedConnectionTest,
    ::testing::Values(FailedConnection{"Refused", [] { return std::string(test::kLoopbackHost); },
                                       [](const FakeProxy& p) { return p.PortText(); }},
                      FailedConnection{"UnknownHost", [] { return std::string("nonexistent.invalid"); },
                                       [](const FakeProxy& p) { return p.PortText(); }},
                      FailedConnection{"EmptyHost", [] { return std::string(); },
                                       [](const FakeProxy& p) { return p.PortText(); }},
                      FailedConnection{"PortWithoutDigits", [] { return std::string(test::kLoopbackHost); },
                                       [](const FakeProxy&) { return std::string("http"); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProxyProbeTest, JobIsRefusedBeforeInitializeOrWithoutBuffer) {
    FakeProxy proxy(fake::AnswerAndClose(kOkAnswer));
    CProxyProbe fresh;
    PrepareJob(test::kLoopbackHost, proxy.PortText());
    EXPECT_EQ(fresh.RunJob(&m_job), PR_DONE);
    EXPECT_FALSE(fresh.Cancel());

    PrepareJob(test::kLoopbackHost, proxy.PortText(), 0);
    EXPECT_EQ(RunPrepared(), PR_DONE);
    EXPECT_EQ(m_probe.RunJob(nullptr), PR_DONE);
    PrepareJob(test::kLoopbackHost, proxy.PortText());
    m_job.pBuffer = nullptr;
    EXPECT_EQ(RunPrepared(), PR_DONE);

    EXPECT_TRUE(m_recorder.Events().empty());
    EXPECT_TRUE(std::all_of(m_storage.begin(), m_storage.end(), [](char c) { return c == kCanary; }));
}

// ---- how an exchange ends

struct Ending {
    const char* name;
    std::function<FakeScript()> script;
    std::uint32_t waitMs;
    ProbeResult result;
    std::vector<int> events;
    std::string answer;

    friend void PrintTo(const Ending& value, std::ostream* out) { *out << value.name; }
};

class EndingTest : public ProxyProbeTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(EndingTest, ResultEventsAndAnswer) {
    const Ending& ending = GetParam();
    FakeProxy proxy(ending.script());
    m_probe.SetWaitTimeout(ending.waitMs);

    EXPECT_EQ(Run(proxy), ending.result);
    EXPECT_EQ(m_recorder.Events(), ending.events);
    EXPECT_EQ(Answer(), ending.answer);
    EXPECT_EQ(m_job.nReceived, ending.answer.size());
    EXPECT_TRUE(GuardsIntact());
    ExpectEventsOnTheirThreads();
}

INSTANTIATE_TEST_SUITE_P(
    Probe, EndingTest,
    ::testing::Values(
        Ending{"ClosedAfterAnswer", [] { return fake::AnswerAndClose(kOkAnswer); }, 300, PR_DONE, kAnswered, kOkAnswer},
        Ending{"NeverAnswers",
               [] { return fake::NeverAnswer(); },
               200,
               PR_TIMEOUT,
               {PE_START, PE_CONNECTED, PE_SENT, PE_TIMEOUT, PE_END},
               ""},
        // A wait that runs out after some bytes is an answer, not a time-out.
        Ending{"PartThenSilence", [] { return fake::AnswerPartly("HTTP/1.0 200 OK\r\n"); }, 200, PR_DONE, kAnswered,
               "HTTP/1.0 200 OK\r\n"},
        Ending{"KeptOpenAfterAnswer", [] { return fake::KeepOpenAfterAnswer(kOkAnswer); }, 200, PR_DONE, kAnswered,
               kOkAnswer},
        // The wait time-out is per wait: a slow but steady answer is taken in full.
        Ending{"SlowDrip", [] { return fake::Drip("HTTP/1.0 200 OK\r\n\r\nok", 40); }, 400, PR_DONE, kAnswered,
               "HTTP/1.0 200 OK\r\n\r\nok"},
        Ending{"ZeroByteEndsTheText", [] { return fake::AnswerWithZeroByte("HTTP/1.0 200 OK", "hidden"); }, 300,
               PR_DONE, kAnswered, "HTTP/1.0 200 OK"},
        // Only a zero byte: PE_RECEIVING for the chunk, but nothing was taken, so no PE_RECEIVED.
        Ending{"OnlyZeroBytes",
               [] { return fake::AnswerAndClose(std::string(3, '\0')); },
               300,
               PR_DONE,
               {PE_START, PE_CONNECTED, PE_SENT, PE_RECEIVING, PE_END},
               ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- a full buffer

struct FullBuffer {
    const char* name;
    std::uint32_t bufferSize;
    bool answerQueuedBeforeReading;
    std::vector<int> events;

    friend void PrintTo(const FullBuffer& value, std::ostream* out) { *out << value.name; }
};

class FullBufferTest : public ProxyProbeTest, public ::testing::WithParamInterface<FullBuffer> {};

TEST_P(FullBufferTest, KeepsSizeMinusOneCharactersInsideTheBuffer) {
    const FullBuffer& param = GetParam();
    const std::string answer = Pattern(12000);
    FakeProxy proxy(param.answerQueuedBeforeReading ? fake::AnswerAndClose(answer)
                                                    : fake::AnswerInChunks(answer, 5120, 20));
    if (param.answerQueuedBeforeReading) {
        // The whole answer and the close wait at the probe before it reads a byte: the close must not cut
        // the answer short.
        m_recorder.SetHook([&proxy](int event, ProbeJob*) {
            if (event == PE_SENT) {
                EXPECT_TRUE(proxy.WaitForDelivered(1));
            }
        });
    }

    EXPECT_EQ(Run(proxy, param.bufferSize), PR_DONE);
    EXPECT_EQ(m_recorder.Events(), param.events);
    EXPECT_EQ(m_job.nReceived, param.bufferSize);
    EXPECT_EQ(Answer(), answer.substr(0, param.bufferSize - 1));
    EXPECT_TRUE(GuardsIntact());
}

INSTANTIATE_TEST_SUITE_P(
    Probe, FullBufferTest,
    ::testing::Values(FullBuffer{"InChunks", kAnswerBuffer, false, kAnswered},
                      FullBuffer{"QueuedWithClose", kAnswerBuffer, true, kAnswered},
                      // Filled by the first chunk: no PE_RECEIVING.
                      FullBuffer{"OneByteBuffer", 1, false, {PE_START, PE_CONNECTED, PE_SENT, PE_RECEIVED, PE_END}},
                      FullBuffer{
                          "ExactlyOneChunk", 5120, true, {PE_START, PE_CONNECTED, PE_SENT, PE_RECEIVED, PE_END}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProxyProbeTest, TextAfterZeroByteIsDroppedAndNextChunkFollowsDirectly) {
    FakeProxy proxy(
        {fake::Read(), fake::Send(std::string("abc\0def", 7)), fake::Gate(), fake::Send("ghi"), fake::Close()});
    // The second piece is sent only once the first has been taken, so they arrive as two chunks.
    m_recorder.SetHook([&proxy](int event, ProbeJob*) {
        if (event == PE_RECEIVING) {
            proxy.OpenGate();
        }
    });

    EXPECT_EQ(Run(proxy), PR_DONE);
    EXPECT_EQ(Answer(), "abcghi");
    EXPECT_EQ(m_job.nReceived, 6u);
    EXPECT_EQ(m_recorder.Events(), kAnswered);
}

// ---- the port text

class PortTextTest : public ProxyProbeTest, public ::testing::WithParamInterface<std::function<std::string(int)>> {};

TEST_P(PortTextTest, ReadsLeadingDigitsAndWrapsToSixteenBits) {
    FakeProxy proxy(fake::AnswerAndClose(kOkAnswer));
    const std::string portText = GetParam()(proxy.Port());
    ASSERT_LT(portText.size(), sizeof(ProbeJob{}.szPort));
    EXPECT_EQ(Run(test::kLoopbackHost, portText), PR_DONE) << portText;
    EXPECT_EQ(Answer(), kOkAnswer);
}

INSTANTIATE_TEST_SUITE_P(Probe, PortTextTest,
                         ::testing::Values([](int port) { return std::to_string(port) + "x"; },
                                           [](int port) { return " +" + std::to_string(port); },
                                           [](int port) { return std::to_string(port + 65536); }));

// ---- the request on the wire

TEST_F(ProxyProbeTest, SendsTheRequestByteForByte) {
    FakeProxy proxy(fake::NeverAnswer());
    m_probe.SetWaitTimeout(200);
    EXPECT_EQ(Run(proxy), PR_TIMEOUT);
    ASSERT_TRUE(proxy.WaitForFinished(1));
    EXPECT_EQ(proxy.Received().at(0), "GET " + kRequestLine + "\r\n" + kHeaders + "\r\n\r\n");
}

TEST_F(ProxyProbeTest, CutsTheRequestAfter1023Characters) {
    FakeProxy proxy(fake::NeverAnswer());
    m_probe.SetWaitTimeout(200);
    const std::string longLine = "http://127.0.0.1/" + Pattern(2000) + " HTTP/1.0";
    m_probe.SetRequestLine(longLine);
    EXPECT_EQ(Run(proxy), PR_TIMEOUT);
    ASSERT_TRUE(proxy.WaitForFinished(1));
    const std::string full = "GET " + longLine + "\r\n" + kHeaders + "\r\n\r\n";
    EXPECT_EQ(proxy.Received().at(0), full.substr(0, CProxyProbe::kMaxRequestChars));
}

TEST_F(ProxyProbeTest, SettingsChangedBetweenJobsApplyToTheNextJob) {
    FakeProxy proxy(fake::AnswerAndClose(kOkAnswer));
    EXPECT_EQ(Run(proxy), PR_DONE);
    ASSERT_TRUE(proxy.WaitForFinished(1));
    m_probe.SetRequestLine("http://127.0.0.1/ HTTP/1.1");
    m_probe.SetHeaders("Host: 127.0.0.1");
    EXPECT_EQ(Run(proxy), PR_DONE);
    ASSERT_TRUE(proxy.WaitForFinished(2));
    EXPECT_EQ(proxy.Received().at(1), "GET http://127.0.0.1/ HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

} // namespace
} // namespace zandel
