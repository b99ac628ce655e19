// ServeConnection's relay once an upstream is through: both ways, each side's end passed on, and the first byte
// of a plain request's answer, after which the request is never sent elsewhere.

#include <sys/socket.h>

#include "core/serve/ServeConnection.h"
#include "core/serve/SocketBytes.h"

namespace zandel {

void ServeConnection::RelayFromClient(Clock::time_point now) {
    const std::size_t before = m_toUpstream.size();
    const long got = ReadInto(m_client.Get(), m_toUpstream, RoomIn(m_toUpstream));
    if (got == kWouldBlock) {
        return;
    }
    if (got == -1) {
        End();
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
    }
    Flush(now);
}

void ServeConnection::RelayFromUpstream(Clock::time_point now) {
    const long got = ReadInto(m_upstream.Get(), m_toClient, RoomIn(m_toClient));
    if (got == kWouldBlock) {
        return;
    }
    if (got <= 0) {
        if (!m_answered) {
            Fail(Blame::Proxy, now); // closed or reset before a byte of the answer: nothing is lost yet
            return;
        }
        m_upstreamEnded = true;
    } else if (!m_answered) {
        m_answered = true;
        m_replay.clear();
        m_pool.Succeeded(*m_chosen, m_ask, now);
    }
    m_deadline = now + std::chrono::seconds(m_config.idleSeconds);
    Flush(now);
}

// Both ways, what each socket takes now; false when the connection ended (or moved on to another upstream).
bool ServeConnection::Flush(Clock::time_point now) {
    if (m_client.IsOpen() && !WriteFrom(m_client.Get(), m_toClient)) {
        End();
        return false;
    }
    if (m_state == State::Closing && m_toClient.empty()) {
        ::shutdown(m_client.Get(), SHUT_WR); // then wait for the client to close, so that it reads the answer whole
    }
    if (m_state == State::Relay && m_upstreamEnded && m_toClient.empty()) {
        End();
        return false;
    }
    const bool upstreamTalks = m_state == State::Handshake || m_state == State::Relay;
    if (upstreamTalks && m_upstream.IsOpen() && !WriteFrom(m_upstream.Get(), m_toUpstream)) {
        if (MayTryAgain() || !m_answered) {
            Fail(Blame::Proxy, now);
        } else {
            End();
        }
        return false;
    }
    if (m_state == State::Relay && m_clientEnded && m_toUpstream.empty() && !m_upstreamShut) {
        ::shutdown(m_upstream.Get(), SHUT_WR);
        m_upstreamShut = true;
    }
    return true;
}

void ServeConnection::End() {
    m_state = State::Ended;
    m_upstream.Reset();
    m_client.Reset();
}

} // namespace zandel
