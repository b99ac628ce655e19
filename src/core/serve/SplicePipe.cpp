#include "core/serve/SplicePipe.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/resource.h>

#include "core/serve/SocketBytes.h"

namespace zandel {

namespace {

constexpr long kPipeDescriptors = 2;
// What the rest of the process may open beside the serve's clients (its listener, epoll, the history, a re-check).
constexpr long kReservedDescriptors = 64;
constexpr int kWidePipe = 256 * 1024;
constexpr unsigned kSpliceFlags = SPLICE_F_MOVE | SPLICE_F_NONBLOCK;

} // namespace

PipeBudget PipeBudget::ForConnections(long connections) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return PipeBudget();
    }
    if (limit.rlim_cur == RLIM_INFINITY) {
        return PipeBudget(kReservedDescriptors * 1024);
    }
    return PipeBudget(static_cast<long>(limit.rlim_cur) - 2 * connections - kReservedDescriptors);
}

bool PipeBudget::Take() {
    if (m_left < kPipeDescriptors) {
        return false;
    }
    m_left -= kPipeDescriptors;
    return true;
}

void PipeBudget::Give() {
    m_left += kPipeDescriptors;
}

bool PipeBudget::TakeWide() {
    if (m_wideLeft == 0) {
        return false;
    }
    --m_wideLeft;
    return true;
}

void PipeBudget::GiveWide() {
    ++m_wideLeft;
}

SplicePipe::~SplicePipe() {
    if (IsOpen() && m_budget != nullptr) {
        m_budget->Give();
        if (m_wide) {
            m_budget->GiveWide();
        }
    }
}

bool SplicePipe::Open() {
    if (IsOpen()) {
        return true;
    }
    if (m_refused || m_budget == nullptr || !m_budget->Take()) {
        m_refused = true;
        return false;
    }
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
        m_budget->Give();
        m_refused = true;
        return false;
    }
    m_read.Reset(ends[0]);
    m_write.Reset(ends[1]);
    // A wider pipe moves a busy tunnel in fewer rounds (a fifth less of the serve's CPU a GiB on loopback). The
    // kernel counts pipe pages per user, and past its soft limit gives every new pipe of that user, in any program,
    // two pages: so only a few are widened, and a refusal keeps the usual size.
    if (m_budget->TakeWide()) {
        m_wide = ::fcntl(m_write.Get(), F_SETPIPE_SZ, kWidePipe) > 0;
        if (!m_wide) {
            m_budget->GiveWide();
        }
    }
    const int capacity = ::fcntl(m_write.Get(), F_GETPIPE_SZ);
    m_capacity = capacity > 0 ? static_cast<std::size_t>(capacity) : kRelayBuffer;
    return true;
}

long SplicePipe::Fill(int from) {
    const ssize_t got = ::splice(from, nullptr, m_write.Get(), nullptr, m_capacity - m_held, kSpliceFlags);
    if (got >= 0) {
        m_held += static_cast<std::size_t>(got);
        return got;
    }
    if (errno == EAGAIN || errno == EINTR) {
        m_full = m_held > 0;
        return kWouldBlock;
    }
    return -1;
}

bool SplicePipe::Drain(int to) {
    while (m_held > 0) {
        const ssize_t moved = ::splice(m_read.Get(), nullptr, to, nullptr, m_held, kSpliceFlags);
        if (moved <= 0) {
            return moved == 0 || errno == EAGAIN || errno == EINTR;
        }
        m_held -= static_cast<std::size_t>(moved);
        m_full = false;
    }
    return true;
}

} // namespace zandel
