#include "core/check/ProbeLookupPool.h"

#include <system_error>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace zandel {

ProbeLookupPool::ProbeLookupPool(ProbeResolver resolver, int liveLimit, int wake)
    : m_resolver(resolver), m_liveLimit(liveLimit), m_wake(::fcntl(wake, F_DUPFD_CLOEXEC, 0)) {}

ProbeLookupPool::~ProbeLookupPool() = default;

void ProbeLookupPool::Ask(std::size_t slot, unsigned serial, std::string name, std::uint16_t port) {
    std::lock_guard lock(m_mutex);
    const std::uint64_t key = Key(slot, serial);
    m_lookups[key] = Lookup::Queued;
    m_asks.push_back({key, std::move(name), port});
    m_asked.notify_one();
    GrowLocked();
}

void ProbeLookupPool::Abandon(std::size_t slot, unsigned serial) {
    std::lock_guard lock(m_mutex);
    const auto found = m_lookups.find(Key(slot, serial));
    if (found == m_lookups.end()) {
        return;
    }
    if (found->second == Lookup::Queued) {
        m_lookups.erase(found); // the thread that takes its ask passes it over
    } else if (found->second == Lookup::Running) {
        found->second = Lookup::Parked;
        --m_live;
        GrowLocked();
    }
}

std::vector<ProbeLookupPool::Answer> ProbeLookupPool::TakeAnswers() {
    std::lock_guard lock(m_mutex);
    std::vector<Answer> answers;
    answers.swap(m_answers);
    return answers;
}

void ProbeLookupPool::Stop() {
    std::lock_guard lock(m_mutex);
    m_stop = true;
    m_asked.notify_all();
}

void ProbeLookupPool::GrowLocked() {
    if (m_stop || m_asks.size() <= static_cast<std::size_t>(m_idle) || m_live + m_idle >= m_liveLimit ||
        m_threads >= kMaxThreads) {
        return;
    }
    try {
        std::thread([pool = shared_from_this()] { pool->Serve(); }).detach();
        ++m_threads;
        ++m_idle;
    } catch (const std::system_error&) {
        // The asks wait for a thread that is there already, or end with their jobs' time-outs.
    }
}

void ProbeLookupPool::Serve() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_asked.wait(lock, [&] { return m_stop || !m_asks.empty(); });
        if (m_stop) {
            --m_threads;
            --m_idle;
            return;
        }
        const Question ask = std::move(m_asks.front());
        m_asks.pop_front();
        const auto wanted = m_lookups.find(ask.key);
        if (wanted == m_lookups.end()) {
            continue;
        }
        wanted->second = Lookup::Running;
        --m_idle;
        ++m_live;
        // More asks than idle threads: the next thread starts while this one looks up.
        GrowLocked();

        lock.unlock();
        ProbeAddresses addresses = m_resolver(ask.name.c_str(), ask.port);
        lock.lock();

        const auto done = m_lookups.find(ask.key);
        const bool parked = done->second == Lookup::Parked;
        m_lookups.erase(done);
        ++m_idle;
        if (!parked) {
            --m_live;
        }
        if (m_stop || parked) {
            continue;
        }
        m_answers.push_back({static_cast<std::size_t>(ask.key & 0xFFFFFFFFu), static_cast<unsigned>(ask.key >> 32),
                             std::move(addresses)});
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wake.Get(), &one, sizeof one);
    }
}

} // namespace zandel
