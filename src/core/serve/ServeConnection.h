#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/history/HistoryStore.h"
#include "core/serve/ClientDialog.h"
#include "core/serve/ServePool.h"
#include "core/serve/SplicePipe.h"
#include "core/serve/UpstreamDialog.h"
#include "core/util/UniqueFd.h"

namespace zandel {

// How a client's connection ended, for a window that lists the last ones.
enum class ServeOutcome : unsigned char {
    Through, // an upstream carried it
    Refused, // told no before any upstream was tried (its request, its login, the ports, an empty pool)
    Failed,  // every upstream tried failed it
    Dropped, // the client went, or was cut off, before it had an answer
};

struct ServeConnectionRecord {
    std::chrono::system_clock::time_point ended;
    std::string client;
    std::string target;   // host:port as the client asked; empty when it never said
    std::string upstream; // the last upstream tried, without its password
    int tries = 0;
    ServeOutcome outcome = ServeOutcome::Dropped;
};

// What the serve has done so far, read by the status line from another thread.
struct ServeCounters {
    std::atomic<int> open{0};
    std::atomic<long long> accepted{0};
    std::atomic<long long> failures{0}; // upstreams that failed a connection, each time
    // Hears each connection as it ends, on the loop's thread; set before the loop starts.
    std::function<void(const ServeConnectionRecord&)> ended;
};

// Takes each upstream a connection tried, as the history keeps it; called on the serve's loop.
using ServedSink = std::function<void(ServedRecord)>;

// One client's connection, from its greeting to its end: the target it asks for, the upstreams tried in turn
// while none has answered the client yet, then the relay both ways. Knows its two sockets and what it waits for
// on each; the loop around it (ProxyServer) watches them and calls it back. Never blocks.
class ServeConnection final {
public:
    using Clock = std::chrono::steady_clock;

    // `busy`: the serve has its most clients already; this one is heard only to be told so in its own protocol.
    // `served`, where not null nor empty, is told of each upstream tried; a busy tunnel's pipes come out of `pipes`,
    // and without it the tunnel copies.
    ServeConnection(UniqueFd client, std::string clientAddress, const ServeConfig& config, ServePool& pool,
                    ServeCounters& counters, bool busy, Clock::time_point now, const ServedSink* served = nullptr,
                    PipeBudget* pipes = nullptr);
    ~ServeConnection();
    ServeConnection(const ServeConnection&) = delete;
    ServeConnection& operator=(const ServeConnection&) = delete;

    void OnClient(std::uint32_t events, Clock::time_point now);
    void OnUpstream(std::uint32_t events, Clock::time_point now);
    // Its deadline has come: a greeting too slow, an upstream too slow, a relay idle.
    void OnTime(Clock::time_point now);

    bool Ended() const { return m_state == State::Ended; }
    int ClientFd() const { return m_client.Get(); }
    int UpstreamFd() const { return m_upstream.Get(); }
    // Counts the upstream sockets made: a new one may reuse the number of one closed.
    unsigned UpstreamSerial() const { return m_upstreamSerial; }
    // EPOLLIN / EPOLLOUT as each socket is wanted now; 0 for none.
    std::uint32_t ClientWants() const;
    std::uint32_t UpstreamWants() const;
    Clock::time_point Deadline() const { return m_deadline; }

private:
    enum class State { Greeting, Connecting, Handshake, Relay, Closing, Ended };

    void ReadGreeting(Clock::time_point now);
    void Aim(Clock::time_point now);
    void TryNext(Clock::time_point now);
    void Dial(Clock::time_point now);
    void Connected(Clock::time_point now);
    void ReadHandshake(Clock::time_point now);
    void Through(const std::string& toUpstream, Clock::time_point now);
    void Fail(Blame blame, Clock::time_point now);
    bool MayTryAgain() const;
    void Refuse(Refusal refusal, Clock::time_point now);
    void Refuse(const std::string& bytes, Clock::time_point now);
    void RelayFromClient(Clock::time_point now);
    void RelayFromUpstream(Clock::time_point now);
    bool UsePipe(SplicePipe& pipe, const std::string& buffer, bool busy);
    void SpliceFrom(int from, SplicePipe& pipe, bool& ended, Clock::time_point now);
    bool Flush(Clock::time_point now);
    void End();
    void Cut();
    Clock::duration UpstreamWait() const;
    bool TakeAnswerStart(Clock::time_point now);
    void WatchTlsFromClient(std::string_view sent, Clock::time_point now);
    bool WatchTlsFromUpstream(std::string_view got, Clock::time_point now);
    void Spoilt(Blame blame, const char* result, Clock::time_point now);
    void Proven(Clock::time_point now);
    void Record(const char* result);

    // What the tunnel's bytes have shown of TLS: a client hello sent, then the upstream's first answer, then the
    // client's next record, where it may refuse the certificate it was shown.
    enum class TlsWatch : unsigned char { Off, Hello, Answered, Done };
    ServeConnectionRecord ConnectionRecord() const;

    // The most of a plain request's body kept to send again to another upstream; past it the request is not retried.
    static constexpr std::size_t kReplayLimit = std::size_t{64} * 1024;

    UniqueFd m_client;
    UniqueFd m_upstream;
    const ServeConfig& m_config;
    ServePool& m_pool;
    ServeCounters& m_counters;
    bool m_busy;
    State m_state = State::Greeting;
    Clock::time_point m_deadline;

    ClientDialog m_dialog;
    PoolAsk m_ask;
    bool m_plain = false;
    bool m_idempotent = false;
    UpstreamRef m_chosen;
    std::size_t m_addressIndex = 0;
    unsigned m_upstreamSerial = 0;
    std::optional<UpstreamDialog> m_upstreamDialog;

    std::string m_fromClient; // the greeting's bytes, then what the client sent before the relay began
    std::string m_fromUpstream;
    std::string m_toClient;
    std::string m_toUpstream;
    // A plain request's body as sent so far, to send again to the next upstream; dropped once the answer begins.
    std::string m_replay;
    bool m_replayable = true;
    bool m_requestSent = false; // a plain request has gone to an upstream
    bool m_answered = false;    // the client has had the grant, or the first byte of its answer
    bool m_clientEnded = false;
    bool m_upstreamEnded = false;
    bool m_upstreamShut = false;
    // A tunnel's direction is busy once a read found more than it could take; from then on it goes through a pipe.
    bool m_clientBusy = false;
    bool m_upstreamBusy = false;
    SplicePipe m_toClientPipe;
    SplicePipe m_toUpstreamPipe;

    const ServedSink* m_served;
    bool m_recorded = false; // the upstream that carried it is written
    bool m_proven = false;   // a tunnel's bytes showed nothing amiss: the pool is told it went through
    TlsWatch m_tls = TlsWatch::Off;
    bool m_clientSpoke = false;
    std::string m_clientRecord; // the start of the client's record after the upstream's first answer
    bool m_refused = false;     // the client was told no
    std::string m_lastShown;    // the last upstream tried, kept when the next choice finds none
};

} // namespace zandel
