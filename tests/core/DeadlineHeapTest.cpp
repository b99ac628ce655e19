#include "core/check/DeadlineHeap.h"

#include <map>
#include <random>

#include <gtest/gtest.h>

namespace zandel {
namespace {

// Random sets, moves and removals against a plain map of each slot's deadline: the heap's top must always be an
// earliest deadline, and its size the number of slots that have one.
TEST(DeadlineHeapTest, TopIsAlwaysAnEarliestDeadline) {
    std::mt19937 random(11);
    std::uniform_int_distribution<std::size_t> slotOf(0, 63);
    std::uniform_int_distribution<std::uint64_t> deadlineOf(0, 50); // many equal deadlines
    std::uniform_int_distribution<int> action(0, 9);
    DeadlineHeap heap;
    std::map<std::size_t, std::uint64_t> model;
    for (int step = 0; step < 20000; ++step) {
        const std::size_t slot = slotOf(random);
        if (action(random) < 3) {
            heap.Remove(slot);
            model.erase(slot);
        } else {
            const std::uint64_t deadline = deadlineOf(random);
            heap.Set(slot, deadline);
            model[slot] = deadline;
        }
        if (action(random) == 0 && !model.empty()) {
            // The driver's way: take what is due from the top.
            const std::size_t top = heap.TopSlot();
            ASSERT_EQ(model.at(top), heap.TopDeadline());
            heap.Remove(top);
            model.erase(top);
        }
        ASSERT_EQ(heap.Size(), model.size());
        ASSERT_EQ(heap.Empty(), model.empty());
        if (!model.empty()) {
            std::uint64_t earliest = DeadlineHeap::kNone;
            for (const auto& [s, d] : model) {
                earliest = std::min(earliest, d);
            }
            ASSERT_EQ(heap.TopDeadline(), earliest);
            ASSERT_EQ(model.at(heap.TopSlot()), earliest);
        }
    }
}

} // namespace
} // namespace zandel
