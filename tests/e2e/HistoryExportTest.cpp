// zandel-check's history, exports and lists from a URL, as a user runs them: the program as a process of its
// own, fake proxies and a list server on loopback, the results read back with SQLite and jq.
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "ZandelCheckFixture.h"
#include "core/history/HistoryStore.h"
#include "support/FakeProxy.h"
#include "support/LoopbackServer.h"
#include "support/ServerConnection.h"
#include "support/TestTls.h"

namespace zandel {
namespace {

using test::FakeProxy;
namespace fake = test::fake;

class HistoryExportTest : public ZandelCheckTest {
protected:
    std::string Jq(const std::string& filter, const std::string& file) {
        const Outcome out = RunTool({"/usr/bin/jq", "-c", filter, file});
        EXPECT_EQ(out.exitCode, 0) << out.err;
        return out.out;
    }
    Outcome RunTool(const std::vector<std::string>& args) {
        test::Subprocess process(args, m_dir.Path(), m_dir.File("tool.out"), m_dir.File("tool.err"));
        Outcome outcome;
        outcome.exitCode = process.Wait();
        outcome.out = m_dir.Read("tool.out");
        outcome.err = m_dir.Read("tool.err");
        return outcome;
    }

    FakeProxy m_good{fake::ForwardToJudge({})};
    FakeProxy m_refusing{fake::Refuse()};
};

TEST_F(HistoryExportTest, EveryRunAddsToTheHistoryAndJsonCarriesTheResults) {
    m_dir.Write("list.txt", m_good.Address() + "\n" + m_refusing.Address() + "\nnot-an-address\n");
    for (int run = 1; run <= 2; ++run) {
        const Outcome out = Run({"--url", m_judge.Url(), "--jobs", "2", "--history", "history.sqlite", "--format",
                                 "json", "-o", "out.json", "--log", "run.log", "list.txt"});
        ASSERT_EQ(out.exitCode, 0) << out.err;
        EXPECT_EQ(out.err, "");
    }
    EXPECT_EQ(Jq("[.[] | [.address, .result, (.response_ms|type), .https, (.checked_at|type), .reason]]", "out.json"),
              "[[\"" + m_good.Address() +
                  "\",\"Anonymous(A)\",\"number\",\"---\",\"string\","
                  "\"結果：使用可能なプロキシサーバです\"],[\"" +
                  m_refusing.Address() +
                  "\",\"NG\",\"null\",\"---\",\"string\","
                  "\"結果：サーバに接続できない、あるいはソケットのエラーと思われます\"],"
                  "[\"not-an-address\",\"NG\",\"null\",\"---\",\"string\",\"\"]]\n");

    // Two runs, two checks of each proxy; the address refused was no check of a proxy.
    HistoryStore history;
    ASSERT_TRUE(history.Open(m_dir.File("history.sqlite"), kHistoryKeepDaysDefault, std::time(nullptr), nullptr));
    EXPECT_EQ(history.Count(), 4);
    const std::vector<HistorySummary> summaries = history.Summaries();
    ASSERT_EQ(summaries.size(), 2U);
    for (const HistorySummary& summary : summaries) {
        const bool good = summary.address == m_good.Address();
        EXPECT_EQ(summary.checks, 2) << summary.address;
        EXPECT_EQ(summary.good, good ? 2 : 0) << summary.address;
        EXPECT_EQ(summary.medianMs.has_value(), good) << summary.address;
    }
}

// The form it was found in: the history kept "u2@host:port" where the CSV says "host:port:u2" for the same entry.
// Both name it as the CSV does, without the password.
TEST_F(HistoryExportTest, TheHistoryNamesALoginEntryAsTheExportDoes) {
    const std::string kept = "127.0.0.1:" + m_good.PortText() + ":u2";
    m_dir.Write("list.txt", kept + ":Tp-7.x_q\n");
    const Outcome out = Run({"--url", m_judge.Url(), "--history", "history.sqlite", "--format", "csv", "-o", "out.csv",
                             "--log", "run.log", "list.txt"});
    ASSERT_EQ(out.exitCode, 0) << out.err;
    EXPECT_NE(m_dir.Read("out.csv").find("\r\n" + kept + ",http,"), std::string::npos) << m_dir.Read("out.csv");
    HistoryStore history;
    ASSERT_TRUE(history.OpenForReading(m_dir.File("history.sqlite")));
    const std::vector<HistorySummary> summaries = history.Summaries();
    ASSERT_EQ(summaries.size(), 1U);
    EXPECT_EQ(summaries[0].address, kept);
}

TEST_F(HistoryExportTest, AnUnusableHistoryIsToldOnceAndTheRunGoesOn) {
    m_dir.Write("list.txt", m_good.Address() + "\n" + m_refusing.Address() + "\n");
    m_dir.Write("history.sqlite", std::string(4096, '\x5a'));
    const Outcome out =
        Run({"--url", m_judge.Url(), "--history", "history.sqlite", "--format", "csv", "--log", "run.log", "list.txt"});
    EXPECT_EQ(out.exitCode, 0) << out.err;
    EXPECT_EQ(out.err.find("the history is not kept"), out.err.rfind("the history is not kept")) << out.err;
    EXPECT_NE(out.err.find("the history is not kept"), std::string::npos) << out.err;
    EXPECT_EQ(out.out.substr(0, out.out.find("\r\n")), "address,kind,result,response_ms,https,checked_at,reason");
    EXPECT_NE(out.out.find("\r\n" + m_refusing.Address() + ",http,NG,,---,"), std::string::npos) << out.out;
    EXPECT_EQ(m_dir.Read("history.sqlite"), std::string(4096, '\x5a')) << "a file not ours was written over";
}

TEST_F(HistoryExportTest, ChecksAListFetchedFromAUrl) {
    const std::string list = "# from the web\r\n" + m_good.Address() + "\r\n";
    test::LoopbackServer server([&list](test::ServerConnection& connection) {
        if (!connection.ReadRequestHead()) {
            return;
        }
        const bool found = connection.RequestHead().substr(0, 14) == "GET /list.txt ";
        const std::string body = found ? list : "gone";
        connection.Send(std::string(found ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
                        "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    });
    const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());

    const Outcome run = Run({"--url", m_judge.Url(), "--log", "run.log", base + "/list.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, m_good.Address().size() + 14), m_good.Address() + " Anonymous(A) ") << run.out;

    const Outcome missing = Run({"--url", m_judge.Url(), base + "/old.txt"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err, "zandel-check: " + base + "/old.txt: the server answered 404\n");
    EXPECT_EQ(missing.out, "");
}

// A list server that drips a byte every half second never stalls long enough to be given up: the whole fetch's
// time ends it, and the user is told which time ran out.
TEST_F(HistoryExportTest, ADrippingListServerHoldsNobodyPastTheFetchTimeout) {
    test::LoopbackServer server([](test::ServerConnection& connection) {
        if (connection.ReadRequestHead()) {
            connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
            while (connection.Send("1") && connection.Pause(500)) {
            }
        }
    });
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/list.txt";
    const auto started = std::chrono::steady_clock::now();
    const Outcome run = Run({"--url", m_judge.Url(), "--fetch-timeout", "2", url});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "zandel-check: " + url + ": gave up after 2 s without the whole list\n");
    EXPECT_EQ(run.out, "");
}

TEST_F(HistoryExportTest, AnHttpsListIsTrustedOnlyThroughTheGivenCa) {
    const test::TestCa ca;
    const test::TlsIdentity identity = ca.Issue("127.0.0.1", "IP:127.0.0.1");
    const std::string list = m_good.Address() + "\r\n";
    test::LoopbackServer server([&](test::ServerConnection& connection) {
        test::ServeTlsHandshake(connection, identity,
                                "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(list.size()) + "\r\n\r\n" +
                                    list);
    });
    const std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/list.txt";
    m_dir.Write("ca.pem", ca.CertificatePem());

    const Outcome trusted = Run({"--url", m_judge.Url(), "--ca-file", "ca.pem", "--log", "run.log", url});
    ASSERT_EQ(trusted.exitCode, 0) << trusted.err;
    EXPECT_EQ(trusted.out.substr(0, m_good.Address().size() + 1), m_good.Address() + " ") << trusted.out;

    const Outcome unknown = Run({"--url", m_judge.Url(), "--log", "run.log", url});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err.rfind("zandel-check: " + url + ": ", 0), 0U) << unknown.err;
}

TEST_F(HistoryExportTest, BadNewOptionsAreUsageErrors) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--format", "xml", "list.txt"},
                                                 {"--history-days", "0", "list.txt"},
                                                 {"--fetch-timeout", "0", "list.txt"},
                                                 {"--history"}}) {
        const Outcome out = Run(args);
        EXPECT_EQ(out.exitCode, 2) << args[0];
        EXPECT_NE(out.err.find(args[0]), std::string::npos) << out.err;
    }
}

} // namespace
} // namespace zandel
