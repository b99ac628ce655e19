#pragma once

// serve_bench's peers on loopback, each connection on a thread of its own: the origin (plain HTTP, TLS with a
// certificate of the bench's own CA, and a large download), and upstream proxies that behave well or in one of the
// ways a public proxy goes bad. Names are never looked up: every name is the origin, 127.0.0.1.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/util/UniqueFd.h"

namespace zandel::bench {

using BenchClock = std::chrono::steady_clock;

inline constexpr const char* kOriginName = "origin.test";
inline constexpr const char* kOriginPage = "the origin's own page";

// Threads that end on their own once their peer closes; waited for when it goes.
class ConnectionThreads final {
public:
    ~ConnectionThreads();
    template <typename Work> void Start(Work work) {
        ++m_live;
        std::thread([this, work = std::move(work)]() mutable {
            work();
            --m_live;
        }).detach();
    }

private:
    std::atomic<int> m_live{0};
};

// One listening socket and the thread that accepts on it, handing each connection to `serve`.
class Listener final {
public:
    explicit Listener(std::function<void(UniqueFd)> serve);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    std::uint16_t Port() const { return m_port; }

private:
    std::uint16_t m_port = 0;
    UniqueFd m_socket;
    std::function<void(UniqueFd)> m_serve;
    std::thread m_thread;
};

class Origin final {
public:
    // `identityPem`: the TLS port's certificate and key.
    explicit Origin(std::string identityPem);
    ~Origin();
    std::uint16_t HttpPort() const;
    std::uint16_t TlsPort() const;
    std::uint16_t BigPort() const; // a request head, then `bigBytes` zero bytes and the close
    void SetBigBytes(long long bytes) { m_bigBytes = bytes; }
    // The rate the big port sends at, as over a link of that speed (0: as fast as loopback goes).
    void SetBigPace(std::uint64_t bytesPerSecond) { m_bigPace = bytesPerSecond; }

private:
    struct Ports;
    std::string m_identity;
    std::atomic<long long> m_bigBytes{0};
    std::atomic<std::uint64_t> m_bigPace{0};
    ConnectionThreads m_threads;
    std::unique_ptr<Ports> m_ports;
};

enum class Behaviour : unsigned char { Healthy, BlackHole, Resetter, Slow, Tampering, Intercepting };
const char* BehaviourName(Behaviour behaviour);

// An HTTP proxy (CONNECT and absolute form) in front of the origin, behaving as it is told.
class BenchUpstream final {
public:
    // `interceptPem`: the certificate an intercepting upstream presents in place of the origin's.
    BenchUpstream(Behaviour behaviour, const std::string& interceptPem);
    ~BenchUpstream();
    std::uint16_t Port() const;
    Behaviour Kind() const { return m_behaviour; }
    int Accepted() const { return m_accepted; }
    // Connections accepted after the end of the first one it spoilt; of an intercepting upstream, tunnels only,
    // since it passes plain requests on as they are.
    int AcceptedAfterFirstSpoilt() const;

private:
    void Serve(UniqueFd client, BenchClock::time_point accepted);
    void Spoilt();

    Behaviour m_behaviour;
    const std::string& m_interceptPem;
    std::atomic<int> m_accepted{0};
    mutable std::mutex m_mutex;
    std::vector<std::pair<BenchClock::time_point, bool>> m_accepts; // when, and whether a tunnel
    BenchClock::time_point m_firstSpoilt = BenchClock::time_point::max();
    ConnectionThreads m_threads;
    std::unique_ptr<Listener> m_listener;
};

// The least any relay in the path costs: each connection passed to `port` as it is, each direction moved by a
// thread of its own with splice(2) through a pipe, blocking, with nothing looked at. A download through it against one
// straight through the upstream tells what the extra hop alone takes on this machine.
class BareHop final {
public:
    explicit BareHop(std::uint16_t port);
    ~BareHop();
    std::uint16_t Port() const;

private:
    std::uint16_t m_to;
    ConnectionThreads m_threads;
    std::unique_ptr<Listener> m_listener;
};

// Accepts and answers every CONNECT with 200, then holds the connection without a byte: the upstream of the idle
// tunnels. One epoll loop, for thousands at once.
class IdleHolder final {
public:
    IdleHolder();
    ~IdleHolder();
    std::uint16_t Port() const { return m_port; }

private:
    void Run();
    std::uint16_t m_port = 0;
    UniqueFd m_listen;
    UniqueFd m_epoll;
    UniqueFd m_wake;
    std::thread m_thread;
};

// Blocking helpers for clients and peers.
bool SendAll(int fd, std::string_view bytes);
// Reads until a blank line ends the head; `rest` what came after it. False on close, failure or the deadline.
bool ReadHead(int fd, std::string& head, std::string& rest, BenchClock::time_point deadline);
// Both ways until both ends have closed (or either fails).
void Relay(int a, int b, std::string toB = {});
// A TLS server's side of a handshake on `fd` with the identity's certificate; with `answer`, one request is read and
// answered. False when the handshake fails.
bool ServeTls(int fd, const std::string& identityPem, const std::string& answer);

} // namespace zandel::bench
