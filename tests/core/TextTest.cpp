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

// Only a CR right before an LF goes: a lone CR, or the first of two, is part of the text.
TEST(TextTest, CrLfToLfDropsOnlyTheCrOfAPair) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {{"", ""},
                 {"a\r\nb\r\n", "a\nb\n"},
                 {"\r\r\n", "\r\n"},
                 {"a\rb\n\r", "a\rb\n\r"},
                 {"\r\n\r\n", "\n\n"},
                 {"no line end", "no line end"}};
    for (const auto& c : cases) {
        EXPECT_EQ(CrLfToLf(c.text), c.expected) << c.text;
    }
}

} // namespace
} // namespace zandel
