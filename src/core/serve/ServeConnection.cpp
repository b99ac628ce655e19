#include "core/serve/ServeConnection.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <utility>

#include <sys/epoll.h>
#include <sys/socket.h>

#include "core/history/HistoryColumns.h"
#include "core/serve/SocketBytes.h"

namespace zandel {

namespace {

// How long a refused client is given to read its answer.
constexpr auto kCloseGrace = std::chrono::seconds(5);
// However fast a proxy answered its check, a connection through a loaded machine takes longer than that.
constexpr auto kLeastUpstreamWait = std::chrono::seconds(1);

constexpr std::uint32_t kIn = EPOLLIN;
constexpr std::uint32_t kOut = EPOLLOUT;
constexpr std::uint32_t kReadable = EPOLLIN | EPOLLHUP | EPOLLERR;

bool IsIdempotent(const std::string& method) {
    return method == "GET" || method == "HEAD" || method == "OPTIONS";
}

} // namespace

ServeConnection::ServeConnection(UniqueFd client, std::string clientAddress, const ServeConfig& config, ServePool& pool,
                                 ServeCounters& counters, bool busy, Clock::time_point now, const ServedSink* served,
                                 PipeBudget* pipes)
    : m_client(std::move(client)), m_config(config), m_pool(pool), m_counters(counters), m_busy(busy),
      m_deadline(now + std::chrono::seconds(config.greetingSeconds)),
      m_dialog(config), m_ask{m_dialog.Target(), false, std::move(clientAddress), {}}, m_toClientPipe(pipes),
      m_toUpstreamPipe(pipes), m_served(served) {
    ++m_counters.open;
}

ServeConnection::~ServeConnection() {
    --m_counters.open;
    if (m_counters.ended) {
        m_counters.ended(ConnectionRecord());
    }
}

ServeConnectionRecord ServeConnection::ConnectionRecord() const {
    ServeConnectionRecord record;
    record.ended = std::chrono::system_clock::now();
    record.client = m_ask.client;
    if (const ClientTarget& target = m_dialog.Target(); target.port != 0) {
        record.target = (target.host.find(':') != std::string::npos ? "[" + target.host + "]" : target.host) + ":" +
                        std::to_string(target.port);
    }
    record.upstream = m_lastShown;
    record.tries = static_cast<int>(m_ask.tried.size());
    if (m_answered) {
        record.outcome = ServeOutcome::Through;
    } else if (m_refused) {
        record.outcome = m_ask.tried.empty() ? ServeOutcome::Refused : ServeOutcome::Failed;
    }
    return record;
}

std::uint32_t ServeConnection::ClientWants() const {
    const std::uint32_t out = m_toClient.empty() ? 0 : kOut;
    switch (m_state) {
    case State::Greeting:
    case State::Closing:
        return kIn | out;
    case State::Connecting:
    case State::Handshake:
        return (RoomIn(m_fromClient) > 0 ? kIn : 0) | out;
    case State::Relay: {
        const bool room = m_toUpstreamPipe.IsOpen() ? m_toUpstreamPipe.TakesMore() : RoomIn(m_toUpstream) > 0;
        return (!m_clientEnded && room ? kIn : 0) | out | (m_toClientPipe.Held() > 0 ? kOut : 0);
    }
    default:
        return 0;
    }
}

std::uint32_t ServeConnection::UpstreamWants() const {
    const std::uint32_t out = m_toUpstream.empty() ? 0 : kOut;
    switch (m_state) {
    case State::Connecting:
        return kOut;
    case State::Handshake:
        return kIn | out;
    case State::Relay: {
        const bool room = m_toClientPipe.IsOpen() ? m_toClientPipe.TakesMore() : RoomIn(m_toClient) > 0;
        return (!m_upstreamEnded && room ? kIn : 0) | out | (m_toUpstreamPipe.Held() > 0 ? kOut : 0);
    }
    default:
        return 0;
    }
}

ServeConnection::Clock::duration ServeConnection::UpstreamWait() const {
    const auto measured = std::chrono::milliseconds(3LL * m_chosen->responseMs);
    const auto bound = std::chrono::seconds(m_config.timeOutSeconds);
    return std::clamp<Clock::duration>(measured, kLeastUpstreamWait,
                                       std::max<Clock::duration>(bound, kLeastUpstreamWait));
}

void ServeConnection::OnClient(std::uint32_t events, Clock::time_point now) {
    if ((events & kOut) != 0 && !Flush(now)) {
        return;
    }
    if ((events & kReadable) == 0) {
        return;
    }
    switch (m_state) {
    case State::Greeting:
        ReadGreeting(now);
        break;
    case State::Connecting:
    case State::Handshake:
        // Kept for the upstream; a client gone before it is through ends the connection.
        if (const long got = ReadInto(m_client.Get(), m_fromClient, RoomIn(m_fromClient)); got == 0 || got == -1) {
            End();
        }
        break;
    case State::Relay:
        RelayFromClient(now);
        break;
    case State::Closing: {
        std::string discarded;
        if (const long got = ReadInto(m_client.Get(), discarded, kReadChunk); got == 0 || got == -1) {
            End();
        }
        break;
    }
    default:
        break;
    }
}

void ServeConnection::OnUpstream(std::uint32_t events, Clock::time_point now) {
    if (m_state == State::Connecting) {
        Connected(now);
        return;
    }
    if ((events & kOut) != 0 && !Flush(now)) {
        return;
    }
    if ((events & kReadable) == 0) {
        return;
    }
    if (m_state == State::Handshake) {
        ReadHandshake(now);
    } else if (m_state == State::Relay) {
        RelayFromUpstream(now);
    }
}

void ServeConnection::OnTime(Clock::time_point now) {
    switch (m_state) {
    case State::Connecting:
    case State::Handshake:
        Fail(Blame::Proxy, now);
        break;
    case State::Relay:
        // A plain request that has had no answer in the run's time-out is tried elsewhere, where it may be.
        if (!m_answered) {
            Fail(Blame::Target, now);
        } else {
            End();
        }
        break;
    default:
        End(); // a greeting that never ends (a slowloris), or a refused client that never reads its answer
    }
}

void ServeConnection::ReadGreeting(Clock::time_point now) {
    const long got = ReadInto(m_client.Get(), m_fromClient, kReadChunk);
    if (got == 0 || got == -1) {
        End();
        return;
    }
    while (true) {
        ClientDialog::Step step = m_dialog.Feed(m_fromClient);
        switch (step.kind) {
        case ClientDialog::Step::Kind::More:
            return;
        case ClientDialog::Step::Kind::Reply:
            m_toClient += step.bytes;
            if (!Flush(now)) {
                return;
            }
            break;
        case ClientDialog::Step::Kind::Refuse:
            Refuse(step.bytes, now);
            return;
        case ClientDialog::Step::Kind::Target:
            Aim(now);
            return;
        }
    }
}

void ServeConnection::Aim(Clock::time_point now) {
    if (m_busy) {
        Refuse(Refusal::Unavailable, now);
        return;
    }
    m_plain = m_dialog.Protocol() == ClientProtocol::Http;
    m_ask.tunnel = !m_plain;
    m_idempotent = m_plain && IsIdempotent(m_dialog.Target().method);
    TryNext(now);
}

void ServeConnection::TryNext(Clock::time_point now) {
    if (m_ask.tried.size() >= static_cast<std::size_t>(m_config.tries)) {
        Refuse(Refusal::UpstreamFailed, now);
        return;
    }
    m_chosen = m_pool.Choose(m_ask, now);
    if (!m_chosen) {
        Refuse(m_ask.tried.empty() ? Refusal::Unavailable : Refusal::UpstreamFailed, now);
        return;
    }
    m_ask.tried.push_back(m_chosen->key);
    m_lastShown = m_chosen->shown;
    m_addressIndex = 0;
    Dial(now);
}

void ServeConnection::Dial(Clock::time_point now) {
    for (; m_addressIndex < m_chosen->addresses.size(); ++m_addressIndex) {
        UniqueFd socket = OpenProbeConnection(m_chosen->addresses[m_addressIndex]);
        if (socket.IsOpen()) {
            m_upstream = std::move(socket);
            ++m_upstreamSerial;
            m_state = State::Connecting;
            m_deadline = now + UpstreamWait();
            return;
        }
    }
    Fail(Blame::Proxy, now);
}

void ServeConnection::Connected(Clock::time_point now) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_upstream.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        m_upstream.Reset();
        ++m_addressIndex;
        Dial(now);
        return;
    }
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    if (::getpeername(m_upstream.Get(), reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) {
        return; // not through yet: an event meant for a socket closed before under the same number
    }
    m_upstreamDialog.emplace(m_chosen->kind, m_chosen->login, m_dialog.Target(), m_plain);
    m_toUpstream = m_upstreamDialog->Opening();
    if (m_upstreamDialog->ThroughAtOnce()) {
        Through({}, now);
        return;
    }
    m_state = State::Handshake;
    Flush(now);
}

void ServeConnection::ReadHandshake(Clock::time_point now) {
    const long got = ReadInto(m_upstream.Get(), m_fromUpstream, kReadChunk);
    if (got == 0 || got == -1) {
        Fail(Blame::Proxy, now);
        return;
    }
    while (true) {
        UpstreamDialog::Step step = m_upstreamDialog->Feed(m_fromUpstream);
        switch (step.kind) {
        case UpstreamDialog::Step::Kind::More:
            return;
        case UpstreamDialog::Step::Kind::Send:
            m_toUpstream += step.bytes;
            if (!Flush(now)) {
                return;
            }
            break;
        case UpstreamDialog::Step::Kind::Through:
            Through(step.bytes, now);
            return;
        case UpstreamDialog::Step::Kind::Failed:
            Fail(step.blame, now);
            return;
        }
    }
}

void ServeConnection::Through(const std::string& toUpstream, Clock::time_point now) {
    m_state = State::Relay;
    m_toUpstream += toUpstream;
    if (m_plain) {
        m_requestSent = true;
        m_replay += m_fromClient;
        m_replayable = m_replayable && m_replay.size() <= kReplayLimit;
        m_toUpstream += m_replay;
    } else {
        m_toUpstream += m_fromClient;
        m_toClient += GrantBytes(m_dialog.Protocol());
        m_answered = true;
        WatchTlsFromClient(m_fromClient, now);
    }
    m_fromClient.clear();
    m_deadline =
        now + (m_answered ? std::chrono::seconds(m_config.idleSeconds) : std::chrono::seconds(m_config.timeOutSeconds));
    // Bytes that came with the handshake's last answer are the target's own: a plain answer's start is looked at
    // first, a tunnel's as the relay's own.
    if (m_plain) {
        if (!TakeAnswerStart(now)) {
            return;
        }
    } else {
        if (!WatchTlsFromUpstream(m_fromUpstream, now)) {
            return;
        }
        m_toClient += std::exchange(m_fromUpstream, {});
    }
    Flush(now);
}

bool ServeConnection::MayTryAgain() const {
    if (m_answered) {
        return false;
    }
    // A request that never left may go anywhere; one that did, only when asking twice does no harm.
    return !m_plain || (m_replayable && (!m_requestSent || m_idempotent));
}

void ServeConnection::Fail(Blame blame, Clock::time_point now) {
    ++m_counters.failures;
    Record(blame == Blame::Proxy ? kServedFailed : kServedTarget);
    m_pool.Failed(*m_chosen, m_dialog.Target().host, blame, now);
    m_upstream.Reset();
    m_upstreamDialog.reset();
    m_fromUpstream.clear();
    m_toUpstream.clear();
    m_upstreamEnded = false;
    m_upstreamShut = false;
    if (MayTryAgain()) {
        TryNext(now);
    } else if (!m_answered) {
        Refuse(Refusal::UpstreamFailed, now);
    } else {
        End();
    }
}

void ServeConnection::Refuse(Refusal refusal, Clock::time_point now) {
    Refuse(RefusalBytes(m_dialog.Protocol(), refusal), now);
}

void ServeConnection::Refuse(const std::string& bytes, Clock::time_point now) {
    m_refused = true;
    m_upstream.Reset();
    m_toClient += bytes;
    m_state = State::Closing;
    m_deadline = now + kCloseGrace;
    Flush(now);
}

void ServeConnection::Record(const char* result) {
    if (m_served == nullptr || !*m_served || !m_chosen) {
        return;
    }
    (*m_served)({HistoryAddressOf(m_chosen->key), ProxySchemeName(m_chosen->kind), m_dialog.Target().host,
                 static_cast<int>(m_ask.tried.size()), result, IsoUtc(std::time(nullptr))});
}

} // namespace zandel
