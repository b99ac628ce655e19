// zandel-check --serve as a user runs it: the list checked, then curl through the serve's one port over HTTP,
// CONNECT, SOCKS5 and SOCKS4, each real proxy of the distribution (tinyproxy, microsocks with a login, dante, squid)
// the upstream in turn; the kind a client asks for in its login, and the history of its connections; and a name that
// only the upstream knows, which the serve passes on and never looks up.

#include <algorithm>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "ZandelCheckFixture.h"
#include "core/history/HistoryStore.h"
#include "support/FakeProxy.h"
#include "support/Loopback.h"
#include "support/LoopbackServer.h"
#include "support/SocksRelay.h"

namespace zandel {
namespace {

constexpr const char* kCurl = "/usr/bin/curl";

class ServeCheckTest : public ZandelCheckTest {
protected:
    void SetUp() override {
        ASSERT_EQ(access(kCurl, X_OK), 0) << "curl is not installed: scripts/setup.sh installs it";
        ASSERT_EQ(access(kDanted, X_OK), 0) << "dante-server is not installed: scripts/setup.sh installs it";
        ASSERT_EQ(access(kMicrosocks, X_OK), 0) << "microsocks is not installed: scripts/setup.sh installs it";
    }

    void TearDown() override {
        if (m_serve) {
            m_serve->Signal(SIGINT);
            EXPECT_EQ(m_serve->Wait(), 0) << m_dir.Read("serve.err");
        }
    }

    // zandel-check --serve over a list of `entry`, under the scripted resolver that notes every name it is asked,
    // until it says it serves.
    void StartServe(const std::string& entry, const std::vector<std::string>& environment = {}) {
        StartServe(std::vector<std::string>{entry}, environment);
    }
    void StartServe(const std::vector<std::string>& entries, const std::vector<std::string>& environment,
                    const std::vector<std::string>& options = {}) {
        std::string list;
        for (const std::string& entry : entries) {
            list += entry + "\r\n";
        }
        m_dir.Write("list.txt", list);
        m_servePort = test::FreeLoopbackPort();
        const char* asanOptions = std::getenv("ASAN_OPTIONS");
        const std::string asan =
            std::string("ASAN_OPTIONS=") + (asanOptions != nullptr ? asanOptions : "") + ":verify_asan_link_order=0";
        std::vector<std::string> args{"/usr/bin/env", std::string("LD_PRELOAD=") + ZANDEL_SCRIPTED_LOOKUP, asan,
                                      "ZANDEL_LOOKUP_LOG=" + m_dir.File("lookups")};
        args.insert(args.end(), environment.begin(), environment.end());
        args.insert(args.end(), {ZANDEL_CHECK_BIN, "--serve", "127.0.0.1:" + std::to_string(m_servePort),
                                 "--serve-ports", std::to_string(m_judge.Port()), "--url", m_judge.Url(), "--timeout",
                                 "10", "-o", m_dir.File("checked.txt")});
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("list.txt");
        m_serve =
            std::make_unique<test::Subprocess>(args, m_dir.Path(), m_dir.File("serve.out"), m_dir.File("serve.err"));
        ASSERT_TRUE(test::WaitForFileText(m_dir.File("serve.err"), "serving 127.0.0.1", std::chrono::seconds(60)))
            << m_dir.Read("serve.err");
        const std::string live = std::to_string(entries.size());
        ASSERT_NE(m_dir.Read("serve.err").find(" live " + live + "/" + live + " "), std::string::npos)
            << m_dir.Read("serve.err");
    }

    // What curl fetched through the serve, `how` naming the way in.
    std::string Curl(const std::string& how, const std::string& url, const std::vector<std::string>& extra = {}) {
        const std::string serve = "127.0.0.1:" + std::to_string(m_servePort);
        std::vector<std::string> args{kCurl, "-sS", "--max-time", "30"};
        args.insert(args.end(), extra.begin(), extra.end());
        if (how == "http" || how == "connect") {
            args.insert(args.end(), {"-x", "http://" + serve});
            if (how == "connect") {
                args.push_back("-p");
            }
        } else {
            args.insert(args.end(), {how == "socks4" ? "--socks4" : "--socks5-hostname", serve});
        }
        args.push_back(url);
        test::Subprocess curl(args, m_dir.Path(), m_dir.File("curl.out"), m_dir.File("curl.err"));
        EXPECT_EQ(curl.Wait(), 0) << how << " " << url << ": " << m_dir.Read("curl.err");
        return m_dir.Read("curl.out");
    }

    int m_servePort = 0;
    std::unique_ptr<test::Subprocess> m_serve;
};

TEST_F(ServeCheckTest, EveryClientProtocolThroughEveryRealUpstream) {
    StartTinyproxy("BasicAuth user tinypass\n");
    const std::string dante = StartDante();
    const std::string squid = StartSquidUpstream();
    ASSERT_FALSE(squid.empty()) << "squid could not be started: " << m_dir.Read("squid.err");
    const std::vector<std::string> upstreams = {
        "user:tinypass@" + TinyproxyAddress(),
        "socks5://user:p%40ss@" + StartMicrosocks("user", "p@ss"),
        "socks5://" + dante,
        "socks4://" + dante,
        squid,
    };
    for (const std::string& upstream : upstreams) {
        StartServe(upstream);
        for (const char* how : {"http", "connect", "socks5", "socks4"}) {
            const std::string page = Curl(how, m_judge.Url());
            EXPECT_NE(page.find("REMOTE_ADDR=127.0.0.1"), std::string::npos) << upstream << " " << how << ": " << page;
        }
        TearDown();
        m_serve.reset();
    }
}

// A download far past what the serve buffers, through a CONNECT tunnel to tinyproxy, curl the client: every byte in
// its place, whether the tunnel copies or splices, and its end passed on as the download's own.
TEST_F(ServeCheckTest, LargeDownloadThroughATunnelArrivesWhole) {
    constexpr std::size_t kSize = std::size_t{48} * 1024 * 1024;
    std::string block(std::size_t{251} * 1024, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(i % 251);
    }
    test::LoopbackServer origin([&](test::ServerConnection& connection) {
        if (!connection.ReadRequestHead() ||
            !connection.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kSize) + "\r\n\r\n")) {
            return;
        }
        for (std::size_t sent = 0; sent < kSize; sent += block.size()) {
            if (!connection.Send(std::string_view(block).substr(0, std::min(block.size(), kSize - sent)))) {
                return;
            }
        }
        connection.FinishSending();
    });
    StartTinyproxy();
    StartServe({TinyproxyAddress()}, {}, {"--serve-ports", std::to_string(origin.Port())});
    const std::string body = Curl("connect", "http://127.0.0.1:" + std::to_string(origin.Port()) + "/big");
    ASSERT_EQ(body.size(), kSize);
    std::size_t misplaced = 0;
    for (std::size_t i = 0; i < body.size(); ++i) {
        misplaced += static_cast<unsigned char>(body[i]) != i % 251 ? 1 : 0;
    }
    EXPECT_EQ(misplaced, 0U);
}

TEST_F(ServeCheckTest, PassesANameOnUnresolved) {
    test::SocksRelay relay(m_judge.Port());
    // The upstream's own name is the list's, looked up by the check and the pool as the log shows.
    StartServe("socks5://relay.v4.test:" + std::to_string(relay.Port()));
    const std::string url = "http://only.upstream.test:" + std::to_string(m_judge.Port()) + "/envchk.cgi";
    for (const char* how : {"socks5", "http", "connect"}) {
        const std::string page = Curl(how, url);
        EXPECT_NE(page.find("HTTP_HOST=only.upstream.test:"), std::string::npos) << how << ": " << page;
    }
    const std::vector<std::string> names = relay.Names();
    EXPECT_EQ(std::count(names.begin(), names.end(), "only.upstream.test"), 3);
    const std::string lookups = m_dir.Read("lookups");
    EXPECT_NE(lookups.find("relay.v4.test\n"), std::string::npos) << lookups;
    EXPECT_EQ(lookups.find("only.upstream.test"), std::string::npos) << lookups;
}

// A client asks in its login for a kind of upstream, and for a session of its own; every upstream it was carried
// through is in the history. tinyproxy says itself in a Via line that dante, a SOCKS server, never adds.
TEST_F(ServeCheckTest, ClientsAskForAKindInTheirLoginAndTheHistoryKeepsTheirConnections) {
    StartTinyproxy();
    StartServe({TinyproxyAddress(), "socks5://" + StartDante()}, {}, {"--history", m_dir.File("history.sqlite")});
    for (int turn = 0; turn < 3; ++turn) {
        EXPECT_EQ(Curl("http", m_judge.Url(), {"--proxy-user", "type-socks5:x"}).find("HTTP_VIA="), std::string::npos);
        EXPECT_NE(Curl("http", m_judge.Url(), {"--proxy-user", "session-a,type-http:x"}).find("HTTP_VIA="),
                  std::string::npos);
        EXPECT_NE(Curl("socks5", m_judge.Url(), {"--proxy-user", "session-b,type-http:x"}).find("REMOTE_ADDR="),
                  std::string::npos);
    }
    EXPECT_EQ(Curl("http", m_judge.Url(), {"--proxy-user", "type-socks4:x", "-o", "/dev/null", "-w", "%{http_code}"}),
              "503");
    EXPECT_EQ(Curl("http", m_judge.Url(), {"--proxy-user", "type-ftp:x", "-o", "/dev/null", "-w", "%{http_code}"}),
              "407");
    TearDown();
    m_serve.reset();
    EXPECT_NE(m_dir.Read("serve.err")
                  .find("stopped: serving 127.0.0.1:" + std::to_string(m_servePort) +
                        "  live 2/2  connections 0 (11 in all)"),
              std::string::npos)
        << m_dir.Read("serve.err");
    HistoryStore history;
    ASSERT_TRUE(history.OpenForReading(m_dir.File("history.sqlite")));
    const std::vector<ServedRecord> served = history.ServedOf(TinyproxyAddress());
    ASSERT_EQ(served.size(), 6U) << "three by HTTP, three by SOCKS5";
    EXPECT_EQ(served[0].result, kServedCarried);
    EXPECT_EQ(served[0].target, "127.0.0.1");
    EXPECT_EQ(served[0].tries, 1);
    const std::optional<HistorySummary> summary = history.SummaryOf(TinyproxyAddress());
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->checks, 1);
    EXPECT_EQ(summary->served, 6);
}

// A serve that must not start says why in one line before any proxy is checked.
TEST_F(ServeCheckTest, RefusesToStartWithoutWhatItNeeds) {
    std::uint16_t taken = 0;
    const UniqueFd holder = test::ListenLoopback(taken, 1);
    m_dir.Write("list.txt", "127.0.0.1:1\r\n");
    m_dir.Write("open.login", "me:secret\n");
    ASSERT_EQ(::chmod(m_dir.File("open.login").c_str(), 0644), 0);
    struct Row {
        std::vector<std::string> args;
        int exitCode;
        std::string said;
    };
    const std::vector<Row> rows = {
        {{"--serve", std::to_string(taken)},
         1,
         "zandel-check: cannot serve on 127.0.0.1:" + std::to_string(taken) + ": Address already in use\n"},
        {{"--serve", "0.0.0.0:19250"}, 2, "needs --serve-login-file"},
        {{"--serve", "19250", "--serve-login-file", m_dir.File("open.login")}, 2, "only its owner may read"},
        {{"--serve", "proxy.example:19250"}, 2, "--serve must be [HOST:]PORT"},
        {{"--serve-tries", "2"}, 2, "--serve-tries needs --serve"},
        {{"--serve", "--serve-tries", "0"}, 2, "--serve-tries must be"},
        {{"--serve", "19250", "--serve-ports", "80,0"}, 2, "--serve-ports must be"},
        {{"--serve", "19250", "--serve-strategy", "slowest"}, 2, "--serve-strategy must be"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"--url", m_judge.Url(), "list.txt"});
        const Outcome run = Run(args);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.said << ": " << run.err;
        EXPECT_NE(run.err.find(row.said), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("●---"), std::string::npos) << "no proxy is checked: " << run.err;
    }
}

// Each re-check renews the pool: a proxy gone since the last check is no longer offered, and the serve says so
// with 503 at once. SIGTERM ends the serve as Ctrl+C does.
TEST_F(ServeCheckTest, RecheckRenewsThePool) {
    auto upstream = std::make_unique<test::FakeProxy>(test::fake::ForwardToJudge({}));
    StartServe(upstream->Address(), {"ZANDEL_RECHECK_SECONDS=1"});
    EXPECT_NE(Curl("http", m_judge.Url()).find("REMOTE_ADDR=127.0.0.1"), std::string::npos);
    upstream.reset();
    ASSERT_TRUE(test::WaitForFileText(m_dir.File("serve.err"),
                                      "re-checked: serving 127.0.0.1:" + std::to_string(m_servePort) + "  live 0/1 "))
        << m_dir.Read("serve.err");
    EXPECT_EQ(Curl("http", m_judge.Url(), {"-o", "/dev/null", "-w", "%{http_code}"}), "503");
    m_serve->Signal(SIGTERM);
    EXPECT_EQ(m_serve->Wait(), 0);
    m_serve.reset();
}

} // namespace
} // namespace zandel
