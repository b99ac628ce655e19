#pragma once

#include <cstddef>

#include "core/util/UniqueFd.h"

namespace zandel {

// The descriptors the serve's pipes may take: what the open-files limit leaves once every client the serve may hold
// has its two sockets, and the rest of the process a margin. A pipe never takes a descriptor a client could need.
class PipeBudget final {
public:
    explicit PipeBudget(long descriptors = 0) : m_left(descriptors) {}
    // For a serve of at most `connections` clients at once, under the open-files limit now.
    static PipeBudget ForConnections(long connections);
    bool Take();
    void Give();
    long Left() const { return m_left; }
    // Of the pipes that may be widened (see SplicePipe::Open).
    bool TakeWide();
    void GiveWide();

private:
    static constexpr int kWidePipes = 64;
    long m_left;
    int m_wideLeft = kWidePipes;
};

// One direction of a busy tunnel moved inside the kernel: socket to pipe to socket with splice(2), so that its bytes
// are never copied through the serve. What the pipe holds is the direction's buffer: nothing more is taken from the
// sending side until the receiving side has taken some of it.
class SplicePipe final {
public:
    explicit SplicePipe(PipeBudget* budget) : m_budget(budget) {}
    ~SplicePipe();
    SplicePipe(const SplicePipe&) = delete;
    SplicePipe& operator=(const SplicePipe&) = delete;

    // Makes the pipe, once: false when the budget or the system gives no descriptors, then and from then on.
    bool Open();
    bool IsOpen() const { return m_write.IsOpen(); }
    // Moves what `from` has into the pipe: bytes moved, 0 at the end of the stream, -1 on failure, kWouldBlock.
    long Fill(int from);
    // Moves what the pipe holds into `to`, as much as it takes now; false when its peer has gone.
    bool Drain(int to);
    std::size_t Held() const { return m_held; }
    // Whether a fill may move anything now.
    bool TakesMore() const { return m_held < m_capacity && !m_full; }

private:
    PipeBudget* m_budget;
    UniqueFd m_read;
    UniqueFd m_write;
    bool m_refused = false;
    bool m_wide = false;
    bool m_full = false; // a fill found no room while the pipe held bytes: its slots, not its bytes, ran out
    std::size_t m_held = 0;
    std::size_t m_capacity = 0;
};

} // namespace zandel
