#pragma once

#include <unistd.h>

namespace zandel {

// The one owner of a descriptor, for files, sockets and event descriptors alike: closing twice or leaking
// one on an early return is then impossible.
class UniqueFd final {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // The descriptor is the caller's from now on.
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1) {
        Close();
        m_fd = fd;
    }
    // The close result matters after a write: some file systems report a failed write only here.
    int Close() {
        int rc = 0;
        if (m_fd >= 0) {
            rc = ::close(m_fd);
            m_fd = -1;
        }
        return rc;
    }

private:
    int m_fd = -1;
};

} // namespace zandel
