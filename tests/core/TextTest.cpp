#include "core/util/Text.h"

#include <gtest/gtest.h>

namespace zandel {
namespace {

TEST(TextTest, LeadingIntReadsLikeAtoi) {
    EXPECT_EQ(ParseLeadingInt("8080x"), 8080);
    EXPECT_EQ(ParseLeadingInt("  -12"), -12);
    EXPECT_EQ(ParseLeadingInt("abc"), 0);
    EXPECT_EQ(ParseLeadingInt(""), 0);
    // Far beyond an int: capped instead of overflowing.
    EXPECT_GT(ParseLeadingInt("99999999999999999999999"), 2147483647LL);
}

TEST(TextTest, CaseFoldingLeavesHighBytesAlone) {
    EXPECT_TRUE(EqualsNoCase("anonymous(a)", "Anonymous(A)"));
    EXPECT_FALSE(EqualsNoCase("\xC3\xA4", "\xC3\x84"));
    EXPECT_TRUE(StartsWithNoCase("HTTP://x", "http://"));
    EXPECT_LT(CompareNoCase("10.0.0.1", "9.0.0.1"), 0);
}

} // namespace
} // namespace zandel
