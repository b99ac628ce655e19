// Lists fetched from loopback servers: what comes whole, and each way a server can refuse, flood, stall or
// send the fetcher in circles.
#include "core/fetch/ListFetcher.h"

#include <atomic>
#include <string>

#include <gtest/gtest.h>

#include "support/HttpHead.h"
#include "support/LoopbackServer.h"
#include "support/ServerConnection.h"
#include "support/TempDir.h"
#include "support/TestTls.h"

namespace zandel {
namespace {

using test::LoopbackServer;
using test::ServerConnection;

constexpr const char* kList = "127.0.0.1:8080\r\n# a comment\r\n127.0.0.2:3128 OK 0.100 2026/12/09(14:27:06)\r\n";

std::string Answer(const std::string& status, const std::string& headers, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// Serves by the request's path.
void Serve(ServerConnection& connection, std::uint16_t port) {
    if (!connection.ReadRequestHead()) {
        return;
    }
    test::RequestHead head;
    test::ParseRequestHead(connection.RequestHead(), head);
    const std::string self = "http://127.0.0.1:" + std::to_string(port);
    if (head.target == "/list.txt") {
        connection.Send(Answer("200 OK", "Content-Type: text/plain\r\n", kList));
    } else if (head.target == "/moved") {
        connection.Send(Answer("302 Found", "Location: " + self + "/list.txt\r\n", ""));
    } else if (head.target == "/loop") {
        connection.Send(Answer("302 Found", "Location: " + self + "/loop\r\n", ""));
    } else if (head.target == "/to-file") {
        connection.Send(Answer("302 Found", "Location: file:///etc/passwd\r\n", ""));
    } else if (head.target == "/huge" || head.target == "/huge-unsized") {
        // Without a length the cap must hold while the body flows; with one, before it does.
        const std::string chunk(64 * 1024, 'x');
        const std::size_t total = kFetchMaxBytes + chunk.size();
        connection.Send(head.target == "/huge"
                            ? "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(total) + "\r\n\r\n"
                            : std::string("HTTP/1.0 200 OK\r\n\r\n"));
        for (std::size_t sent = 0; sent < total && connection.Send(chunk); sent += chunk.size()) {
        }
    } else if (head.target == "/slow") {
        connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n127.0.0.1:1\r\n");
        while (connection.Pause(50)) {
        }
    } else {
        connection.Send(Answer("404 Not Found", "", "no such list"));
    }
}

class ListFetcherTest : public ::testing::Test {
protected:
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

    std::atomic<std::uint16_t> m_port{0};
    LoopbackServer m_server{[this](ServerConnection& connection) { Serve(connection, m_port.load()); }};
    void SetUp() override { m_port = m_server.Port(); }
};

TEST_F(ListFetcherTest, FetchesWholeAndFollowsARedirect) {
    for (const char* path : {"/list.txt", "/moved"}) {
        const FetchResult fetched = FetchUrl(Url(path));
        EXPECT_TRUE(fetched.ok) << path << ": " << fetched.error;
        EXPECT_EQ(fetched.body, kList) << path;
        EXPECT_EQ(fetched.status, 200) << path;
    }
}

TEST_F(ListFetcherTest, RefusesWhatIsNoList) {
    FetchOptions quick;
    quick.stallSeconds = 1;
    const struct {
        const char* path;
        const char* error;
        FetchFailure failure;
    } cases[] = {
        {"/missing", "answered 404", FetchFailure::HttpStatus},
        {"/loop", "more than 5 redirects", FetchFailure::Redirects},
        {"/huge", "larger than 16 MiB", FetchFailure::TooLarge},
        {"/huge-unsized", "larger than 16 MiB", FetchFailure::TooLarge},
        {"/to-file", "", FetchFailure::NotHttp}, // another protocol: refused, whatever curl calls it
        {"/slow", "", FetchFailure::TimedOut},   // a body that stops coming
    };
    for (const auto& c : cases) {
        const FetchResult fetched = FetchUrl(Url(c.path), quick);
        EXPECT_FALSE(fetched.ok) << c.path;
        EXPECT_TRUE(fetched.body.empty()) << c.path;
        EXPECT_NE(fetched.error.find(c.error), std::string::npos) << c.path << ": " << fetched.error;
        EXPECT_FALSE(fetched.error.empty()) << c.path;
        EXPECT_EQ(fetched.failure, c.failure) << c.path << ": " << fetched.error;
    }
}

// Given up from another thread while the body stalls, long before the stall would end it.
TEST(ListFetcherCancelTest, EndsWhenCancelled) {
    std::atomic<bool> cancel{false};
    LoopbackServer server([&cancel](ServerConnection& connection) {
        if (connection.ReadRequestHead()) {
            connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n127.0.0.1:1\r\n");
            cancel = true;
            while (connection.Pause(50)) {
            }
        }
    });
    FetchOptions options;
    options.cancel = &cancel;
    const FetchResult fetched = FetchUrl("http://127.0.0.1:" + std::to_string(server.Port()) + "/list.txt", options);
    EXPECT_FALSE(fetched.ok);
    EXPECT_TRUE(fetched.body.empty());
    EXPECT_EQ(fetched.failure, FetchFailure::Cancelled) << fetched.error;
}

TEST(ListFetcherTlsTest, ChecksTheCertificateAgainstTheGivenCa) {
    const test::TestCa ca;
    const test::TestCa stranger;
    const test::TlsIdentity identity = ca.Issue("127.0.0.1", "IP:127.0.0.1");
    LoopbackServer server([&identity](ServerConnection& connection) {
        test::ServeTlsHandshake(connection, identity, Answer("200 OK", "", kList));
    });
    const std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/list.txt";
    test::TempDir dir;

    FetchOptions trusted;
    trusted.caFile = dir.Write("ca.pem", ca.CertificatePem());
    const FetchResult fetched = FetchUrl(url, trusted);
    EXPECT_TRUE(fetched.ok) << fetched.error;
    EXPECT_EQ(fetched.body, kList);

    // Neither the system's store nor another CA vouches for the server.
    FetchOptions other;
    other.caFile = dir.Write("other.pem", stranger.CertificatePem());
    for (const FetchOptions& options : {FetchOptions{}, other}) {
        const FetchResult refused = FetchUrl(url, options);
        EXPECT_FALSE(refused.ok);
        EXPECT_EQ(refused.failure, FetchFailure::Certificate) << refused.error;
        EXPECT_TRUE(refused.body.empty());
    }
}

TEST(ListUrlTest, OnlyHttpAndHttpsNamesAreUrls) {
    for (const char* url : {"http://host/list.txt", "HTTPS://host/x", "Http://h"}) {
        EXPECT_TRUE(IsListUrl(url)) << url;
    }
    for (const char* path : {"list.txt", "http:/x", "ftp://host/x", "http://", "./http://x", "file:///x"}) {
        EXPECT_FALSE(IsListUrl(path)) << path;
    }
}

} // namespace
} // namespace zandel
