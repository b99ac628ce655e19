// Lists fetched from loopback servers: what comes whole, and each way a server can refuse, flood, stall or
// send the fetcher in circles.
#include "core/fetch/ListFetcher.h"

#include <atomic>
#include <cstring>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include <netinet/in.h>

#include "support/FakeProxy.h"
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
    } else if (head.target == "/drip") {
        // Never slow enough for the stall to end it: only the whole fetch's time does.
        connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        while (connection.Send("x") && connection.Pause(500)) {
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
        {"/to-file", "redirected to file:///etc/passwd", FetchFailure::NotHttp}, // named as the redirect it is
        {"/slow", "", FetchFailure::TimedOut},                                   // a body that stops coming
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

// A byte every half second is never a stall: only the whole fetch's time ends it, and it says which time ran out.
TEST_F(ListFetcherTest, ADrippingServerEndsAtTheDeadline) {
    FetchOptions options;
    options.wholeSeconds = 2;
    const FetchResult fetched = FetchUrl(Url("/drip"), options);
    EXPECT_FALSE(fetched.ok);
    EXPECT_TRUE(fetched.body.empty());
    EXPECT_EQ(fetched.failure, FetchFailure::Deadline) << fetched.error;
    EXPECT_EQ(fetched.seconds, 2);
    EXPECT_EQ(fetched.error, "gave up after 2 s without the whole list");
}

// 127.0.0.1 plays a server on the web; every other address is what it is.
AddressClass LoopbackIpv4IsPublic(const sockaddr& address) {
    sockaddr_in v4{};
    std::memcpy(&v4, &address, address.sa_family == AF_INET ? sizeof v4 : 0);
    return address.sa_family == AF_INET && v4.sin_addr.s_addr == htonl(INADDR_LOOPBACK) ? AddressClass::Public
                                                                                        : ClassOfAddress(address);
}

// A list on the web that sends the fetch (and every re-fetch) to a service of the user's own machine, here ::1.
TEST(ListFetcherRedirectTest, NeverFromThePublicIntoThisMachine) {
    std::atomic<int> localRequests{0};
    std::atomic<std::uint16_t> publicPort{0};
    std::atomic<std::uint16_t> localPort{0};
    const auto serve = [&](ServerConnection& connection, bool local) {
        if (!connection.ReadRequestHead()) {
            return;
        }
        localRequests += local ? 1 : 0;
        test::RequestHead head;
        test::ParseRequestHead(connection.RequestHead(), head);
        const std::string to = head.target == "/to-public" ? "http://127.0.0.1:" + std::to_string(publicPort.load())
                                                           : "http://[::1]:" + std::to_string(localPort.load());
        connection.Send(head.target == "/list.txt" ? Answer("200 OK", "", kList)
                                                   : Answer("302 Found", "Location: " + to + "/list.txt\r\n", ""));
    };
    LoopbackServer web([&](ServerConnection& connection) { serve(connection, false); });
    LoopbackServer own([&](ServerConnection& connection) { serve(connection, true); }, 0, test::LoopbackFamily::Ipv6);
    test::FakeProxy proxy(test::fake::ForwardToJudge({}));
    publicPort = web.Port();
    localPort = own.Port();
    const std::string webUrl = "http://127.0.0.1:" + std::to_string(web.Port());
    const std::string ownUrl = "http://[::1]:" + std::to_string(own.Port());
    const struct {
        std::string url;
        bool viaProxy;
        bool ok;
    } cases[] = {
        {webUrl + "/to-local", false, false}, // judged by the address connected to
        {webUrl + "/to-local", true, false},  // through a proxy, by the address as written
        {ownUrl + "/to-local", false, true},  // a URL that starts on this machine may stay there
        {ownUrl + "/to-public", false, true}, // and may leave it
    };
    for (const auto& c : cases) {
        FetchOptions options;
        options.classify = LoopbackIpv4IsPublic;
        if (c.viaProxy) {
            options.proxy = "http://127.0.0.1:" + proxy.PortText();
        }
        const int before = localRequests.load();
        const FetchResult fetched = FetchUrl(c.url, options);
        EXPECT_EQ(fetched.ok, c.ok) << c.url << ": " << fetched.error;
        if (c.ok) {
            EXPECT_EQ(fetched.body, kList) << c.url;
            continue;
        }
        EXPECT_EQ(fetched.failure, FetchFailure::LocalRedirect) << c.url << ": " << fetched.error;
        EXPECT_EQ(fetched.redirect, ownUrl + "/list.txt") << c.url;
        EXPECT_NE(fetched.error.find(ownUrl + "/list.txt"), std::string::npos) << fetched.error;
        EXPECT_TRUE(fetched.body.empty());
        EXPECT_EQ(localRequests.load(), before) << c.url << ": the local service was asked";
    }
}

TEST(AddressClassTest, UrlHostsAsWritten) {
    using C = AddressClass;
    const struct {
        const char* url;
        std::optional<AddressClass> expected;
    } cases[] = {
        {"http://127.0.0.1:8080/l.txt", C::Loopback},
        {"http://127.1/", C::Loopback},      // the short form
        {"http://2130706433/", C::Loopback}, // one number
        {"http://0x7f.0.0.1/", C::Loopback}, // hexadecimal
        {"http://0.0.0.0:80/", C::Loopback}, // "this host" reaches this machine
        {"http://[::1]:80/", C::Loopback},
        {"http://[::]/", C::Loopback},
        {"http://[::ffff:127.0.0.1]/", C::Loopback}, // IPv4 in IPv6 clothing
        {"http://localhost:8080/", C::Loopback},
        {"http://LocalHost./x", C::Loopback},
        {"http://api.localhost/", C::Loopback},
        {"http://user:pw@localhost/", C::Loopback},
        {"http://10.1.2.3/", C::Private},
        {"http://172.16.0.1/", C::Private},
        {"http://172.31.255.255/", C::Private},
        {"http://192.168.1.1:8080/", C::Private},
        {"http://100.64.0.1/", C::Private}, // the carriers' shared range
        {"http://[fd12::1]/", C::Private},
        {"http://[::ffff:10.0.0.1]/", C::Private},
        {"http://169.254.169.254/latest/", C::LinkLocal},
        {"http://[fe80::1%25eth0]:80/", C::LinkLocal},
        {"http://172.32.0.1/", C::Public},
        {"http://192.169.0.1/", C::Public},
        {"http://100.128.0.1/", C::Public},
        {"http://198.51.100.7/", C::Public},
        {"http://[2001:db8::1]:80/", C::Public},
        {"http://list.example/", std::nullopt}, // a name: only its address tells
        {"http://localhost.example/", std::nullopt},
        {"http://notlocalhost/", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassOfUrlHost(c.url), c.expected) << c.url;
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
