// ServeConnection's relay once an upstream is through: both ways, each side's end passed on, and the first byte
// of a plain request's answer, after which the request is never sent elsewhere. What the serve can tell of an
// upstream that spoils what it carries without seeing inside TLS is read here too.

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include <sys/socket.h>

#include "core/serve/ServeConnection.h"
#include "core/serve/SocketBytes.h"

namespace zandel {

namespace {

constexpr char kTlsHandshake = 0x16;
constexpr char kTlsAlert = 0x15;
constexpr char kTlsMajor = 0x03;
// A ChangeCipherSpec record, which a TLS 1.3 client may send before anything else of its second flight.
constexpr std::string_view kChangeCipherSpec("\x14\x03\x03\x00\x01\x01", 6);
constexpr std::size_t kAlertRecord = 7;

// The alerts a client sends when the certificate it was shown is not the one it trusts: bad, unsupported,
// revoked, expired, unknown, unknown CA.
bool IsCertificateAlert(unsigned char description) {
    constexpr std::array<unsigned char, 6> kRefusals{42, 43, 44, 45, 46, 48};
    return std::find(kRefusals.begin(), kRefusals.end(), description) != kRefusals.end();
}

// Whether the client's first record after the server's first answer is a fatal alert about the certificate (it is
// still in plain text then, TLS 1.3 included); nothing while too little has come.
std::optional<bool> CertificateRefused(std::string_view bytes) {
    if (!bytes.empty() && bytes[0] == kChangeCipherSpec[0]) {
        if (bytes.size() < kChangeCipherSpec.size()) {
            return std::nullopt;
        }
        if (bytes.substr(0, kChangeCipherSpec.size()) != kChangeCipherSpec) {
            return false;
        }
        bytes.remove_prefix(kChangeCipherSpec.size());
    }
    if (bytes.size() < kAlertRecord) {
        return bytes.empty() || bytes[0] == kTlsAlert ? std::nullopt : std::optional(false);
    }
    return bytes[0] == kTlsAlert && bytes[1] == kTlsMajor && bytes[3] == 0 && bytes[4] == 2 && bytes[5] == 2 &&
           IsCertificateAlert(static_cast<unsigned char>(bytes[6]));
}

} // namespace

void ServeConnection::RelayFromClient(Clock::time_point now) {
    if (UsePipe(m_toUpstreamPipe, m_toUpstream, m_clientBusy)) {
        SpliceFrom(m_client.Get(), m_toUpstreamPipe, m_clientEnded, now);
        return;
    }
    const std::size_t before = m_toUpstream.size();
    // A hang-up heard while the buffer is full: what is left to read waits for room.
    const std::size_t room = RoomIn(m_toUpstream);
    const long got = room == 0 ? PendingFailure(m_client.Get()) : ReadInto(m_client.Get(), m_toUpstream, room);
    if (got == kWouldBlock) {
        return;
    }
    if (got == -1) {
        if (m_answered && !m_plain) {
            Cut();
        } else {
            End();
        }
        return;
    }
    if (got == 0) {
        m_clientEnded = true;
    } else if (!m_answered) {
        // A long upload is no silent upstream: the wait for the answer begins after its last byte.
        m_deadline = now + std::chrono::seconds(m_config.timeOutSeconds);
        if (m_replayable) {
            m_replay.append(m_toUpstream, before);
        }
        if (m_replay.size() > kReplayLimit) {
            m_replayable = false;
            m_replay = std::string();
        }
    } else {
        m_deadline = now + std::chrono::seconds(m_config.idleSeconds);
        m_clientBusy = m_clientBusy || static_cast<std::size_t>(got) == room;
        if (!m_plain) {
            WatchTlsFromClient(std::string_view(m_toUpstream).substr(before), now);
        }
    }
    Flush(now);
}

void ServeConnection::RelayFromUpstream(Clock::time_point now) {
    if (UsePipe(m_toClientPipe, m_toClient, m_upstreamBusy)) {
        SpliceFrom(m_upstream.Get(), m_toClientPipe, m_upstreamEnded, now);
        return;
    }
    // A plain answer's first bytes wait in m_fromUpstream until they show what they are.
    std::string& into = m_answered ? m_toClient : m_fromUpstream;
    const std::size_t before = into.size();
    const std::size_t room = RoomIn(into);
    const long got = room == 0 ? PendingFailure(m_upstream.Get()) : ReadInto(m_upstream.Get(), into, room);
    if (got == kWouldBlock) {
        return;
    }
    if (got == -1 && m_answered && !m_plain) {
        Cut();
        return;
    }
    if (got <= 0) {
        if (!m_answered) {
            Fail(Blame::Proxy, now); // closed or reset before a byte of the answer: nothing is lost yet
            return;
        }
        m_upstreamEnded = true;
    } else if (!m_answered) {
        if (!TakeAnswerStart(now)) {
            return;
        }
    } else if (!m_plain && !WatchTlsFromUpstream(std::string_view(m_toClient).substr(before), now)) {
        return;
    }
    m_upstreamBusy = m_upstreamBusy || static_cast<std::size_t>(got) == room;
    m_deadline = now + std::chrono::seconds(m_config.idleSeconds);
    Flush(now);
}

// A tunnel's direction goes through a pipe once it is busy, its bytes need no more looking at, and what was copied
// before has gone, so that nothing overtakes it.
bool ServeConnection::UsePipe(SplicePipe& pipe, const std::string& buffer, bool busy) {
    if (pipe.IsOpen()) {
        return true;
    }
    return busy && buffer.empty() && !m_plain && m_tls == TlsWatch::Done && m_state == State::Relay && pipe.Open();
}

void ServeConnection::SpliceFrom(int from, SplicePipe& pipe, bool& ended, Clock::time_point now) {
    // A hang-up heard while the pipe is full: what is left to read waits for room.
    const long got = pipe.TakesMore() ? pipe.Fill(from) : PendingFailure(from);
    if (got == -1) {
        Cut();
        return;
    }
    if (got == 0) {
        ended = true;
    } else if (got > 0) {
        m_deadline = now + std::chrono::seconds(m_config.idleSeconds);
    }
    Flush(now);
}

// A plain answer begins with "HTTP/": anything else is an upstream that garbles what it carries, and the request
// may still go elsewhere, since the client has heard nothing. False when the connection moved on or ended.
bool ServeConnection::TakeAnswerStart(Clock::time_point now) {
    constexpr std::string_view kStart = "HTTP/";
    const std::size_t seen = std::min(m_fromUpstream.size(), kStart.size());
    if (std::string_view(m_fromUpstream).substr(0, seen) != kStart.substr(0, seen)) {
        Fail(Blame::Proxy, now);
        return false;
    }
    if (seen == kStart.size()) {
        m_answered = true;
        m_replay.clear();
        m_pool.Succeeded(*m_chosen, m_ask, now);
        Record(kServedCarried);
        m_recorded = true;
        m_toClient += std::exchange(m_fromUpstream, {});
    }
    return true;
}

// The client's bytes in a tunnel: whether it began TLS, and its first record after the upstream's first answer.
void ServeConnection::WatchTlsFromClient(std::string_view sent, Clock::time_point now) {
    if (sent.empty() || m_tls == TlsWatch::Done) {
        return;
    }
    if (!m_clientSpoke) {
        m_clientSpoke = true;
        if (m_tls == TlsWatch::Off && sent[0] == kTlsHandshake) {
            m_tls = TlsWatch::Hello;
        } else {
            m_tls = TlsWatch::Done;
            Proven(now);
        }
        return;
    }
    if (m_tls != TlsWatch::Answered) {
        return;
    }
    m_clientRecord.append(sent.substr(0, kChangeCipherSpec.size() + kAlertRecord - m_clientRecord.size()));
    const std::optional<bool> refused = CertificateRefused(m_clientRecord);
    if (!refused) {
        return;
    }
    m_tls = TlsWatch::Done;
    if (!*refused) {
        Proven(now);
        return;
    }
    // The upstream showed another certificate than the site's, or the site's own is bad: either way no tunnel to
    // that site goes through it for a while, and other sites, and plain requests, still do.
    ++m_counters.failures;
    m_pool.Failed(*m_chosen, m_dialog.Target().host, Blame::Certificate, now);
    Record(kServedTarget);
    m_recorded = true;
}

// A tunnel is through for the pool only once its bytes showed nothing amiss: told at the grant, a connection to an
// upstream that spoils it would clear the mark another connection had just set, and make the upstream sticky.
void ServeConnection::Proven(Clock::time_point now) {
    if (!m_proven) {
        m_proven = true;
        m_pool.Succeeded(*m_chosen, m_ask, now);
    }
}

// The upstream's first bytes in a tunnel the client began with a TLS hello: a TLS record of version 3, or the
// upstream garbles what it carries. False when the connection ended for it.
bool ServeConnection::WatchTlsFromUpstream(std::string_view got, Clock::time_point now) {
    if (got.empty() || m_tls == TlsWatch::Done || m_tls == TlsWatch::Answered) {
        return true;
    }
    if (m_tls == TlsWatch::Off) {
        m_tls = TlsWatch::Done; // the upstream spoke first: no TLS client's tunnel
        Proven(now);
        return true;
    }
    if ((got[0] != kTlsHandshake && got[0] != kTlsAlert) || (got.size() > 1 && got[1] != kTlsMajor)) {
        Spoilt(Blame::Proxy, kServedFailed, now);
        return false;
    }
    m_tls = TlsWatch::Answered;
    return true;
}

// The client has been told the tunnel is open, so nothing is tried again: the upstream is only marked and the
// client's connection closed rather than handed what the upstream made of it.
void ServeConnection::Spoilt(Blame blame, const char* result, Clock::time_point now) {
    ++m_counters.failures;
    m_pool.Failed(*m_chosen, m_dialog.Target().host, blame, now);
    Record(result);
    m_recorded = true;
    End();
}

// Both ways, what each socket takes now; false when the connection ended (or moved on to another upstream).
bool ServeConnection::Flush(Clock::time_point now) {
    if (m_client.IsOpen() && !(WriteFrom(m_client.Get(), m_toClient) && m_toClientPipe.Drain(m_client.Get()))) {
        End();
        return false;
    }
    if (m_state == State::Closing && m_toClient.empty()) {
        ::shutdown(m_client.Get(), SHUT_WR); // then wait for the client to close, so that it reads the answer whole
    }
    if (m_state == State::Relay && m_upstreamEnded && m_toClient.empty() && m_toClientPipe.Held() == 0) {
        End();
        return false;
    }
    const bool upstreamTalks = m_state == State::Handshake || m_state == State::Relay;
    if (upstreamTalks && m_upstream.IsOpen() &&
        !(WriteFrom(m_upstream.Get(), m_toUpstream) && m_toUpstreamPipe.Drain(m_upstream.Get()))) {
        if (MayTryAgain() || !m_answered) {
            Fail(Blame::Proxy, now);
        } else {
            End();
        }
        return false;
    }
    if (m_state == State::Relay && m_clientEnded && m_toUpstream.empty() && m_toUpstreamPipe.Held() == 0 &&
        !m_upstreamShut) {
        ::shutdown(m_upstream.Get(), SHUT_WR);
        m_upstreamShut = true;
    }
    return true;
}

void ServeConnection::End() {
    // A tunnel is written once it ends, so that what its bytes showed of the upstream is in it.
    if (!m_recorded && m_answered && m_state == State::Relay) {
        Record(kServedCarried);
    }
    m_recorded = true;
    m_state = State::Ended;
    m_upstream.Reset();
    m_client.Reset();
}

// A tunnel whose one side was reset: the other is reset too rather than shown a clean end, since what it was sent
// is cut short.
void ServeConnection::Cut() {
    const linger reset{1, 0};
    for (const UniqueFd* socket : {&m_client, &m_upstream}) {
        if (socket->IsOpen()) {
            ::setsockopt(socket->Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
    }
    End();
}

} // namespace zandel
