#pragma once

#include <cstddef>
#include <string>

namespace zandel {

// What either direction of a serve's connection holds before the side that fills it waits for the other to take it.
inline constexpr std::size_t kRelayBuffer = std::size_t{64} * 1024;
// The most one read takes.
inline constexpr std::size_t kReadChunk = std::size_t{64} * 1024;
inline constexpr long kWouldBlock = -2;

// Bytes read from a non-blocking socket (appended, at most `room`), 0 at the end of the stream, -1 on failure,
// kWouldBlock when nothing is there.
long ReadInto(int fd, std::string& buffer, std::size_t room);
// -1 when the socket has failed (a reset heard while nothing more may be read from it), else kWouldBlock: a hang-up
// is reported whatever a socket is watched for, and must not wake the loop over and over.
long PendingFailure(int fd);
// Sends what the socket takes now, taking it from the front of `buffer`; false when the peer has gone.
bool WriteFrom(int fd, std::string& buffer);
// How much more a relay buffer takes.
std::size_t RoomIn(const std::string& buffer);

} // namespace zandel
