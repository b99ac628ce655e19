#pragma once

#include <unistd.h>

namespace zandel {

// Owns a descriptor; closing twice or leaking one on an early return is then impossible.
class FdGuard final {
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard() { Close(); }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;

    int Get() const { return m_fd; }
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
    int m_fd;
};

} // namespace zandel
