#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/util/UniqueFd.h"

namespace zandel::test {

// The server's end of one accepted connection. Every wait also ends when the server stops, so a handler
// never outlives its server. Everything read is kept, in order, for tests that check the exact bytes.
class ServerConnection final {
public:
    ServerConnection(int fd, int stopFd, std::string peerAddress);
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    // Reads until the request head (up to the blank line) is in; false when the client closed or the server
    // stopped before.
    bool ReadRequestHead();
    // Reads until `total` bytes in all have come; false when the client closed or the server stopped before.
    bool ReadUntilSize(std::size_t total);
    // The request head read so far, blank line included; empty before ReadRequestHead succeeded.
    std::string_view RequestHead() const;

    bool Send(std::string_view bytes);
    // False when the server stopped meanwhile.
    bool Pause(int milliseconds);
    // Ends the sending side and waits (bounded) until the client's system has taken every byte and the close,
    // so a test can rely on the whole answer being queued at the client.
    void FinishSending();
    // Reads (and keeps) whatever comes until the client closes or the server stops.
    void DrainUntilPeerCloses();

    bool Stopped() const;
    int StopFd() const { return m_stopFd; }
    // The socket itself, for a handler that speaks TLS on it.
    int Fd() const { return m_fd.Get(); }
    const std::string& Received() const { return m_received; }
    const std::string& PeerAddress() const { return m_peerAddress; }

private:
    enum class WaitResult { Ready, Stopped, Failed };
    WaitResult WaitFor(short events, int timeoutMs);
    // Bytes read, 0 at the end of the stream, -1 on failure or stop.
    long ReadSome();

    UniqueFd m_fd;
    int m_stopFd;
    std::string m_peerAddress;
    std::string m_received;
    std::size_t m_headLength = 0;
    bool m_peerClosed = false;
};

} // namespace zandel::test
