#pragma once

#include <unistd.h>

namespace zandel::test {

// Owns one descriptor and closes it when it goes.
class SocketFd final {
public:
    SocketFd() = default;
    explicit SocketFd(int fd) : m_fd(fd) {}
    ~SocketFd() { Reset(); }
    SocketFd(const SocketFd&) = delete;
    SocketFd& operator=(const SocketFd&) = delete;
    SocketFd(SocketFd&& other) noexcept : m_fd(other.Release()) {}
    SocketFd& operator=(SocketFd&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

} // namespace zandel::test
