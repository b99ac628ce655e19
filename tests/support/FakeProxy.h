#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/FakeScript.h"
#include "support/Loopback.h"
#include "support/LoopbackServer.h"
#include "core/util/UniqueFd.h"

namespace zandel::test {

// A proxy on 127.0.0.1 (or ::1) that plays its script on every connection it accepts, each on a thread of its own.
// Keeps what every finished connection received, byte for byte. Stops when it goes.
class FakeProxy final {
public:
    // Port 0 takes a free port. Throws std::system_error when the port cannot be had.
    explicit FakeProxy(FakeScript script, std::uint16_t port = 0, LoopbackFamily family = LoopbackFamily::Ipv4);
    ~FakeProxy();
    FakeProxy(const FakeProxy&) = delete;
    FakeProxy& operator=(const FakeProxy&) = delete;

    std::uint16_t Port() const { return m_port; }
    std::string PortText() const { return std::to_string(m_port); }
    // "127.0.0.1:port", or "[::1]:port"
    std::string Address() const;

    // Lets one waiting WaitGate step (now or later) go on.
    void OpenGate();

    // Bounded waits; false when the count was not reached in time.
    bool WaitForFinished(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Counts Close steps whose answer and close the client's system has taken.
    bool WaitForDelivered(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10));

    // What each finished connection received, in the order they finished.
    std::vector<std::string> Received() const;

private:
    void Serve(ServerConnection& connection);
    bool WaitGate();
    bool Forward(ServerConnection& connection, const std::string& addedHeaders);

    FakeScript m_script;
    std::uint16_t m_port = 0;
    LoopbackFamily m_family;
    UniqueFd m_refusing;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_gatePermits = 0;
    std::size_t m_delivered = 0;
    bool m_stopping = false;
    std::vector<std::string> m_received;

    // Last, so that it stops (and joins its threads) before anything above goes.
    std::unique_ptr<LoopbackServer> m_server;
};

} // namespace zandel::test
