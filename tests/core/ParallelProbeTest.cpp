// What only many jobs at once can show: jobs that must not disturb each other, deadlines that come together, a stop
// for all, and lookups that hang.

#include "core/check/ParallelProbe.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ProbeFixture.h"
#include "support/TestResolver.h"

namespace zandel {
namespace {

using namespace probe_test;

constexpr std::uint32_t kWaitMs = 400;

// One job's slot: its record, its answer buffer, its recorder and its time-out mark.
struct Slot {
    explicit Slot(const FakeProxy& proxy, std::size_t kindIndex = 0, const std::string& host = test::kLoopbackHost)
        : fenced(host, proxy.PortText()), kind(kindIndex) {}
    FencedJob fenced;
    ProbeRecorder recorder;
    std::atomic<bool> mark{false};
    std::size_t kind;
};

struct Outcome {
    ProbeResult result;
    std::vector<ProbeEvent> events;
    std::string answer;
    std::uint32_t received;
};

Outcome OutcomeOf(const Slot& slot, ProbeResult result) {
    return {result, slot.recorder.Events(), slot.fenced.Answer(), slot.fenced.job.answer.Size()};
}

// Hands each job's stages to its own slot's recorder.
class SlotRecorders final : public IProbeStages {
public:
    void OnProbeStage(ProbeEvent event, ProbeJob& job) override {
        ProbeRecorder* recorder = nullptr;
        {
            std::lock_guard lock(m_mutex);
            recorder = m_recorders.at(&job);
        }
        recorder->OnProbeStage(event, job);
    }
    void Add(Slot& slot) {
        std::lock_guard lock(m_mutex);
        m_recorders[&slot.fenced.job] = &slot.recorder;
    }

private:
    std::mutex m_mutex;
    std::map<const ProbeJob*, ProbeRecorder*> m_recorders;
};

class ParallelProbeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_probe.Start()); }
    void Submit(Slot& slot, std::uint32_t timeoutMs, std::shared_ptr<const ProbePlan> plan = Plan(kWaitMs)) {
        m_recorders.Add(slot);
        m_probe.Submit(&slot.fenced.job, std::move(plan), timeoutMs, &slot.mark);
    }
    Slot& SlotOf(const ParallelProbe::Done& done) {
        for (auto& slot : m_slots) {
            if (&slot->fenced.job == done.job) {
                return *slot;
            }
        }
        throw std::logic_error("no such job");
    }

    SlotRecorders m_recorders;
    std::vector<std::unique_ptr<Slot>> m_slots;
    ParallelProbe m_probe{&m_recorders, &test::TestResolve, 4};
};

// Every ending a proxy can give, once through the one-job probe and then 56 at once: each job must come out
// exactly as it did alone.
TEST_F(ParallelProbeTest, ManyAtOnceEndExactlyAsEachDoesAlone) {
    std::vector<std::unique_ptr<FakeProxy>> proxies;
    proxies.push_back(std::make_unique<FakeProxy>(fake::AnswerAndClose(kOkAnswer)));
    proxies.push_back(std::make_unique<FakeProxy>(fake::Refuse()));
    proxies.push_back(std::make_unique<FakeProxy>(fake::NeverAnswer()));
    proxies.push_back(std::make_unique<FakeProxy>(fake::AnswerPartly("HTTP/1.0 200 OK\r\n")));
    proxies.push_back(std::make_unique<FakeProxy>(fake::AnswerAndClose(std::string(30000, 'f'))));
    proxies.push_back(std::make_unique<FakeProxy>(fake::AnswerAndClose("")));
    proxies.push_back(std::make_unique<FakeProxy>(fake::Drip("HTTP/1.0 200 OK\r\n\r\nok", 5)));
    proxies.push_back(std::make_unique<FakeProxy>(fake::AnswerWithZeroByte("HTTP/1.0 200", " dropped")));

    std::vector<Outcome> alone;
    for (std::size_t k = 0; k < proxies.size(); ++k) {
        ProbeRig rig(Driver::OneAtATime);
        FencedJob fenced(*proxies[k]);
        const ProbeResult result = rig.Run(fenced.job, Plan(kWaitMs));
        alone.push_back({result, rig.Recorder().Events(), fenced.Answer(), fenced.job.answer.Size()});
    }

    constexpr std::size_t kJobs = 56;
    for (std::size_t i = 0; i < kJobs; ++i) {
        m_slots.push_back(std::make_unique<Slot>(*proxies[i % proxies.size()], i % proxies.size()));
        Submit(*m_slots.back(), kLongTimeoutMs);
    }
    for (std::size_t i = 0; i < kJobs; ++i) {
        const ParallelProbe::Done done = m_probe.Collect();
        Slot& slot = SlotOf(done);
        const Outcome together = OutcomeOf(slot, done.result);
        const Outcome& expected = alone[slot.kind];
        EXPECT_EQ(together.result, expected.result) << "kind " << slot.kind;
        EXPECT_EQ(together.events, expected.events) << "kind " << slot.kind;
        EXPECT_EQ(together.answer, expected.answer) << "kind " << slot.kind;
        EXPECT_EQ(together.received, expected.received) << "kind " << slot.kind;
        EXPECT_FALSE(slot.mark.load());
        EXPECT_TRUE(slot.fenced.GuardsIntact());
    }
    EXPECT_EQ(m_probe.Outstanding(), 0);
}

// Jobs whose time-outs run out together all end as the window's timer ends one: marked, then cancelled.
TEST_F(ParallelProbeTest, TimeOutsAtTheSameMomentMarkAndCancelEveryJob) {
    FakeProxy silent(fake::NeverAnswer());
    const auto plan = Plan(kLongTimeoutMs);
    for (int i = 0; i < 50; ++i) {
        m_slots.push_back(std::make_unique<Slot>(silent));
        Submit(*m_slots.back(), 300, plan);
    }
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(m_probe.Collect().result, PR_CANCELLED);
    }
    for (const auto& slot : m_slots) {
        EXPECT_TRUE(slot->mark.load());
        EXPECT_EQ(slot->recorder.Events(),
                  (std::vector<ProbeEvent>{PE_START, PE_CONNECTED, PE_SENT, PE_CANCELLED, PE_END}));
    }
}

TEST_F(ParallelProbeTest, CancelAllEndsEveryRunningJobUnmarkedAndTheProbeServesOn) {
    FakeProxy silent(fake::NeverAnswer());
    for (int i = 0; i < 50; ++i) {
        m_slots.push_back(std::make_unique<Slot>(silent));
        Submit(*m_slots.back(), kLongTimeoutMs);
    }
    ASSERT_TRUE(silent.WaitForFinished(0));
    m_probe.CancelAll();
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(m_probe.Collect().result, PR_CANCELLED);
    }
    for (const auto& slot : m_slots) {
        EXPECT_FALSE(slot->mark.load());
    }

    FakeProxy answering(fake::AnswerAndClose(kOkAnswer));
    m_slots.push_back(std::make_unique<Slot>(answering));
    Submit(*m_slots.back(), kLongTimeoutMs);
    EXPECT_EQ(m_probe.Collect().result, PR_DONE);
    EXPECT_EQ(m_slots.back()->fenced.Answer(), kOkAnswer);
}

// Names whose lookups hang hold no other job's lookup for longer than the hanging jobs' own time-out: the pool here
// keeps at most four lookups live, and a hanging lookup whose job has ended no longer counts, so the good names are
// checked long before their own time-out (which they would otherwise reach), and each hanging one ends by its own.
TEST_F(ParallelProbeTest, HangingLookupsHoldUpNoOtherJob) {
    test::ArmHangingLookups();
    FakeProxy good(fake::AnswerAndClose(kOkAnswer));
    for (int i = 0; i < 8; ++i) {
        m_slots.push_back(std::make_unique<Slot>(good, 1, "dead" + std::to_string(i) + ".hang.test"));
        Submit(*m_slots.back(), 300);
    }
    for (int i = 0; i < 20; ++i) {
        m_slots.push_back(std::make_unique<Slot>(good, 0, "good" + std::to_string(i) + ".v4.test"));
        Submit(*m_slots.back(), kLongTimeoutMs);
    }
    int goodDone = 0;
    for (int i = 0; i < 28; ++i) {
        const ParallelProbe::Done done = m_probe.Collect();
        Slot& slot = SlotOf(done);
        if (slot.kind == 0) {
            EXPECT_EQ(done.result, PR_DONE);
            EXPECT_EQ(slot.fenced.Answer(), kOkAnswer);
            ++goodDone;
        } else {
            EXPECT_EQ(done.result, PR_CANCELLED);
            EXPECT_TRUE(slot.mark.load()) << "a hanging lookup ends by the job's time-out";
        }
    }
    EXPECT_EQ(goodDone, 20);
    test::ReleaseHangingLookups();
}

} // namespace
} // namespace zandel
