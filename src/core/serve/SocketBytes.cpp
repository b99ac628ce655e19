#include "core/serve/SocketBytes.h"

#include <algorithm>
#include <cerrno>

#include <sys/socket.h>

namespace zandel {

long ReadInto(int fd, std::string& buffer, std::size_t room) {
    char chunk[kReadChunk];
    const ssize_t got = ::recv(fd, chunk, std::min(room, sizeof chunk), 0);
    if (got > 0) {
        buffer.append(chunk, static_cast<std::size_t>(got));
        return got;
    }
    if (got == 0) {
        return 0;
    }
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWouldBlock : -1;
}

long PendingFailure(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0 ? kWouldBlock : -1;
}

bool WriteFrom(int fd, std::string& buffer) {
    while (!buffer.empty()) {
        const ssize_t sent = ::send(fd, buffer.data(), buffer.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        }
        buffer.erase(0, static_cast<std::size_t>(sent));
    }
    return true;
}

std::size_t RoomIn(const std::string& buffer) {
    return buffer.size() < kRelayBuffer ? kRelayBuffer - buffer.size() : 0;
}

} // namespace zandel
