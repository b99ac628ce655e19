#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "support/Loopback.h"
#include "support/ServerConnection.h"
#include "core/util/UniqueFd.h"

namespace zandel::test {

// A TCP server on 127.0.0.1 (or ::1) that hands every accepted connection to the handler on a thread of its own.
// Stops (and joins every thread) when it goes; a handler's waits end when it stops.
class LoopbackServer final {
public:
    using Handler = std::function<void(ServerConnection&)>;

    // Port 0 takes a free port. Throws std::system_error when the port cannot be had.
    explicit LoopbackServer(Handler handler, std::uint16_t port = 0, LoopbackFamily family = LoopbackFamily::Ipv4);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t Port() const { return m_port; }
    // Idempotent; the destructor calls it.
    void Stop();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void AcceptLoop();
    void Spawn(int fd, std::string peer);
    void ReapFinished();

    Handler m_handler;
    UniqueFd m_listen;
    UniqueFd m_stop;
    std::uint16_t m_port = 0;
    std::mutex m_mutex;
    std::list<Worker> m_workers;
    std::thread m_acceptThread;
    bool m_stopped = false;
};

} // namespace zandel::test
