#include "core/check/CheckFormat.h"

#include <regex>

#include <gtest/gtest.h>

#include "core/check/ProxyProbe.h"
#include "core/log/LogBuffer.h"

namespace zandel {
namespace {

TEST(ParseAddressTest, TakesHostAndPortAndIgnoresTheComment) {
    ProbeJob job;
    ASSERT_TRUE(ParseAddress("127.0.0.1:8080\tmy proxy", job));
    EXPECT_STREQ(job.szHost, "127.0.0.1");
    EXPECT_STREQ(job.szPort, "8080");
    ASSERT_TRUE(ParseAddress("proxy.example.com:3128 comment", job));
    EXPECT_STREQ(job.szHost, "proxy.example.com");
    EXPECT_STREQ(job.szPort, "3128");
}

TEST(ParseAddressTest, RefusesWhatCannotNameAProxy) {
    for (const char* text : {"", " 127.0.0.1:80", "127.0.0.1", "127.0.0.1:", "127.0.0.1 :80", ":80",
                             // Nine characters fit the port field; ten would have to be cut to another port.
                             "127.0.0.1:1234567890"}) {
        ProbeJob job;
        EXPECT_FALSE(ParseAddress(text, job)) << text;
    }
    ProbeJob job;
    EXPECT_TRUE(ParseAddress("127.0.0.1:123456789", job));
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
