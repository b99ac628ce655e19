#include "core/check/CheckEngine.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/CheckRunFixture.h"
#include "support/FakeProxy.h"

namespace zandel {
namespace {

using test::FakeProxy;
namespace fake = test::fake;

// The transcript cut into its proxies' blocks (each ends with its closing frame line and the empty line).
std::vector<std::string> Blocks(const std::string& log) {
    const std::string end = "---●\r\n\r\n";
    std::vector<std::string> blocks;
    std::size_t start = 0;
    for (std::size_t at = log.find(end); at != std::string::npos; at = log.find(end, start)) {
        blocks.push_back(log.substr(start, at + end.size() - start));
        start = at + end.size();
    }
    EXPECT_EQ(start, log.size()) << "text outside the blocks";
    return blocks;
}

std::string BlockAddress(const std::string& block) {
    return block.substr(std::string("●---").size(), block.find("---●") - std::string("●---").size());
}

class ParallelRunTest : public test::CheckRunFixture {
protected:
    ParallelRunTest() { m_settings.TimeOut = 1; }

    void SetRows(const std::vector<std::string>& addresses) {
        m_rows = MemoryRowStore();
        for (const std::string& address : addresses) {
            AddRow(address);
        }
    }
    void RunAll() {
        m_host.ClearLog();
        RunToEnd();
    }
};

// Fifty rows at once across every ending: each row is judged, and each block of the transcript reads, exactly
// as the one-at-a-time run shows the same proxy. The one-at-a-time run names each proxy in the title; the run of
// many counts its rows there and in its progress instead, up to every row, and hides the progress at its end.
TEST_F(ParallelRunTest, EveryRowAndBlockAsTheOneAtATimeRunHasThem) {
    std::vector<std::unique_ptr<FakeProxy>> proxies;
    proxies.push_back(std::make_unique<FakeProxy>(fake::ForwardToJudge({})));
    proxies.push_back(std::make_unique<FakeProxy>(fake::ForwardToJudge({"Via: 1.1 fake"})));
    proxies.push_back(std::make_unique<FakeProxy>(fake::Refuse()));
    proxies.push_back(std::make_unique<FakeProxy>(fake::NeverAnswer()));
    proxies.push_back(std::make_unique<FakeProxy>(fake::AnswerPartly("HTTP/1.0 200 OK\r\n")));
    proxies.push_back(std::make_unique<FakeProxy>(fake::AnswerAndClose(std::string(30000, 'f'))));
    proxies.push_back(std::make_unique<FakeProxy>(fake::AnswerAndClose("")));
    proxies.push_back(std::make_unique<FakeProxy>(fake::Drip("HTTP/1.0 403 Forbidden\r\n\r\n", 3)));
    // Lines enough for a block longer than a slot keeps in itself.
    proxies.push_back(std::make_unique<FakeProxy>(
        fake::ForwardToJudge({"Via: 1.1 " + std::string(150, 'v'), "X-Forwarded-For: " + std::string(150, '1'),
                              "Forwarded: for=" + std::string(150, 'f'), "Client-IP: " + std::string(150, '2')})));
    std::vector<std::string> kinds;
    for (const auto& proxy : proxies) {
        kinds.push_back(proxy->Address());
    }

    SetRows(kinds);
    RunAll();
    EXPECT_TRUE(m_host.RunProgress().empty());
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(m_host.Titles()[i], CheckingTitle(kinds[i]));
    }
    std::map<std::string, std::string> aloneBlock;
    for (const std::string& block : Blocks(m_host.Log())) {
        aloneBlock[BlockAddress(block)] = block;
    }
    std::map<std::string, ProxyRow> aloneRow;
    for (int row = 0; row < m_rows.RowCount(); ++row) {
        aloneRow[m_rows.GetRow(row).cells[0]] = m_rows.GetRow(row);
    }
    ASSERT_EQ(aloneBlock.size(), kinds.size());

    m_settings.ParallelChecks = 50;
    std::vector<std::string> many;
    for (int i = 0; i < 50; ++i) {
        many.push_back(kinds[static_cast<std::size_t>(i) % kinds.size()]);
    }
    SetRows(many);
    const std::size_t titlesBefore = m_host.Titles().size();
    RunAll();
    std::vector<std::pair<int, int>> expected;
    std::vector<std::string> titles;
    for (int done = 0; done <= 50; ++done) {
        expected.emplace_back(done, 50);
        titles.push_back(ProgressTitle(done, 50));
    }
    expected.emplace_back(0, 0);
    titles.push_back(m_host.GetTitle());
    EXPECT_EQ(m_host.RunProgress(), expected);
    const std::vector<std::string> shown = m_host.Titles();
    EXPECT_EQ(std::vector<std::string>(shown.begin() + static_cast<std::ptrdiff_t>(titlesBefore), shown.end()), titles);
    EXPECT_EQ(titles[12], "Zandel - 12/50ﾁｪｯｸ中…");
    const std::vector<std::string> blocks = Blocks(m_host.Log());
    ASSERT_EQ(blocks.size(), many.size());
    for (const std::string& block : blocks) {
        EXPECT_EQ(block, aloneBlock[BlockAddress(block)]);
    }
    for (int row = 0; row < m_rows.RowCount(); ++row) {
        const ProxyRow got = m_rows.GetRow(row);
        const ProxyRow& alone = aloneRow[got.cells[0]];
        EXPECT_EQ(got.cells[1], alone.cells[1]) << got.cells[0];
        EXPECT_EQ(got.image, alone.image) << got.cells[0];
        EXPECT_EQ(got.cells[2] == "--:---", alone.cells[2] == "--:---") << got.cells[0];
        EXPECT_FALSE(m_rows.IsRowSelected(row));
    }
    const std::vector<int> counts = m_host.RunningCounts();
    EXPECT_EQ(counts.back(), 0);
    EXPECT_GT(*std::max_element(counts.begin(), counts.end()), 1);
}

// Stop ends every running job as stopped and starts no more; skip ends only those running at that moment.
TEST_F(ParallelRunTest, StopEndsEveryJobAndSkipOnlyTheRunningOnes) {
    FakeProxy silent(fake::NeverAnswer());
    m_settings.TimeOut = 30;
    m_settings.ParallelChecks = 10;
    SetRows(std::vector<std::string>(25, silent.Address()));

    ASSERT_TRUE(m_engine.StartCheck());
    ASSERT_TRUE(m_host.WaitForRunningCount(10, 1));
    m_engine.SkipCheck();
    // Each skipped job, once judged, makes room for the next row: ten more begin.
    ASSERT_TRUE(m_host.WaitForRunningCount(10, 11));
    m_engine.StopCheck();
    ASSERT_TRUE(m_host.WaitForRunsEnded(++m_runs, std::chrono::seconds(20)));
    m_engine.JoinRunThreads();

    int stopped = 0;
    int unchecked = 0;
    for (int row = 0; row < m_rows.RowCount(); ++row) {
        const std::string result = m_rows.GetRow(row).cells[1];
        stopped += result == "NG" ? 1 : 0;
        unchecked += result == kUncheckedResult || result.empty() ? 1 : 0;
    }
    EXPECT_EQ(stopped, 20) << "ten skipped, ten stopped";
    EXPECT_EQ(unchecked, 5) << "none begun after the stop";
    EXPECT_EQ(Blocks(m_host.Log()).size(), 20u);
}

} // namespace
} // namespace zandel
