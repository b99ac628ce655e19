#pragma once

#include <cstdint>
#include <string>
#include <thread>

#include "core/util/UniqueFd.h"

namespace zandel::test {

// The cheapest proxy that answers: one thread on 127.0.0.1 that takes each connection in turn, reads the
// request head, sends a fixed "200 OK" page and closes. For benchmarks, where the fake proxy's own cost
// must stay out of the figures. `backlog` connections may wait for their turn; more are dropped and tried again by
// the client a second later.
class QuickProxy final {
public:
    explicit QuickProxy(int backlog = 128);
    ~QuickProxy();
    QuickProxy(const QuickProxy&) = delete;
    QuickProxy& operator=(const QuickProxy&) = delete;

    std::uint16_t Port() const { return m_port; }
    std::string Address() const;

private:
    void Serve();

    UniqueFd m_listen;
    UniqueFd m_stop;
    std::uint16_t m_port = 0;
    std::thread m_thread;
};

} // namespace zandel::test
