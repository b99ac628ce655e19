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

// The hand-written scans stand in for string_view's own in the list parser: they must agree with them everywhere,
// the ends included.
TEST(TextTest, FindAnyOfAgreesWithTheStandardScans) {
    const std::string_view texts[] = {"", " ", "\t", "a", " \t1.2.3.4:80\tOK ", "1.2.3.4:80", "x \t"};
    for (const std::string_view text : texts) {
        for (std::size_t from = 0; from <= text.size() + 1; ++from) {
            EXPECT_EQ(FindAnyOf(text, " \t", from), text.find_first_of(" \t", from)) << text << " " << from;
            EXPECT_EQ(FindNoneOf(text, " \t", from), text.find_first_not_of(" \t", from)) << text << " " << from;
        }
    }
}

} // namespace
} // namespace zandel
