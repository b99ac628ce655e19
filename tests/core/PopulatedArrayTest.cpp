#include "core/util/PopulatedArray.h"

#include <string>

#include <gtest/gtest.h>

namespace zandel {
namespace {

// The run's job slots live here: every one must be built with the run's arguments and torn down with the array,
// or a slot's strings and buffers would leak with each run (AddressSanitizer sees the heap behind them).
TEST(PopulatedArrayTest, BuildsAndTearsDownEveryObject) {
    int alive = 0;
    struct Counted {
        Counted(int* count, const std::string& text) : count(count), text(text + std::string(100, 'x')) { ++*count; }
        ~Counted() { --*count; }
        Counted(const Counted&) = delete;
        Counted& operator=(const Counted&) = delete;
        int* count;
        std::string text;
    };
    {
        PopulatedArray<Counted> many(1000, &alive, std::string("slot"));
        ASSERT_EQ(many.size(), 1000U);
        EXPECT_EQ(alive, 1000);
        EXPECT_EQ(many[999].text.substr(0, 4), "slot");
        PopulatedArray<Counted> none(0, &alive, std::string());
        EXPECT_EQ(none.size(), 0U);
    }
    EXPECT_EQ(alive, 0);
}

} // namespace
} // namespace zandel
