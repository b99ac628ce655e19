#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

#include <netinet/in.h>

#include "core/check/ProbeExchange.h"
#include "core/util/UniqueFd.h"

namespace zandel {

// The parallel probe's name lookups. Lookup threads outlive the probe when the resolver keeps one blocked:
// they hold this, not the probe.
struct ProbeLookupPool {
    struct Ask {
        std::size_t index;
        unsigned serial;
        ProbeHostName host;
    };
    struct Answer {
        std::size_t index;
        unsigned serial;
        bool ok;
        in_addr address;
    };

    std::mutex mutex;
    std::condition_variable asked;
    std::deque<Ask> asks;
    std::vector<Answer> answers;
    bool stop = false;
    UniqueFd wake; // a duplicate of the probe's wake-up descriptor, so that the pool may outlive the probe

    // A lookup thread's body: answers asks until the pool stops.
    void Serve();
};

} // namespace zandel
