#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zandel {

// The next deadline of many slots, a binary min-heap that knows where each slot sits in it, so that a slot's
// deadline moves or goes in O(log n) and the earliest is read in O(1). Slots are small indexes (a probe's
// connection slots); a slot has at most one deadline.
class DeadlineHeap final {
public:
    static constexpr std::uint64_t kNone = UINT64_MAX;

    // Sets, moves or (with kNone) removes the slot's deadline.
    void Set(std::size_t slot, std::uint64_t deadline);
    void Remove(std::size_t slot) { Set(slot, kNone); }
    bool Empty() const { return m_heap.empty(); }
    // The earliest deadline and its slot; only when not empty.
    std::uint64_t TopDeadline() const { return m_heap.front().deadline; }
    std::size_t TopSlot() const { return m_heap.front().slot; }
    std::size_t Size() const { return m_heap.size(); }

private:
    struct Entry {
        std::uint64_t deadline;
        std::size_t slot;
    };
    static constexpr std::size_t kAbsent = SIZE_MAX;

    void Place(std::size_t at, Entry entry);
    void Up(std::size_t at);
    void Down(std::size_t at);

    std::vector<Entry> m_heap;
    std::vector<std::size_t> m_position; // by slot: its index in m_heap, or kAbsent
};

} // namespace zandel
