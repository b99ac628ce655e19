#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/check/ProbeAddress.h"
#include "core/util/UniqueFd.h"

namespace zandel {

// The parallel probe's name lookups, each on a thread of the pool: the system's resolver (nsswitch: the hosts
// file, then the name servers) may block for as long as a silent name server takes, and nothing cuts it short.
// A lookup whose job still waits for it holds a live thread; while lookups wait and no thread is idle, the pool
// grows, up to `liveLimit` live threads. A lookup whose job has ended meanwhile is parked: its thread no longer
// counts, so a stuck lookup never holds up another job's (up to kMaxThreads threads in all). Threads outlive the
// probe when the resolver keeps one blocked: they hold the pool, not the probe.
class ProbeLookupPool final : public std::enable_shared_from_this<ProbeLookupPool> {
public:
    static constexpr int kLiveLimit = 256;
    static constexpr int kMaxThreads = 1024;

    struct Answer {
        std::size_t slot;
        unsigned serial;
        ProbeAddresses addresses; // none when the lookup failed
    };

    // `wake` is written once for every answer (the pool keeps a descriptor of its own for it).
    ProbeLookupPool(ProbeResolver resolver, int liveLimit, int wake);
    ~ProbeLookupPool();
    ProbeLookupPool(const ProbeLookupPool&) = delete;
    ProbeLookupPool& operator=(const ProbeLookupPool&) = delete;

    bool IsReady() const { return m_wake.IsOpen(); }
    // `slot` and `serial` name the job that asks; its answer comes back with them.
    void Ask(std::size_t slot, unsigned serial, std::string name, std::uint16_t port);
    // The job no longer waits: a lookup not begun is dropped, one under way is parked and its answer dropped.
    void Abandon(std::size_t slot, unsigned serial);
    std::vector<Answer> TakeAnswers();
    // Idle threads end now, busy ones when their lookup returns; no answer comes any more.
    void Stop();

private:
    enum class Lookup { Queued, Running, Parked };
    struct Question {
        std::uint64_t key;
        std::string name;
        std::uint16_t port;
    };

    static std::uint64_t Key(std::size_t slot, unsigned serial) {
        return (static_cast<std::uint64_t>(serial) << 32) | (slot & 0xFFFFFFFFu);
    }
    void GrowLocked();
    void Serve();

    ProbeResolver m_resolver;
    int m_liveLimit;
    UniqueFd m_wake;

    std::mutex m_mutex;
    std::condition_variable m_asked;
    std::deque<Question> m_asks;
    std::unordered_map<std::uint64_t, Lookup> m_lookups;
    std::vector<Answer> m_answers;
    int m_threads = 0;
    int m_idle = 0; // threads waiting for an ask, and threads made but not yet waiting
    int m_live = 0; // threads whose lookup a job still waits for
    bool m_stop = false;
};

} // namespace zandel
