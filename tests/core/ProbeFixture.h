#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/check/ParallelProbe.h"
#include "core/check/ProbePlan.h"
#include "core/check/ProxyProbe.h"
#include "core/check/TimeoutTimer.h"
#include "support/FakeProxy.h"
#include "support/Loopback.h"
#include "support/ProbeRecorder.h"

namespace zandel::probe_test {

using enum ProbeEvent;
using enum ProbeResult;

using test::FakeProxy;
using test::FakeScript;
using test::ProbeRecorder;
namespace fake = test::fake;

inline constexpr std::uint32_t kAnswerBuffer = kAnswerBufferSize;
inline constexpr std::uint32_t kLongTimeoutMs = 60000;
inline const std::string kRequestLine = "http://127.0.0.1/envchk.cgi HTTP/1.0";
inline const std::string kHeaders = "User-Agent: probe-test\r\nAccept: */*\r\nHost: 127.0.0.1";
inline const std::string kOkAnswer = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n";
inline const std::vector<ProbeEvent> kAnswered{PE_START, PE_CONNECTED, PE_SENT, PE_RECEIVING, PE_RECEIVED, PE_END};

inline std::string Pattern(std::size_t size) {
    std::string text(size, ' ');
    for (std::size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>('a' + i % 26);
    }
    return text;
}

inline std::shared_ptr<const ProbePlan> Plan(std::uint32_t waitMs, std::shared_ptr<const TunnelPlan> tunnel = nullptr,
                                             const std::string& requestLine = kRequestLine) {
    return MakeProxyPlan(ComposeProbeRequest(requestLine, kHeaders), waitMs, std::move(tunnel));
}

// The two drivers of the one job machine: a worker thread per job, and many jobs driven on the caller's thread.
enum class Driver { OneAtATime, ManyAtOnce };

inline std::string DriverName(Driver driver) {
    return driver == Driver::OneAtATime ? "OneAtATime" : "ManyAtOnce";
}

// One job at a time through either driver, as the check run uses it: the one-at-a-time probe under a time-out
// timer that marks and cancels (the window's timer 10), the parallel probe with the job's own time-out.
class ProbeRig final {
public:
    explicit ProbeRig(Driver driver, ProbeResolver resolver = &ResolveProbeHost)
        : m_driver(driver), m_one(resolver), m_many(&m_recorder, resolver) {
        EXPECT_TRUE(driver == Driver::OneAtATime ? m_one.Initialize(&m_recorder) : m_many.Start());
    }

    // Runs the job to its end on the calling thread, which raises the start and the closing events.
    ProbeResult Run(ProbeJob& job, std::shared_ptr<const ProbePlan> plan, std::uint32_t timeoutMs = kLongTimeoutMs) {
        m_mark = false;
        if (m_driver == Driver::OneAtATime) {
            ThreadTimeoutTimer timer;
            timer.Start(static_cast<int>(timeoutMs), [this] {
                m_mark = true;
                m_one.Cancel();
            });
            const ProbeResult result = m_one.RunJob(&job, std::move(plan));
            timer.Stop();
            return result;
        }
        m_many.Submit(&job, std::move(plan), timeoutMs, &m_mark);
        const ParallelProbe::Done done = m_many.Collect();
        EXPECT_EQ(done.job, &job);
        return done.result;
    }

    // A stop from any thread.
    void Cancel() {
        if (m_driver == Driver::OneAtATime) {
            EXPECT_TRUE(m_one.Cancel());
        } else {
            m_many.CancelAll();
        }
    }

    Driver Kind() const { return m_driver; }
    bool TimeoutMark() const { return m_mark.load(); }
    ProbeRecorder& Recorder() { return m_recorder; }

private:
    Driver m_driver;
    ProbeRecorder m_recorder;
    std::atomic<bool> m_mark{false};
    CProxyProbe m_one;
    ParallelProbe m_many;
};

// A job whose answer may take `bufferSize` bytes. The answer's room is allocated to the byte, so the sanitizers'
// red zones fence it; the room itself must stay within the limit and untaken while nothing came.
class FencedJob final {
public:
    explicit FencedJob(const std::string& host = test::kLoopbackHost, const std::string& port = "",
                       std::uint32_t bufferSize = kAnswerBuffer) {
        job.target = {host, port};
        job.answer = AnswerBuffer(bufferSize);
    }
    FencedJob(const FakeProxy& proxy, std::uint32_t bufferSize = kAnswerBuffer)
        : FencedJob(test::kLoopbackHost, proxy.PortText(), bufferSize) {}

    std::string Answer() const { return std::string(job.answer.Text()); }
    bool GuardsIntact() const { return job.answer.Room() <= job.answer.Limit(); }
    bool Untouched() const { return job.answer.Room() == 0 && job.answer.Size() == 0; }

    ProbeJob job;
};

// Every table of cases runs under both drivers.
template <class Case> class DriverTable : public ::testing::TestWithParam<std::tuple<Driver, Case>> {
public:
    using CaseType = Case;

protected:
    Driver Kind() const { return std::get<0>(this->GetParam()); }
    const Case& Param() const { return std::get<1>(this->GetParam()); }
};

// The start, the end and the verdicts come on the thread that hands the job over; the connection's stages on the
// thread that drives it: the one-at-a-time probe's worker, which has its own copy of the record, or the parallel
// probe's caller itself, which works on the caller's record throughout.
inline void ExpectEventsOnTheirThreads(Driver driver, const ProbeRecorder& recorder, std::thread::id caller,
                                       const ProbeJob* job) {
    for (const test::ProbeEventRecord& record : recorder.Records()) {
        const bool fromCaller = record.event == PE_START || record.event == PE_END || record.event == PE_TIMEOUT ||
                                record.event == PE_CANCELLED || record.event == PE_SOCKET_ERROR;
        EXPECT_EQ(record.thread == caller, fromCaller || driver == Driver::ManyAtOnce) << "event " << record.event;
        EXPECT_EQ(record.job == job, fromCaller || driver == Driver::ManyAtOnce) << "event " << record.event;
    }
}

template <class Case> std::string CaseName(const ::testing::TestParamInfo<std::tuple<Driver, Case>>& info) {
    return DriverName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
}

#define ZANDEL_BOTH_DRIVERS(Suite, Cases)                                                                              \
    INSTANTIATE_TEST_SUITE_P(                                                                                          \
        Probe, Suite,                                                                                                  \
        ::testing::Combine(::testing::Values(Driver::OneAtATime, Driver::ManyAtOnce), ::testing::ValuesIn(Cases)),     \
        CaseName<Suite::CaseType>)

} // namespace zandel::probe_test
