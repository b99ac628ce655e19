// The serve (core/serve) in the process, against fake upstreams on loopback: what each kind of client greeting
// is answered, failover from an upstream that refuses, black-holes or turns the target away, the retry rule of
// plain requests, and what the pool learns of its upstreams.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>

#include "core/check/ProbeAddress.h"
#include "core/serve/ProxyServer.h"
#include "core/serve/ServePool.h"
#include "core/serve/UpstreamDialog.h"
#include "support/EchoJudge.h"
#include "support/FakeProxy.h"
#include "support/Loopback.h"

namespace zandel {
namespace {

using namespace std::string_literals;
using test::FakeProxy;
namespace fake = test::fake;
using Clock = ServePool::Clock;

Upstream UpstreamAt(std::uint16_t port, ProxyKind kind, int responseMs, bool mitm = false) {
    Upstream upstream;
    upstream.key = upstream.shown = "127.0.0.1:" + std::to_string(port);
    upstream.kind = kind;
    LiteralProbeHost("127.0.0.1", port, upstream.addresses);
    upstream.responseMs = responseMs;
    upstream.mitm = mitm;
    return upstream;
}

ClientTarget TargetOf(const char* host, HostForm form = HostForm::Name) {
    ClientTarget target;
    target.host = host;
    target.form = form;
    target.port = 443;
    return target;
}

// Sends `bytes` and reads until the serve closes (a bound only against a hang, never a measure).
std::string Exchange(std::uint16_t port, const std::string& bytes, const std::string& then = "") {
    const UniqueFd client = test::ConnectLoopback(port);
    EXPECT_TRUE(client.IsOpen());
    test::SendAll(client.Get(), bytes);
    std::string received;
    bool thenSent = then.empty();
    char buffer[4096];
    pollfd wait{client.Get(), POLLIN, 0};
    while (::poll(&wait, 1, 20000) > 0) {
        const ssize_t got = ::recv(client.Get(), buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        received.append(buffer, static_cast<std::size_t>(got));
        if (!thenSent) {
            // What goes through the tunnel once it is open.
            test::SendAll(client.Get(), then);
            thenSent = true;
        }
    }
    return received;
}

struct ServeRig {
    explicit ServeRig(ServeConfig wanted) : config(std::move(wanted)), pool(config, 1), server(config, pool) {
        server.RecordServed([this](ServedRecord record) {
            const std::lock_guard lock(mutex);
            served.push_back(std::move(record));
        });
        std::string error;
        EXPECT_TRUE(server.Listen(error)) << error;
        EXPECT_TRUE(server.Start());
    }
    // "NG 1, OK 2": each upstream tried as the history would keep it, its result and its try.
    std::string Served() {
        const std::lock_guard lock(mutex);
        std::string text;
        for (const ServedRecord& record : served) {
            text += (text.empty() ? "" : ", ") + record.result + " " + std::to_string(record.tries);
        }
        return text;
    }
    ServeConfig config;
    ServePool pool;
    ProxyServer server;
    std::mutex mutex;
    std::vector<ServedRecord> served;
};

ServeConfig Config(std::vector<std::uint16_t> ports = {80, 443}) {
    ServeConfig config;
    config.port = 0;
    config.ports = std::move(ports);
    config.timeOutSeconds = 2;
    config.strategy = ServeStrategy::Fastest;
    config.stickyMinutes = 0;
    return config;
}

const std::string kSocks5Hello = "\x05\x01\x00"s;
const std::string kSocks5Login = "\x05\x01\x02"s;
const std::string kSocks5Both = "\x05\x02\x00\x02"s;
const std::string kSocks5Request = "\x05\x01\x00\x03\x01x\x01\xbb"s;

std::string Basic(const char* encoded) {
    return std::string("Proxy-Authorization: Basic ") + encoded + "\r\n\r\n";
}

struct GreetingRow {
    const char* what;
    bool login;
    std::string sent;
    std::string answerStart;
};

class ServeGreetingTest : public ::testing::TestWithParam<GreetingRow> {};

// With an empty pool: every refusal that comes before an upstream is asked for, and the empty pool's own.
TEST_P(ServeGreetingTest, AnswersInTheClientsProtocol) {
    const GreetingRow& row = GetParam();
    ServeConfig config = Config();
    if (row.login) {
        config.login = ServeLogin{"me", "secret"};
    }
    ServeRig rig(config);
    EXPECT_EQ(Exchange(rig.server.Port(), row.sent).substr(0, row.answerStart.size()), row.answerStart) << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ServeGreetingTest,
    ::testing::Values(
        GreetingRow{"TLS to the proxy port", false, "\x16\x03\x01\x00\x05hello"s, "HTTP/1.1 400 "},
        GreetingRow{"lower-case method", false, "get http://a/ HTTP/1.1\r\n\r\n", "HTTP/1.1 400 "},
        GreetingRow{"origin form", false, "GET / HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 400 "},
        GreetingRow{"https absolute form", false, "GET https://a/ HTTP/1.1\r\n\r\n", "HTTP/1.1 400 "},
        GreetingRow{"1 MB request line", false, "GET http://a/" + std::string(1 << 20, 'x'), "HTTP/1.1 431 "},
        GreetingRow{"CONNECT to port 25", false, "CONNECT 127.0.0.1:25 HTTP/1.1\r\n\r\n", "HTTP/1.1 403 "},
        GreetingRow{"plain request to port 22", false, "GET http://a:22/ HTTP/1.1\r\n\r\n", "HTTP/1.1 403 "},
        GreetingRow{"empty pool, CONNECT", false, "CONNECT a.example:443 HTTP/1.1\r\n\r\n", "HTTP/1.1 503 "},
        GreetingRow{"empty pool, GET", false, "GET http://a.example/ HTTP/1.1\r\n\r\n", "HTTP/1.1 503 "},
        GreetingRow{"SOCKS5 BIND", false, kSocks5Hello + "\x05\x02\x00\x01\x7f\x00\x00\x01\x00\x50"s,
                    "\x05\x00\x05\x07"s},
        GreetingRow{"SOCKS5 UDP ASSOCIATE", false, kSocks5Hello + "\x05\x03\x00\x01\x7f\x00\x00\x01\x00\x50"s,
                    "\x05\x00\x05\x07"s},
        GreetingRow{"SOCKS5 address type 9", false, kSocks5Hello + "\x05\x01\x00\x09\x00\x50"s, "\x05\x00\x05\x08"s},
        GreetingRow{"SOCKS5 to port 22", false, kSocks5Hello + "\x05\x01\x00\x03\x01x\x00\x16"s, "\x05\x00\x05\x02"s},
        GreetingRow{"SOCKS5, empty pool", false, kSocks5Hello + "\x05\x01\x00\x03\x01x\x01\xbb"s, "\x05\x00\x05\x01"s},
        GreetingRow{"SOCKS4 BIND", false, "\x04\x02\x00\x50\x7f\x00\x00\x01\x00"s, "\x00\x5b"s},
        GreetingRow{"SOCKS4a, empty pool", false, "\x04\x01\x01\xbb\x00\x00\x00\x01\x00x\x00"s, "\x00\x5b"s},
        GreetingRow{"login: SOCKS5 without it", true, kSocks5Hello, "\x05\xff"s},
        GreetingRow{"login: SOCKS5 wrong password", true, kSocks5Login + "\x01\x02me\x05wrong"s, "\x05\x02\x01\x01"s},
        GreetingRow{"login: SOCKS5 right, empty pool", true,
                    kSocks5Login + "\x01\x02me\x06secret\x05\x01\x00\x03\x01x\x01\xbb"s, "\x05\x02\x01\x00\x05\x01"s},
        GreetingRow{"login: SOCKS4", true, "\x04\x01\x01\xbb\x7f\x00\x00\x01\x00"s, "\x00\x5b"s},
        GreetingRow{"login: HTTP without it", true, "GET http://a/ HTTP/1.1\r\n\r\n", "HTTP/1.1 407 "},
        GreetingRow{"login: HTTP wrong", true,
                    "GET http://a/ HTTP/1.1\r\nProxy-Authorization: Basic bWU6d3Jvbmc=\r\n\r\n", "HTTP/1.1 407 "},
        GreetingRow{"login: HTTP right, empty pool", true,
                    "GET http://a/ HTTP/1.1\r\nProxy-Authorization: Basic bWU6c2VjcmV0\r\n\r\n", "HTTP/1.1 503 "},
        GreetingRow{"wishes: HTTP", false, "GET http://a/ HTTP/1.1\r\n" + Basic("c2Vzc2lvbi1hLHR5cGUtc29ja3M1Ong="),
                    "HTTP/1.1 503 "},
        GreetingRow{"wishes: HTTP unknown kind", false, "GET http://a/ HTTP/1.1\r\n" + Basic("dHlwZS1mdHA6eA=="),
                    "HTTP/1.1 407 "},
        GreetingRow{"wishes: HTTP login for a proxy further on", false,
                    "GET http://a/ HTTP/1.1\r\n" + Basic("c29tZW9uZTplbHNl"), "HTTP/1.1 503 "},
        GreetingRow{"wishes: HTTP after the login", true,
                    "GET http://a/ HTTP/1.1\r\n" + Basic("bWUsc2Vzc2lvbi1hOnNlY3JldA=="), "HTTP/1.1 503 "},
        GreetingRow{"wishes: HTTP, wrong password", true,
                    "GET http://a/ HTTP/1.1\r\n" + Basic("bWUsc2Vzc2lvbi1hOndyb25n"), "HTTP/1.1 407 "},
        GreetingRow{"wishes: SOCKS5", false, kSocks5Both + "\x01\x09session-a\x01x"s + kSocks5Request,
                    "\x05\x02\x01\x00\x05\x01"s},
        GreetingRow{"wishes: SOCKS5 unknown kind", false, kSocks5Both + "\x01\x08type-ftp\x01x"s + kSocks5Request,
                    "\x05\x02\x01\x01"s},
        GreetingRow{"wishes: SOCKS5 after the login", true,
                    kSocks5Login + "\x01\x0eme,type-socks5\x06secret"s + kSocks5Request, "\x05\x02\x01\x00\x05\x01"s}));

// Past its most clients the serve still answers, in each client's protocol, that it is full.
TEST(ServeBusyTest, TellsTheClientPastTheLimit) {
    ServeConfig config = Config();
    config.maxClients = 1;
    ServeRig rig(config);
    const UniqueFd holder = test::ConnectLoopback(rig.server.Port());
    test::SendAll(holder.Get(), "GET http://a");
    for (int turn = 0; turn < 1000 && rig.server.Status().open < 1; ++turn) {
        ::poll(nullptr, 0, 10);
    }
    ASSERT_EQ(rig.server.Status().open, 1);
    EXPECT_EQ(Exchange(rig.server.Port(), "CONNECT a.example:443 HTTP/1.1\r\n\r\n").substr(0, 13), "HTTP/1.1 503 ");
    EXPECT_EQ(Exchange(rig.server.Port(), kSocks5Hello + "\x05\x01\x00\x03\x01x\x01\xbb"s),
              "\x05\x00\x05\x01\x00\x01"s + std::string(6, '\0'));
}

// A greeting that has not come whole in its time (a slowloris client) is dropped without a word; the time is set
// to nothing here, so that no test waits for it.
TEST(ServeBusyTest, DropsAGreetingPastItsTime) {
    ServeConfig config = Config();
    config.greetingSeconds = 0;
    ServeRig rig(config);
    EXPECT_EQ(Exchange(rig.server.Port(), "GET http://a"), "");
    EXPECT_EQ(Exchange(rig.server.Port(), kSocks5Hello), "");
}

// Bytes a client sends right after its request (a TLS hello, a request body) are the target's, however many.
TEST(ServeDialogTest, LeavesEarlyBytesToTheTarget) {
    const ServeConfig config = Config();
    const std::string early(600, '\x16');
    for (const std::string& request : {"\x04\x01\x01\xbb\x7f\x00\x00\x01me\x00"s,
                                       "\x04\x01\x01\xbb\x00\x00\x00\x01\x00"
                                       "a.example\x00"s,
                                       "\x05\x01\x00\x03\x09"
                                       "a.example\x01\xbb"s,
                                       "CONNECT a.example:443 HTTP/1.1\r\n\r\n"s,
                                       "POST http://a.example/ HTTP/1.1\r\nContent-Length: 600\r\n\r\n"s}) {
        ClientDialog dialog(config);
        std::string in = request.substr(0, 1) == "\x05" ? kSocks5Hello + request + early : request + early;
        ClientDialog::Step step = dialog.Feed(in);
        if (step.kind == ClientDialog::Step::Kind::Reply) {
            step = dialog.Feed(in);
        }
        EXPECT_EQ(step.kind, ClientDialog::Step::Kind::Target) << request;
        EXPECT_EQ(in, early) << request;
    }
}

// SOCKS4's user id and 4a's host hold at most 255 bytes, whether the request comes whole or a byte at a time.
TEST(ServeDialogTest, LimitsSocks4FieldsHoweverTheyCome) {
    const ServeConfig config = Config();
    const std::string v4 = "\x04\x01\x00\x50\x7f\x00\x00\x01"s;
    const std::string v4a = "\x04\x01\x00\x50\x00\x00\x00\x01"s;
    struct Row {
        std::string request;
        ClientDialog::Step::Kind kind;
    };
    for (const Row& row : {Row{v4 + std::string(255, 'u') + '\0', ClientDialog::Step::Kind::Target},
                           Row{v4 + std::string(256, 'u') + '\0', ClientDialog::Step::Kind::Refuse},
                           Row{v4a + '\0' + std::string(255, 'h') + '\0', ClientDialog::Step::Kind::Target},
                           Row{v4a + '\0' + std::string(256, 'h') + '\0', ClientDialog::Step::Kind::Refuse}}) {
        for (const bool byteByByte : {false, true}) {
            ClientDialog dialog(config);
            std::string in;
            ClientDialog::Step step;
            for (std::size_t at = 0; at < row.request.size() && step.kind == ClientDialog::Step::Kind::More;) {
                const std::size_t take = byteByByte ? 1 : row.request.size();
                in += row.request.substr(at, take);
                at += take;
                step = dialog.Feed(in);
            }
            EXPECT_EQ(step.kind, row.kind) << row.request.size() << (byteByByte ? " byte by byte" : " whole");
        }
    }
}

// What the serve says to each kind of upstream, and whom each answer blames: the upstream as a whole, or only the
// target (which keeps the upstream for other sites).
struct UpstreamRow {
    const char* what;
    ProxyKind kind;
    bool login;
    const char* host;
    HostForm form;
    std::string said;   // every message to the upstream, in order
    std::string answer; // the upstream's answers, all at once
    UpstreamDialog::Step::Kind end;
    Blame blame;
};

class ServeUpstreamTest : public ::testing::TestWithParam<UpstreamRow> {};

TEST_P(ServeUpstreamTest, SpeaksEachKindAndBlamesRightly) {
    const UpstreamRow& row = GetParam();
    const ProxyLogin login{row.login, "u", "pw"};
    ClientTarget target = TargetOf(row.host, row.form);
    UpstreamDialog dialog(row.kind, login, target, false);
    std::string said = dialog.Opening();
    std::string in = row.answer;
    UpstreamDialog::Step step = dialog.Feed(in);
    while (step.kind == UpstreamDialog::Step::Kind::Send) {
        said += step.bytes;
        step = dialog.Feed(in);
    }
    EXPECT_EQ(said, row.said) << row.what;
    EXPECT_EQ(step.kind, row.end) << row.what;
    if (step.kind == UpstreamDialog::Step::Kind::Failed) {
        EXPECT_EQ(step.blame, row.blame) << row.what;
    }
}

using End = UpstreamDialog::Step::Kind;
const std::string kConnectName = "CONNECT a.example:443 HTTP/1.1\r\nHost: a.example:443\r\n\r\n";
const std::string kSocks5Name = "\x05\x01\x00\x05\x01\x00\x03\x09"
                                "a.example\x01\xbb"s;
const std::string kGranted = "\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50"s;

INSTANTIATE_TEST_SUITE_P(
    Rows, ServeUpstreamTest,
    ::testing::Values(
        UpstreamRow{"CONNECT, 100 then 200", ProxyKind::Http, false, "a.example", HostForm::Name, kConnectName,
                    "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\n", End::Through, Blame::Proxy},
        UpstreamRow{"CONNECT with a login", ProxyKind::Http, true, "::1", HostForm::Ipv6,
                    "CONNECT [::1]:443 HTTP/1.1\r\nHost: [::1]:443\r\nProxy-Authorization: Basic dTpwdw==\r\n\r\n",
                    "HTTP/1.0 200 OK\r\n\r\n", End::Through, Blame::Proxy},
        UpstreamRow{"CONNECT 403", ProxyKind::Http, false, "a.example", HostForm::Name, kConnectName,
                    "HTTP/1.1 403 Forbidden\r\n\r\n", End::Failed, Blame::Target},
        UpstreamRow{"CONNECT 407", ProxyKind::Http, false, "a.example", HostForm::Name, kConnectName,
                    "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n", End::Failed, Blame::Proxy},
        UpstreamRow{"CONNECT answered by no HTTP", ProxyKind::Http, false, "a.example", HostForm::Name, kConnectName,
                    "SSH-2.0-OpenSSH\r\n\r\n", End::Failed, Blame::Proxy},
        UpstreamRow{"SOCKS5 name as a name", ProxyKind::Socks5, false, "a.example", HostForm::Name, kSocks5Name,
                    "\x05\x00"s + kGranted, End::Through, Blame::Proxy},
        UpstreamRow{"SOCKS5 IPv4 with a login", ProxyKind::Socks5, true, "127.0.0.1", HostForm::Ipv4,
                    "\x05\x02\x00\x02\x01\x01u\x02pw\x05\x01\x00\x01\x7f\x00\x00\x01\x01\xbb"s,
                    "\x05\x02\x01\x00"s + kGranted, End::Through, Blame::Proxy},
        UpstreamRow{"SOCKS5 login refused", ProxyKind::Socks5, true, "a.example", HostForm::Name,
                    "\x05\x02\x00\x02\x01\x01u\x02pw"s, "\x05\x02\x01\x01"s, End::Failed, Blame::Proxy},
        UpstreamRow{"SOCKS5 host unreachable", ProxyKind::Socks5, false, "a.example", HostForm::Name, kSocks5Name,
                    "\x05\x00\x05\x04"s, End::Failed, Blame::Target},
        UpstreamRow{"SOCKS4a name", ProxyKind::Socks4a, true, "a.example", HostForm::Name,
                    "\x04\x01\x01\xbb\x00\x00\x00\x01u\x00"
                    "a.example\x00"s,
                    "\x00\x5a\x00\x00\x00\x00\x00\x00"s, End::Through, Blame::Proxy},
        UpstreamRow{"SOCKS4 rejected", ProxyKind::Socks4, false, "127.0.0.1", HostForm::Ipv4,
                    "\x04\x01\x01\xbb\x7f\x00\x00\x01\x00"s, "\x00\x5b\x00\x00\x00\x00\x00\x00"s, End::Failed,
                    Blame::Target}));

// The first upstream fails before the client has heard anything; the second carries the tunnel.
struct FailoverRow {
    const char* what;
    test::FakeScript first;
    ProxyKind firstKind;
    const char* served;
};

class ServeFailoverTest : public ::testing::TestWithParam<FailoverRow> {};

TEST_P(ServeFailoverTest, TunnelGoesThroughTheNextUpstream) {
    const FailoverRow& row = GetParam();
    test::EchoJudge origin;
    FakeProxy first(row.first);
    FakeProxy second(fake::ForwardToJudge({}));
    ServeRig rig(Config({origin.Port()}));
    rig.pool.Replace({UpstreamAt(first.Port(), row.firstKind, 1), UpstreamAt(second.Port(), ProxyKind::Http, 5)}, 2);
    const std::string target = "127.0.0.1:" + std::to_string(origin.Port());
    const std::string answer = Exchange(rig.server.Port(), "CONNECT " + target + " HTTP/1.1\r\n\r\n",
                                        "GET /envchk.cgi HTTP/1.0\r\nHost: " + target + "\r\n\r\n");
    EXPECT_EQ(answer.substr(0, 35), "HTTP/1.1 200 Connection established") << row.what;
    EXPECT_NE(answer.find("REMOTE_ADDR=127.0.0.1"), std::string::npos) << row.what << ": " << answer;
    EXPECT_EQ(rig.server.Status().failures, 1) << row.what;
    EXPECT_EQ(rig.Served(), row.served) << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ServeFailoverTest,
    ::testing::Values(FailoverRow{"refuses", fake::Refuse(), ProxyKind::Http, "NG 1, OK 2"},
                      FailoverRow{"black-holes", fake::NeverAnswer(), ProxyKind::Http, "NG 1, OK 2"},
                      FailoverRow{"drips its answer", fake::Drip("HTTP/1.1 200 Connection established\r\n\r\n", 100),
                                  ProxyKind::Http, "NG 1, OK 2"},
                      FailoverRow{"answers CONNECT 403",
                                  {fake::Read(), fake::Send("HTTP/1.1 403 Forbidden\r\n\r\n"), fake::Close()},
                                  ProxyKind::Http,
                                  "NG(Target) 1, OK 2"},
                      FailoverRow{"answers no HTTP",
                                  {fake::Read(), fake::Send("SSH-2.0-x\r\n\r\n"), fake::Close()},
                                  ProxyKind::Http,
                                  "NG 1, OK 2"},
                      FailoverRow{"closes at once", {fake::Close()}, ProxyKind::Http, "NG 1, OK 2"},
                      FailoverRow{"SOCKS5 refuses the target",
                                  {fake::ReadBytes(3), fake::Send("\x05\x00"s), fake::ReadBytes(3 + 10),
                                   fake::Send("\x05\x05\x00\x01\x00\x00\x00\x00\x00\x00"s), fake::Close()},
                                  ProxyKind::Socks5,
                                  "NG(Target) 1, OK 2"},
                      FailoverRow{"SOCKS5 wants a login",
                                  {fake::ReadBytes(3), fake::Send("\x05\xff"s), fake::Close()},
                                  ProxyKind::Socks5,
                                  "NG 1, OK 2"},
                      FailoverRow{"SOCKS4 rejects",
                                  {fake::ReadBytes(9), fake::Send("\x00\x5b\x00\x00\x00\x00\x00\x00"s), fake::Close()},
                                  ProxyKind::Socks4,
                                  "NG(Target) 1, OK 2"}));

// An upstream that spoils what it carries: a plain answer that is no HTTP goes elsewhere at once; a tunnel's first
// answer to a TLS hello that is no TLS, or a client that refuses the certificate it was shown, cannot be taken back
// from the client, but keeps the upstream from the next connection.
struct SpoiltRow {
    const char* what;
    test::FakeScript first;
    bool tunnel;
    std::string reply; // the client's answer to the server's first TLS bytes
    const char* firstAnswer;
    const char* served;
};

class ServeSpoiltTest : public ::testing::TestWithParam<SpoiltRow> {};

// Sends `bytes`, then `reply` once the serve has passed on a TLS server's first bytes, and reads until the close.
std::string Converse(std::uint16_t port, const std::string& bytes, const std::string& reply) {
    const UniqueFd client = test::ConnectLoopback(port);
    test::SendAll(client.Get(), bytes);
    std::string received;
    char buffer[4096];
    pollfd wait{client.Get(), POLLIN, 0};
    while (::poll(&wait, 1, 20000) > 0) {
        const ssize_t got = ::recv(client.Get(), buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        received.append(buffer, static_cast<std::size_t>(got));
        if (!reply.empty() && received.find("\x16\x03\x03"s) != std::string::npos) {
            test::SendAll(client.Get(), reply);
            break;
        }
    }
    return received;
}

TEST_P(ServeSpoiltTest, KeepsTheUpstreamFromWhatComesNext) {
    const SpoiltRow& row = GetParam();
    test::EchoJudge origin;
    FakeProxy first(row.first);
    FakeProxy second(fake::ForwardToJudge({}));
    ServeRig rig(Config({origin.Port()}));
    rig.pool.Replace({UpstreamAt(first.Port(), ProxyKind::Http, 1), UpstreamAt(second.Port(), ProxyKind::Http, 5)}, 2);
    const std::string target = "127.0.0.1:" + std::to_string(origin.Port());
    const std::string connect = "CONNECT " + target + " HTTP/1.1\r\n\r\n";
    const std::string sent = row.tunnel ? connect + "\x16\x03\x01\x00\x05hello"s
                                        : "GET " + origin.Url() + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n";
    const std::string answer = Converse(rig.server.Port(), sent, row.reply);
    EXPECT_EQ(answer.substr(0, std::string_view(row.firstAnswer).size()), row.firstAnswer)
        << row.what << ": " << answer;
    EXPECT_EQ(answer.find("garbage"), std::string::npos) << row.what;
    const std::string next =
        Exchange(rig.server.Port(), connect, "GET /envchk.cgi HTTP/1.0\r\nHost: " + target + "\r\n\r\n");
    EXPECT_NE(next.find("REMOTE_ADDR=127.0.0.1"), std::string::npos) << row.what << ": " << next;
    EXPECT_EQ(rig.server.Status().failures, 1) << row.what;
    EXPECT_EQ(rig.Served(), row.served) << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ServeSpoiltTest,
    ::testing::Values(SpoiltRow{"plain answer of garbage",
                                {fake::Read(), fake::Send("garbage\r\n\r\n"), fake::Close()},
                                false,
                                "",
                                "HTTP/1.0 200",
                                "NG 1, OK 2, OK 1"},
                      SpoiltRow{"tunnel granted, then garbage",
                                {fake::Read(), fake::Send("HTTP/1.1 200 OK\r\n\r\ngarbage"), fake::Close()},
                                true,
                                "",
                                "",
                                "NG 1, OK 1"},
                      SpoiltRow{
                          "tunnel whose certificate the client refuses",
                          {fake::Read(), fake::Send("HTTP/1.1 200 OK\r\n\r\n\x16\x03\x03\x00\x02hi"s), fake::Silent()},
                          true,
                          "\x15\x03\x03\x00\x02\x02\x30"s,
                          "HTTP/1.1 200 Connection established",
                          "NG(Target) 1, OK 1"}));

// A plain request whose first upstream takes it and closes without a word: tried again only when asking twice
// does no harm.
struct PlainRow {
    const char* method;
    const char* answerStart;
    std::size_t secondHeard;
};

class ServePlainRetryTest : public ::testing::TestWithParam<PlainRow> {};

TEST_P(ServePlainRetryTest, RetriesOnlyIdempotentRequests) {
    const PlainRow& row = GetParam();
    test::EchoJudge origin;
    FakeProxy first({fake::Read(), fake::Close()});
    FakeProxy second(fake::ForwardToJudge({}));
    ServeRig rig(Config({origin.Port()}));
    rig.pool.Replace({UpstreamAt(first.Port(), ProxyKind::Http, 1), UpstreamAt(second.Port(), ProxyKind::Http, 5)}, 2);
    const std::string answer =
        Exchange(rig.server.Port(), std::string(row.method) + " " + origin.Url() +
                                        " HTTP/1.1\r\nHost: x\r\n"
                                        "Content-Length: 0\r\nProxy-Connection: keep-alive\r\n\r\n");
    EXPECT_EQ(answer.substr(0, 12), row.answerStart) << row.method << ": " << answer;
    EXPECT_TRUE(first.WaitForFinished(1));
    second.WaitForFinished(row.secondHeard);
    EXPECT_EQ(second.Received().size(), row.secondHeard) << row.method;
    if (row.secondHeard > 0) {
        // One request a connection, said so; the hop's own wishes are not passed on.
        const std::string heard = second.Received()[0];
        EXPECT_NE(heard.find("\r\nConnection: close\r\n"), std::string::npos) << heard;
        EXPECT_EQ(heard.find("Proxy-Connection"), std::string::npos) << heard;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ServePlainRetryTest,
                         ::testing::Values(PlainRow{"GET", "HTTP/1.0 200", 1}, PlainRow{"HEAD", "HTTP/1.0 200", 1},
                                           PlainRow{"POST", "HTTP/1.1 502", 0}));

std::string Chosen(ServePool& pool, const ClientTarget& target, Clock::time_point now, bool tunnel = true,
                   std::vector<std::string> tried = {}) {
    const UpstreamRef chosen = pool.Choose({target, tunnel, "127.0.0.9", std::move(tried)}, now);
    return chosen ? chosen->key : "none";
}

// What the pool learns of its upstreams, and which it never offers: a failure for one site spares the others, a
// failure of the whole proxy spares none until its time is out, a client keeps the upstream that carried it.
TEST(ServePoolTest, ChoosesByHealthStickinessAndFitness) {
    ServeConfig config = Config();
    config.stickyMinutes = 10;
    ServePool pool(config, 1);
    const Upstream fast = UpstreamAt(1001, ProxyKind::Http, 10);
    const Upstream slow = UpstreamAt(1002, ProxyKind::Http, 50);
    pool.Replace({fast, slow}, 2);
    const Clock::time_point now = Clock::now();
    const ClientTarget site = TargetOf("a.example");
    const ClientTarget other = TargetOf("b.example");

    EXPECT_EQ(Chosen(pool, site, now), fast.key);
    EXPECT_EQ(Chosen(pool, site, now, true, {fast.key}), slow.key) << "an upstream tried is not tried again";
    pool.Failed(*pool.Choose({site, true, "x", {}}, now), site.host, Blame::Target, now);
    EXPECT_EQ(Chosen(pool, site, now), slow.key) << "down for the site it failed for";
    EXPECT_EQ(Chosen(pool, other, now), fast.key) << "and only for that one";
    pool.Failed(fast, other.host, Blame::Proxy, now);
    EXPECT_EQ(Chosen(pool, other, now), slow.key) << "down as a whole";
    EXPECT_EQ(Chosen(pool, other, now + std::chrono::seconds(config.proxyDownSeconds + 1)), fast.key);
    EXPECT_EQ(Chosen(pool, site, now, true, {slow.key}), fast.key) << "a failed upstream beats none";

    const ClientTarget third = TargetOf("c.example");
    pool.Succeeded(slow, {third, true, "127.0.0.9", {}}, now);
    EXPECT_EQ(Chosen(pool, third, now + std::chrono::minutes(9)), slow.key) << "sticky";
    EXPECT_EQ(Chosen(pool, third, now + std::chrono::minutes(11)), fast.key) << "sticky only for a while";
    const Clock::time_point later = now + std::chrono::minutes(11);
    pool.Failed(fast, third.host, Blame::Certificate, later);
    EXPECT_EQ(Chosen(pool, third, later, true), slow.key) << "no tunnel where a client refused its certificate";
    EXPECT_EQ(Chosen(pool, third, later, false), fast.key) << "its plain requests still go";
    pool.Succeeded(fast, {third, false, "127.0.0.9", {}}, later);
    EXPECT_EQ(Chosen(pool, third, later, true, {}), slow.key) << "a plain request through clears no tunnel's mark";

    pool.Replace({UpstreamAt(1003, ProxyKind::Http, 1, true), UpstreamAt(1004, ProxyKind::Socks4, 1)}, 2);
    EXPECT_EQ(Chosen(pool, site, now, true), "none") << "MITM never tunnels, SOCKS4 never takes a name";
    EXPECT_EQ(Chosen(pool, site, now, false), "127.0.0.1:1003") << "MITM may carry plain HTTP";
    EXPECT_EQ(Chosen(pool, TargetOf("127.0.0.1", HostForm::Ipv4), now, true), "127.0.0.1:1004");
}

// Each strategy over the same three upstreams (10, 20 and 100 ms), 300 choices with a fixed seed.
struct StrategyRow {
    ServeStrategy strategy;
    std::vector<int> firstChoices; // the first six, by index
    bool fasterMore;               // the 10 ms upstream chosen more often than the 100 ms one
};

class ServeStrategyTest : public ::testing::TestWithParam<StrategyRow> {};

TEST_P(ServeStrategyTest, SpreadsAsItsNameSays) {
    const StrategyRow& row = GetParam();
    std::vector<UpstreamRef> upstreams;
    for (const int ms : {10, 20, 100}) {
        upstreams.push_back(
            std::make_shared<const Upstream>(UpstreamAt(static_cast<std::uint16_t>(ms), ProxyKind::Http, ms)));
    }
    const std::vector<std::size_t> candidates{0, 1, 2};
    std::size_t cursor = 0;
    std::mt19937 random(7);
    std::vector<int> counts(3);
    std::vector<int> first;
    for (int i = 0; i < 300; ++i) {
        const std::size_t chosen = PickByStrategy(row.strategy, upstreams, candidates, {cursor, random});
        ++counts[chosen];
        if (first.size() < row.firstChoices.size()) {
            first.push_back(static_cast<int>(chosen));
        }
    }
    EXPECT_EQ(first, row.firstChoices) << ServeStrategyName(row.strategy);
    EXPECT_EQ(counts[0] > counts[2], row.fasterMore) << ServeStrategyName(row.strategy);
    EXPECT_GT(counts[2], row.strategy == ServeStrategy::Fastest ? -1 : 0) << "every upstream keeps being seen";
}

INSTANTIATE_TEST_SUITE_P(Rows, ServeStrategyTest,
                         ::testing::Values(StrategyRow{ServeStrategy::Fastest, {0, 0, 0, 0, 0, 0}, true},
                                           StrategyRow{ServeStrategy::RoundRobin, {0, 1, 2, 0, 1, 2}, false},
                                           StrategyRow{ServeStrategy::Weighted, {}, true}));

} // namespace
} // namespace zandel
