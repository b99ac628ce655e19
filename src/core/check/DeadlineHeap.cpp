#include "core/check/DeadlineHeap.h"

namespace zandel {

void DeadlineHeap::Place(std::size_t at, Entry entry) {
    m_heap[at] = entry;
    m_position[entry.slot] = at;
}

void DeadlineHeap::Up(std::size_t at) {
    const Entry entry = m_heap[at];
    while (at > 0) {
        const std::size_t parent = (at - 1) / 2;
        if (m_heap[parent].deadline <= entry.deadline) {
            break;
        }
        Place(at, m_heap[parent]);
        at = parent;
    }
    Place(at, entry);
}

void DeadlineHeap::Down(std::size_t at) {
    const Entry entry = m_heap[at];
    const std::size_t size = m_heap.size();
    for (;;) {
        std::size_t child = 2 * at + 1;
        if (child >= size) {
            break;
        }
        if (child + 1 < size && m_heap[child + 1].deadline < m_heap[child].deadline) {
            ++child;
        }
        if (entry.deadline <= m_heap[child].deadline) {
            break;
        }
        Place(at, m_heap[child]);
        at = child;
    }
    Place(at, entry);
}

void DeadlineHeap::Set(std::size_t slot, std::uint64_t deadline) {
    if (slot >= m_position.size()) {
        if (deadline == kNone) {
            return;
        }
        m_position.resize(slot + 1, kAbsent);
    }
    const std::size_t at = m_position[slot];
    if (deadline == kNone) {
        if (at == kAbsent) {
            return;
        }
        m_position[slot] = kAbsent;
        const Entry last = m_heap.back();
        m_heap.pop_back();
        if (at < m_heap.size()) {
            Place(at, last);
            Up(at);
            Down(m_position[last.slot]);
        }
        return;
    }
    if (at == kAbsent) {
        m_heap.push_back({deadline, slot});
        m_position[slot] = m_heap.size() - 1;
        Up(m_heap.size() - 1);
        return;
    }
    const std::uint64_t before = m_heap[at].deadline;
    m_heap[at].deadline = deadline;
    if (deadline < before) {
        Up(at);
    } else {
        Down(at);
    }
}

} // namespace zandel
