#include "core/check/ProbeLookupPool.h"

#include <cstdint>

#include <unistd.h>

namespace zandel {

void ProbeLookupPool::Serve() {
    for (;;) {
        Ask ask;
        {
            std::unique_lock lock(mutex);
            asked.wait(lock, [&] { return stop || !asks.empty(); });
            if (stop) {
                return;
            }
            ask = asks.front();
            asks.pop_front();
        }
        Answer answer{ask.index, ask.serial, false, {}};
        answer.ok = ResolveProbeHost(ask.host, &answer.address);
        std::lock_guard lock(mutex);
        if (stop) {
            return;
        }
        answers.push_back(answer);
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake.Get(), &one, sizeof one);
    }
}

} // namespace zandel
