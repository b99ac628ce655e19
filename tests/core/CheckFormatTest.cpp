#include "core/check/CheckFormat.h"

#include <regex>

#include <gtest/gtest.h>

#include "core/check/ProxyProbe.h"
#include "core/log/LogBuffer.h"

namespace zandel {
namespace {

struct AddressCase {
    std::string text;
    const char* host = nullptr; // null: refused, both fields left empty
    const char* port = nullptr;
};

class ParseAddressTest : public ::testing::TestWithParam<AddressCase> {};

// The host and port fields, joined as "%s:%s" by the frame lines and the rewritten address, parse back the same.
TEST_P(ParseAddressTest, FillsOrRefusesTheFields) {
    const AddressCase& c = GetParam();
    ProbeJob job;
    const bool parsed = ParseAddress(c.text, job);
    ASSERT_EQ(parsed, c.host != nullptr) << c.text;
    EXPECT_EQ(job.target.host, c.host != nullptr ? c.host : "") << c.text;
    EXPECT_EQ(job.target.port, c.port != nullptr ? c.port : "") << c.text;
    if (parsed) {
        ProbeJob again;
        ASSERT_TRUE(ParseAddress(job.target.host + ":" + job.target.port, again)) << c.text;
        EXPECT_EQ(again.target.host, job.target.host);
        EXPECT_EQ(again.target.port, job.target.port);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, ParseAddressTest,
    ::testing::Values(
        AddressCase{"127.0.0.1:8080\tmy proxy", "127.0.0.1", "8080"},
        AddressCase{"proxy.example.com:3128 comment", "proxy.example.com", "3128"},
        // Nine characters are the longest port text, whatever they are; ten would have to be cut to another port.
        AddressCase{"127.0.0.1:123456789", "127.0.0.1", "123456789"}, AddressCase{"127.0.0.1:1234567890"},
        // The host ends at a zero byte, as the frame line and the rewritten cell have always shown it.
        AddressCase{std::string("127.0.0.1\0junk:80", 17), "127.0.0.1", "80"}, AddressCase{"h:1:2", "h", "1:2"},
        AddressCase{""}, AddressCase{" 127.0.0.1:80"}, AddressCase{"127.0.0.1"}, AddressCase{"127.0.0.1:"},
        AddressCase{"127.0.0.1 :80"}, AddressCase{":80"},
        AddressCase{"[2001:db8::1]:8080 comment", "[2001:db8::1]", "8080"}, AddressCase{"[::1]:1", "[::1]", "1"},
        AddressCase{"[::ffff:192.0.2.1]:65535", "[::ffff:192.0.2.1]", "65535"},
        // An IPv6 address that is not one, a missing or out-of-range port, brackets that do not pair.
        AddressCase{"[::g]:80"}, AddressCase{"[::1]"}, AddressCase{"[::1]:"}, AddressCase{"[::1]:99999"},
        AddressCase{"[::1]:0"}, AddressCase{"[::1]:8o"}, AddressCase{"[::1]:+80"}, AddressCase{"[::1]80"},
        AddressCase{"[::1:80"}, AddressCase{"::1]:80"}, AddressCase{"[[::1]]:80"}, AddressCase{"[]:80"},
        AddressCase{"[127.0.0.1]:80"}, AddressCase{"[fe80::1%eth0]:80"}, AddressCase{std::string("[::1\0x]:80", 10)},
        AddressCase{"host]:80"}, AddressCase{"127.0.0.1:80]"}, AddressCase{"2001:db8::1:8080"}));

TEST(ParseAddressFieldsTest, HostTooLongForItsFieldIsRefused) {
    ProbeJob job;
    EXPECT_TRUE(ParseAddress(std::string(259, 'h') + ":80", job));
    EXPECT_FALSE(ParseAddress(std::string(260, 'h') + ":80", job));
}

TEST(FormatElapsedTest, SecondsPointMilliseconds) {
    EXPECT_EQ(FormatElapsed(1000, 2234), "1.234");
    EXPECT_EQ(FormatElapsed(0, 56), "0.056");
    EXPECT_EQ(FormatElapsed(5, 12005), "12.000");
    EXPECT_EQ(FormatElapsed(7, 7), "0.000");
    // The tick counter wrapped between the readings.
    EXPECT_EQ(FormatElapsed(0xFFFFFF00U, 0x00000100U), "0.512");
}

TEST(FormatCheckTimeTest, DateAndTwentyFourHourTime) {
    const std::string text = FormatCheckTime(std::time(nullptr));
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d{4}/\d{2}/\d{2}\(([01]\d|2[0-3]):[0-5]\d:[0-5]\d\))"))) << text;
}

TEST(LogBufferTest, KeepsTheLastThousandLines) {
    LogBuffer log;
    for (int i = 0; i < 999; ++i) {
        log.AppendText("line " + std::to_string(i) + "\r\n");
    }
    // 999 line ends make 1000 lines, the empty one after the last end included.
    EXPECT_EQ(log.LineCount(), 1000);
    EXPECT_EQ(log.Text().substr(0, 8), "line 0\r\n");

    log.AppendText("a\r\nb\r\nc\r\n");
    EXPECT_EQ(log.LineCount(), 1000);
    EXPECT_EQ(log.Text().substr(0, 8), "line 3\r\n");
    EXPECT_EQ(log.Text().substr(log.Text().size() - 9), "a\r\nb\r\nc\r\n");

    std::string batch;
    for (int i = 0; i < 2500; ++i) {
        batch += "new " + std::to_string(i) + "\r\n";
    }
    log.AppendText(batch);
    EXPECT_EQ(log.LineCount(), 1000);
    EXPECT_EQ(log.Text().substr(0, 10), "new 1501\r\n");
}

// The log view applies the same plan to its blocks, so an off-by-one here shows in both.
TEST(LogBufferTest, TrimPlanAtTheLimit) {
    struct Case {
        int shown;
        std::size_t added;
        int shownCut;
        bool clear;
        std::size_t addedCut;
    };
    for (const Case& c : {Case{1, 999, 0, false, 0}, Case{5, 996, 1, false, 0}, Case{1000, 999, 999, false, 0},
                          Case{1, 1000, 0, true, 1}, Case{1000, 1000, 0, true, 1}, Case{10, 2500, 0, true, 1501}}) {
        const LogTrim trim = PlanLogTrim(c.shown, c.added);
        EXPECT_EQ(trim.shownLines, c.shownCut) << c.shown << " + " << c.added;
        EXPECT_EQ(trim.clearShown, c.clear) << c.shown << " + " << c.added;
        EXPECT_EQ(trim.addedBreaks, c.addedCut) << c.shown << " + " << c.added;
    }
}

TEST(LogBufferTest, ClearThenAppendShowsOnlyTheNewText) {
    LogBuffer log;
    log.AppendText("old\r\n");
    log.Clear();
    log.AppendText("new\r\n");
    EXPECT_EQ(log.Text(), "new\r\n");
}

} // namespace
} // namespace zandel
