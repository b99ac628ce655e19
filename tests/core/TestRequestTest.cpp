#include "core/check/TestRequest.h"

#include <utility>

#include <gtest/gtest.h>

#include "core/settings/HttpsTarget.h"

namespace zandel {
namespace {

struct RequestCase {
    const char* name;
    const char* url;
    const char* version;
    const char* agent;
    const char* requestLine;
    const char* headers;
    bool cgi;
};

class TestRequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(TestRequestTest, BuildsLineHeadersAndCgiFlag) {
    const RequestCase& c = GetParam();
    const TestRequest request = ComposeTestRequest(c.url, c.version, c.agent);
    EXPECT_EQ(request.requestLine, c.requestLine);
    EXPECT_EQ(request.headers, c.headers);
    EXPECT_EQ(request.cgi, c.cgi);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, TestRequestTest,
    ::testing::Values(
        RequestCase{"EchoScript", "http://127.0.0.1:8080/cgi-bin/envchk.cgi", "1.0", "UA/1",
                    "http://127.0.0.1:8080/cgi-bin/envchk.cgi HTTP/1.0",
                    "User-Agent: UA/1\r\nAccept: */*\r\nHost: 127.0.0.1:8080", true},
        RequestCase{"NoPath", "http://judge.example.com", "1.1", "UA", "http://judge.example.com HTTP/1.1",
                    "User-Agent: UA\r\nAccept: */*\r\nHost: judge.example.com", false},
        RequestCase{"NoScheme", "judge.example.com/index.html", "1.0", "UA",
                    "http://judge.example.com/index.html HTTP/1.0",
                    "User-Agent: UA\r\nAccept: */*\r\nHost: judge.example.com", false},
        // Capitals do not count as the scheme: the URL gets a second one in front.
        RequestCase{"CapitalScheme", "HTTP://judge.example.com/", "1.0", "UA",
                    "http://HTTP://judge.example.com/ HTTP/1.0", "User-Agent: UA\r\nAccept: */*\r\nHost: HTTP:", false},
        // "http://" only in the query: the URL keeps its beginning, and its first seven bytes are cut for Host.
        RequestCase{"SchemeInQuery", "www.example.com/a?u=http://x", "1.0", "UA",
                    "www.example.com/a?u=http://x HTTP/1.0", "User-Agent: UA\r\nAccept: */*\r\nHost: mple.com", false},
        RequestCase{"CgiInHostOnly", "http://cgi.example.com/index.html", "1.0", "UA",
                    "http://cgi.example.com/index.html HTTP/1.0",
                    "User-Agent: UA\r\nAccept: */*\r\nHost: cgi.example.com", true},
        // An IPv6 judge: the absolute URL as it is, the Host line with the brackets and the port.
        RequestCase{"Ipv6Judge", "http://[::1]:8080/cgi-bin/envchk.cgi", "1.1", "UA",
                    "http://[::1]:8080/cgi-bin/envchk.cgi HTTP/1.1",
                    "User-Agent: UA\r\nAccept: */*\r\nHost: [::1]:8080", true},
        RequestCase{"EmptyUserAgent", "http://h/", "1.0", "", "http://h/ HTTP/1.0",
                    "User-Agent: Mozilla/4.0 (compatible; MSIE 5.0; Windows 98)\r\nAccept: */*\r\nHost: h", false}),
    [](const auto& info) { return std::string(info.param.name); });

// Without a target of its own the HTTPS step tunnels to the access URL's host on 443; an IPv6 host keeps its
// brackets, whose colons are not the port's.
TEST(DefaultTunnelTargetTest, AccessUrlHostOnPort443) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://127.0.0.1:8080/cgi-bin/envchk.cgi", "127.0.0.1:443"},
        {"judge.example.com/index.html", "judge.example.com:443"},
        {"http://[::1]:8080/cgi-bin/envchk.cgi", "[::1]:443"},
        {"http://[2001:db8::1]/", "[2001:db8::1]:443"},
        {"[2001:db8::2]:80", "[2001:db8::2]:443"},
    };
    for (const auto& [url, target] : cases) {
        const std::optional<HttpsTargetAddress> effective = EffectiveHttpsTarget("", AccessUrlHost(url));
        ASSERT_TRUE(effective.has_value()) << url;
        EXPECT_EQ(effective->Authority(), target) << url;
        EXPECT_TRUE(ParseHttpsTarget(target).has_value()) << target;
    }
}

// The request made straight to the judge goes where the URL points, in origin form, with the headers the proxies get.
TEST(DirectRequestTest, GoesToTheUrlsHostInOriginForm) {
    struct Case {
        const char* url;
        const char* address;
        const char* firstLine;
    };
    const Case cases[] = {
        {"127.0.0.1:8080/cgi-bin/envchk.cgi", "127.0.0.1:8080", "GET /cgi-bin/envchk.cgi HTTP/1.0"},
        {"http://[::1]/judge.cgi?zandel-nonce=ab", "[::1]:80", "GET /judge.cgi?zandel-nonce=ab HTTP/1.0"},
        {"http://judge.example", "judge.example:80", "GET / HTTP/1.0"},
        {"http://judge.example?x=1", "judge.example:80", "GET /?x=1 HTTP/1.0"},
        {"http://me@[::1]:81/a b.cgi", "[::1]:81", "GET /a b.cgi HTTP/1.0"},
    };
    for (const Case& c : cases) {
        const std::optional<DirectRequest> direct = ComposeDirectRequest(c.url, "1.0", "");
        ASSERT_TRUE(direct.has_value()) << c.url;
        EXPECT_EQ(direct->address, c.address) << c.url;
        EXPECT_EQ(direct->request.substr(0, direct->request.find("\r\n")), c.firstLine) << c.url;
        EXPECT_EQ(direct->request.substr(direct->request.size() - 4), "\r\n\r\n") << c.url;
    }
    EXPECT_FALSE(ComposeDirectRequest("http:///x.cgi", "1.0", "").has_value());
}

} // namespace
} // namespace zandel
