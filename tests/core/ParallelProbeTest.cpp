#include "core/check/ParallelProbe.h"

#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FakeProxy.h"
#include "support/Loopback.h"
#include "support/ProbeRecorder.h"

namespace zandel {
namespace {

using test::FakeProxy;
using test::ProbeRecorder;
namespace fake = test::fake;

const std::string kRequestLine = "http://127.0.0.1/envchk.cgi HTTP/1.0";
const std::string kHeaders = "User-Agent: parallel-test\r\nHost: 127.0.0.1";
const std::string kAnswer = "HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n";
constexpr std::uint32_t kWaitMs = 400;
constexpr std::uint32_t kLongTimeoutMs = 20000;

std::string Flood() {
    return std::string(30000, 'f');
}

// One job's slot: its record, its answer buffer and its time-out mark.
struct Slot {
    ProbeJob job;
    std::array<char, 10240> buffer{};
    ProbeRecorder recorder;
    std::atomic<bool> mark{false};
    std::size_t kind = 0;

    void Prepare(const FakeProxy& proxy, std::size_t kindIndex) {
        job = ProbeJob{};
        std::strncpy(job.szHost, test::kLoopbackHost, sizeof job.szHost - 1);
        std::strncpy(job.szPort, proxy.PortText().c_str(), sizeof job.szPort - 1);
        job.pBuffer = buffer.data();
        job.nBufferSize = static_cast<std::uint32_t>(buffer.size());
        kind = kindIndex;
    }
};

struct Outcome {
    ProbeResult result;
    std::vector<int> events;
    std::string answer;
    std::uint32_t received;
};

Outcome OutcomeOf(const Slot& slot, ProbeResult result) {
    return {result, slot.recorder.Events(), std::string(slot.job.pBuffer), slot.job.nReceived};
}

// Hands each job's stages to its own slot's recorder.
class SlotRecorders final : public IProbeStages {
public:
    void OnProbeStage(int event, ProbeJob& job) override {
        ProbeRecorder* recorder = nullptr;
        {
            std::lock_guard lock(m_mutex);
            recorder = m_recorders.at(&job);
        }
        recorder->OnProbeStage(event, job);
    }
    void Submit(ParallelProbe& probe, Slot& slot, std::uint32_t timeoutMs) {
        {
            std::lock_guard lock(m_mutex);
            m_recorders[&slot.job] = &slot.recorder;
        }
        probe.Submit(&slot.job, timeoutMs, &slot.mark);
    }

private:
    std::mutex m_mutex;
    std::map<const ProbeJob*, ProbeRecorder*> m_recorders;
};

class ParallelProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_probe.Start());
        m_probe.SetRequest(kRequestLine, kHeaders, kWaitMs);
    }
    void Submit(Slot& slot, std::uint32_t timeoutMs) { m_recorders.Submit(m_probe, slot, timeoutMs); }

    SlotRecorders m_recorders;
    ParallelProbe m_probe{&m_recorders};
};

// Every ending a proxy can give, once through the one-job probe and then 56 at once: each job must come out
// exactly as it did alone.
TEST_F(ParallelProbeTest, ManyAtOnceEndExactlyAsEachDoesAlone) {
    std::vector<std::unique_ptr<FakeProxy>> proxies;
    proxies.push_back(std::make_unique<FakeProxy>(fake::AnswerAndClose(kAnswer)));
    proxies.push_back(std::make_unique<FakeProxy>(fake::Refuse()));
    proxies.push_back(std::make_unique<FakeProxy>(fake::NeverAnswer()));
    proxies.push_back(std::make_unique<FakeProxy>(fake::AnswerPartly("HTTP/1.0 200 OK\r\n")));
    proxies.push_back(std::make_unique<FakeProxy>(fake::AnswerAndClose(Flood())));
    proxies.push_back(std::make_unique<FakeProxy>(fake::AnswerAndClose("")));
    proxies.push_back(std::make_unique<FakeProxy>(fake::Drip("HTTP/1.0 200 OK\r\n\r\nok", 5)));
    proxies.push_back(std::make_unique<FakeProxy>(fake::AnswerWithZeroByte("HTTP/1.0 200", " dropped")));

    std::vector<Outcome> alone;
    // The one-job probe reports its worker's stages with a job of its own: one recorder per job in turn.
    struct Forward final : IProbeStages {
        ProbeRecorder* to = nullptr;
        void OnProbeStage(int event, ProbeJob& job) override { to->OnProbeStage(event, job); }
    } forward;
    CProxyProbe single;
    ASSERT_TRUE(single.Initialize(&forward));
    single.SetWaitTimeout(kWaitMs);
    single.SetRequestLine(kRequestLine);
    single.SetHeaders(kHeaders);
    for (std::size_t k = 0; k < proxies.size(); ++k) {
        Slot slot;
        slot.Prepare(*proxies[k], k);
        forward.to = &slot.recorder;
        const ProbeResult result = single.RunJob(&slot.job);
        alone.push_back(OutcomeOf(slot, result));
    }

    constexpr std::size_t kJobs = 56;
    std::vector<std::unique_ptr<Slot>> slots;
    for (std::size_t i = 0; i < kJobs; ++i) {
        slots.push_back(std::make_unique<Slot>());
        slots.back()->Prepare(*proxies[i % proxies.size()], i % proxies.size());
        Submit(*slots.back(), kLongTimeoutMs);
    }
    std::map<const ProbeJob*, Slot*> byJob;
    for (auto& slot : slots) {
        byJob[&slot->job] = slot.get();
    }
    for (std::size_t i = 0; i < kJobs; ++i) {
        const ParallelProbe::Done done = m_probe.Collect();
        Slot& slot = *byJob.at(done.job);
        const Outcome together = OutcomeOf(slot, done.result);
        const Outcome& expected = alone[slot.kind];
        EXPECT_EQ(together.result, expected.result) << "kind " << slot.kind;
        EXPECT_EQ(together.events, expected.events) << "kind " << slot.kind;
        EXPECT_EQ(together.answer, expected.answer) << "kind " << slot.kind;
        EXPECT_EQ(together.received, expected.received) << "kind " << slot.kind;
        EXPECT_FALSE(slot.mark.load());
    }
    EXPECT_EQ(m_probe.Outstanding(), 0);
    // The one request, byte for byte, on every connection that read it.
    for (const std::string& request : proxies[0]->Received()) {
        EXPECT_EQ(request, "GET " + kRequestLine + "\r\n" + kHeaders + "\r\n\r\n");
    }
}

// Jobs whose time-outs run out together all end as the window's timer ends one: marked, then cancelled.
TEST_F(ParallelProbeTest, TimeOutsAtTheSameMomentMarkAndCancelEveryJob) {
    m_probe.SetRequest(kRequestLine, kHeaders, kLongTimeoutMs);
    FakeProxy silent(fake::NeverAnswer());
    std::vector<std::unique_ptr<Slot>> slots;
    for (int i = 0; i < 50; ++i) {
        slots.push_back(std::make_unique<Slot>());
        slots.back()->Prepare(silent, 0);
        Submit(*slots.back(), 300);
    }
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(m_probe.Collect().result, PR_CANCELLED);
    }
    for (const auto& slot : slots) {
        EXPECT_TRUE(slot->mark.load());
        EXPECT_EQ(slot->recorder.Events(), (std::vector<int>{PE_START, PE_CONNECTED, PE_SENT, PE_CANCELLED, PE_END}));
    }
}

TEST_F(ParallelProbeTest, CancelAllEndsEveryRunningJobUnmarkedAndTheProbeServesOn) {
    FakeProxy silent(fake::NeverAnswer());
    std::vector<std::unique_ptr<Slot>> slots;
    for (int i = 0; i < 50; ++i) {
        slots.push_back(std::make_unique<Slot>());
        slots.back()->Prepare(silent, 0);
        Submit(*slots.back(), kLongTimeoutMs);
    }
    ASSERT_TRUE(silent.WaitForFinished(0));
    m_probe.CancelAll();
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(m_probe.Collect().result, PR_CANCELLED);
    }
    for (const auto& slot : slots) {
        EXPECT_FALSE(slot->mark.load());
    }

    FakeProxy answering(fake::AnswerAndClose(kAnswer));
    Slot after;
    after.Prepare(answering, 0);
    Submit(after, kLongTimeoutMs);
    EXPECT_EQ(m_probe.Collect().result, PR_DONE);
    EXPECT_EQ(std::string(after.job.pBuffer), kAnswer);
}

// A name goes to the lookup threads ("localhost" is answered from the hosts file, never by the network).
TEST_F(ParallelProbeTest, NamesAreLookedUpAside) {
    FakeProxy answering(fake::AnswerAndClose(kAnswer));
    Slot named;
    named.Prepare(answering, 0);
    std::strncpy(named.job.szHost, "localhost", sizeof named.job.szHost - 1);
    Submit(named, kLongTimeoutMs);
    EXPECT_EQ(m_probe.Collect().result, PR_DONE);
    EXPECT_EQ(std::string(named.job.pBuffer), kAnswer);
}

} // namespace
} // namespace zandel
