// zandel-check against the signed judge as a user installs it: the judge script under lighttpd's CGI, real
// tinyproxy, and fakes that misbehave the ways public proxies do (their own page, a rewritten page, a cached
// page, a CDN in front of the judge). "Our" address is 127.0.0.1; the proxies reach the judge from 127.0.0.2.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ZandelCheckFixture.h"
#include "core/util/UniqueFd.h"
#include "support/FakeProxy.h"
#include "support/Loopback.h"
#include "support/LoopbackServer.h"
#include "support/ServerConnection.h"
#include "support/Subprocess.h"

namespace zandel {
namespace {

constexpr const char* kLighttpd = "/usr/sbin/lighttpd";
constexpr const char* kKey = "k3y-for-the-tests";
constexpr const char* kTampered = "NG(Tampered)";

// What a fake does with the page it fetched for its client.
enum class Peer {
    Clean,   // relays it as it is
    OwnPage, // fetches nothing and answers with a captive portal's page
    Inject,  // puts a script into it
    Replay,  // relays the first page, then answers every later request with that page again
    Cdn,     // relays it, and names its client in X-Forwarded-For as a CDN in front of a server does
    Cookie,  // relays it with a Set-Cookie header of its own
    Refresh, // relays it with a Refresh header sending the browser elsewhere
    Retype,  // relays it as text/plain
    Agent,   // passes the request on with another User-Agent
};

// An HTTP proxy (or, given an upstream port, a reverse proxy in front of the judge) that reaches the judge from
// `source`, adding `added` header lines ("Name: value\r\n" each) to every request.
class PeerProxy final {
public:
    PeerProxy(Peer kind, std::string source = "127.0.0.2", std::string added = "", std::uint16_t upstream = 0)
        : m_kind(kind), m_source(std::move(source)), m_added(std::move(added)), m_upstream(upstream),
          m_server([this](test::ServerConnection& connection) { Serve(connection); }) {}

    std::string Address() const { return test::LoopbackAddress(m_server.Port()); }
    std::uint16_t Port() const { return m_server.Port(); }

private:
    void Serve(test::ServerConnection& connection) {
        if (!connection.ReadRequestHead()) {
            return;
        }
        std::string answer;
        if (m_kind == Peer::OwnPage) {
            answer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body>Welcome to FreeWiFi. Please log "
                     "in.</body></html>\r\n";
        } else {
            std::lock_guard lock(m_mutex);
            answer = m_kind == Peer::Replay && !m_cached.empty()
                         ? m_cached
                         : Fetch(std::string(connection.RequestHead()), connection.PeerAddress());
            m_cached = answer;
        }
        static const std::pair<Peer, const char*> kAddedHeaders[] = {
            {Peer::Cookie, "Set-Cookie: track=1\r\n"}, {Peer::Refresh, "Refresh: 0; url=http://127.0.0.1:9/\r\n"}};
        for (const auto& [kind, header] : kAddedHeaders) {
            if (m_kind == kind) {
                answer.insert(answer.find("\r\n") + 2, header);
            }
        }
        if (m_kind == Peer::Retype) {
            const std::size_t type = answer.find("Content-Type: text/html");
            answer.replace(type, 23, "Content-Type: text/plain");
        }
        if (m_kind == Peer::Inject) {
            if (const auto length = answer.find("Content-Length:"); length != std::string::npos) {
                answer.erase(length, answer.find("\r\n", length) + 2 - length);
            }
            if (const auto pre = answer.find("<pre>\n"); pre != std::string::npos) {
                answer.insert(pre + 6, "<script>mine()</script>\n");
            }
        }
        connection.Send(answer);
        connection.FinishSending();
        connection.DrainUntilPeerCloses();
    }

    // The request passed on to the judge (or to the next proxy named in its URL), and its whole answer.
    std::string Fetch(const std::string& head, const std::string& client) const {
        const std::size_t lineEnd = head.find("\r\n");
        const std::string line = head.substr(0, lineEnd);
        const std::size_t space = line.find(' ');
        const std::size_t lastSpace = line.rfind(' ');
        std::string target = line.substr(space + 1, lastSpace - space - 1);
        std::uint16_t port = m_upstream;
        if (target.rfind("http://", 0) == 0) {
            const std::size_t slash = target.find('/', 7);
            const std::string authority = target.substr(7, slash - 7);
            port = static_cast<std::uint16_t>(std::stoi(authority.substr(authority.rfind(':') + 1)));
            target = slash == std::string::npos ? "/" : target.substr(slash);
        }
        std::string request = line.substr(0, space) + " " + target + line.substr(lastSpace) + "\r\n";
        for (std::size_t at = lineEnd + 2; at < head.size();) {
            const std::size_t end = head.find("\r\n", at);
            const std::string header = head.substr(at, end - at);
            at = end + 2;
            if (!header.empty() && header.rfind("Proxy-Connection:", 0) != 0 && header.rfind("Connection:", 0) != 0) {
                request += header + "\r\n";
            }
        }
        if (m_kind == Peer::Agent) {
            const std::size_t agent = request.find("User-Agent: ");
            request.replace(agent, request.find("\r\n", agent) - agent, "User-Agent: ProxyBrowser/1.0");
        }
        if (m_kind == Peer::Cdn) {
            if (const std::size_t chain = request.find("X-Forwarded-For: "); chain != std::string::npos) {
                request.insert(request.find("\r\n", chain), ", " + client);
            } else {
                request += "X-Forwarded-For: " + client + "\r\n";
            }
        }
        request += m_added + "Connection: close\r\n\r\n";

        UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in from{};
        from.sin_family = AF_INET;
        ::inet_pton(AF_INET, m_source.c_str(), &from.sin_addr);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        ::inet_pton(AF_INET, test::kLoopbackHost, &to.sin_addr);
        if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
            ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 ||
            !test::SendAll(fd.Get(), request)) {
            return "HTTP/1.0 502 Bad Gateway\r\n\r\n";
        }
        std::string answer;
        char chunk[4096];
        for (pollfd ready{fd.Get(), POLLIN, 0}; ::poll(&ready, 1, 10000) > 0;) {
            const ssize_t got = ::recv(fd.Get(), chunk, sizeof chunk, 0);
            if (got <= 0) {
                break;
            }
            answer.append(chunk, static_cast<std::size_t>(got));
        }
        return answer;
    }

    const Peer m_kind;
    const std::string m_source;
    const std::string m_added;
    const std::uint16_t m_upstream;
    std::mutex m_mutex;
    std::string m_cached;
    test::LoopbackServer m_server; // last: its threads stop before the rest goes
};

class JudgeCheckTest : public ZandelCheckTest {
protected:
    void SetUp() override { StartJudge(); }

    // The judge script and its key in a folder of their own, served by lighttpd's CGI.
    void StartJudge() {
        ASSERT_EQ(access(kLighttpd, X_OK), 0) << "lighttpd is not installed: scripts/setup.sh installs it";
        ::mkdir(m_dir.File("www").c_str(), 0755);
        m_dir.Write("www/zandel-judge.cgi",
                    test::TempDir::ReadFile(std::string(ZANDEL_SOURCE_DIR) + "/res/zandel-judge.cgi"));
        ::chmod(m_dir.File("www/zandel-judge.cgi").c_str(), 0755);
        ::mkdir(m_dir.File("keys").c_str(), 0700);
        WriteKey();
        m_judgePort = test::FreeLoopbackPort();
        // The key outside the document root, named to the script by the server, as the manual says.
        m_dir.Write("lighttpd.conf",
                    "server.document-root = \"" + m_dir.File("www") +
                        "\"\nserver.bind = \"127.0.0.1\"\nserver.port = " + std::to_string(m_judgePort) +
                        "\nserver.modules = (\"mod_cgi\", \"mod_setenv\")\ncgi.assign = (\".cgi\" => "
                        "\"/usr/bin/perl\")\nsetenv.add-environment = (\"ZANDEL_JUDGE_KEY_FILE\" => \"" +
                        KeyPath() + "\")\nserver.errorlog = \"" + m_dir.File("lighttpd.err") + "\"\n");
        m_lighttpd = std::make_unique<test::Subprocess>(
            std::vector<std::string>{kLighttpd, "-D", "-f", m_dir.File("lighttpd.conf")}, m_dir.Path(),
            m_dir.File("lighttpd.out"), m_dir.File("lighttpd.stderr"));
        ASSERT_TRUE(test::WaitForListening(m_judgePort)) << m_dir.Read("lighttpd.stderr");
    }

    std::string KeyPath() const { return m_dir.File("keys/zandel-judge.key"); }
    void WriteKey(mode_t mode = 0640) {
        ::unlink(KeyPath().c_str());
        m_dir.Write("keys/zandel-judge.key", std::string(kKey) + "\n");
        ::chmod(KeyPath().c_str(), mode);
    }

    std::string JudgeUrl(std::uint16_t port = 0) const {
        return "http://127.0.0.1:" + std::to_string(port == 0 ? m_judgePort : port) + "/zandel-judge.cgi";
    }

    // The result of each row of the checked list, in order.
    static std::vector<std::string> Results(const std::string& list) {
        std::vector<std::string> results;
        for (std::size_t at = 0; at < list.size();) {
            const std::size_t end = list.find("\r\n", at);
            const std::string line = list.substr(at, end - at);
            const std::size_t first = line.find(' ');
            results.push_back(
                first == std::string::npos ? "" : line.substr(first + 1, line.find(' ', first + 1) - first - 1));
            at = end == std::string::npos ? list.size() : end + 2;
        }
        return results;
    }

    int m_judgePort = 0;
    std::unique_ptr<test::Subprocess> m_lighttpd;
};

// One list through every kind of peer, under each combination of the two options: each option changes only the
// grades it is about, and a grade is never better than what the page proves.
TEST_F(JudgeCheckTest, EveryPeerIsGradedByWhatItsPageProves) {
    // tinyproxy hands the client's address on in X-Tinyproxy, a name on no list of forwarding headers.
    StartTinyproxy("Bind 127.0.0.2\nXTinyproxy Yes\n");
    struct Case {
        std::vector<std::string> options;
        std::vector<std::string> results; // tinyproxy, own page, clean, injecting, replaying (twice)
        std::vector<std::string> reasons;
    };
    // clang-format off
    const Case cases[] = {
        {{"--no-baseline"}, {"Anonymous(B)", "OK", "Anonymous(A)", "Anonymous(A)", "Anonymous(A)", "Anonymous(A)"}, {}},
        {{}, {"Non-Anonymous", kTampered, "Anonymous(A)", "Anonymous(A)", "Anonymous(A)", "Anonymous(A)"}, {"理由：接続元のIPアドレス(127.0.0.1)がHTTP_X_TINYPROXYに含まれています\n", "結果：プロキシが要求したページを返しませんでした（キャプティブポータルまたはブロックページ）\n"}},
        {{"--strict"}, {"Non-Anonymous", kTampered, "Anonymous(A)", "Anonymous(A)", "Anonymous(A)", "Anonymous(A)"}, {"理由：接続元のIPアドレス(127.0.0.1)がHTTP_X_TINYPROXYに含まれています\n", "結果：プロキシが独自のページで応答しました（テストページのREMOTE_ADDRがありません）\n"}},
        {{"--judge-key", kKey}, {"Non-Anonymous", kTampered, "Anonymous(A)", kTampered, "Anonymous(A)", kTampered}, {"結果：プロキシがページを書き換えました\n", "結果：プロキシが古いページ（キャッシュ）を返しました\n"}},
        {{"--strict", "--judge-key", kKey}, {"Non-Anonymous", kTampered, "Anonymous(A)", kTampered, "Anonymous(A)", kTampered}, {"HTTP_X_TINYPROXYに含まれています\n", "結果：プロキシがページを書き換えました\n"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        const std::string name =
            c.options.empty() ? "no option" : c.options[0] + " " + std::to_string(c.options.size());
        PeerProxy ownPage(Peer::OwnPage);
        PeerProxy clean(Peer::Clean);
        PeerProxy inject(Peer::Inject);
        PeerProxy replay(Peer::Replay);
        m_dir.Write("list.txt", TinyproxyAddress() + "\n" + ownPage.Address() + "\n" + clean.Address() + "\n" +
                                    inject.Address() + "\n" + replay.Address() + "\n" + replay.Address() + "\n");
        std::vector<std::string> args = {"--url", JudgeUrl(), "--timeout", "10", "--log", "run.log"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back("list.txt");
        const Outcome run = Run(args);
        ASSERT_EQ(run.exitCode, 0) << name << run.err;
        EXPECT_EQ(Results(run.out), c.results) << name << "\n" << run.out;
        const std::string transcript = m_dir.Read("run.log");
        for (const std::string& reason : c.reasons) {
            EXPECT_NE(transcript.find(reason), std::string::npos) << name << " " << reason << transcript;
        }
        EXPECT_EQ(transcript.find(kKey), std::string::npos) << "the key stays out of the transcript";
        EXPECT_EQ(transcript.find("NOTICE>"), std::string::npos) << transcript;
        if (c.options == std::vector<std::string>{"--no-baseline"}) {
            EXPECT_EQ(transcript.find("理由："), std::string::npos) << "no reason lines without the baseline";
        }
    }
}

// Our address in every spelling and header public proxies have been seen to use, and headers that name no client:
// whatever the options, a leak is Non-Anonymous and a header without our address leaves the grade as it was.
TEST_F(JudgeCheckTest, OurAddressIsFoundInAnyHeaderAndSpelling) {
    const std::vector<std::pair<std::string, std::string>> peers = {
        {"X-Client-IP: 127.0.0.1\r\n", "Non-Anonymous"},
        {"CF-Connecting-IP: 127.0.0.1\r\n", "Non-Anonymous"},
        {"True-Client-IP: 127.0.0.1\r\n", "Non-Anonymous"},
        {"X-Real-IP: ::ffff:127.0.0.1\r\n", "Non-Anonymous"},
        {"X-Originating-IP: [127.0.0.1]\r\n", "Non-Anonymous"},
        {"X-Cluster-Client-IP: \"127.0.0.1:51234\"\r\n", "Non-Anonymous"},
        {"X-Forwarded: for=127.0.0.1\r\n", "Non-Anonymous"},
        {"X-ProxyUser-Ip: 127.000.000.001\r\n", "Non-Anonymous"},
        {"Forwarded: for=\"[::1]\";proto=http\r\n", "Non-Anonymous"},
        {"Via: 1.1 gw (Client-IP:127.0.0.1)\r\n", "Non-Anonymous"},
        {"X-Client-Addr: ip:127.0.0.1\r\n", "Non-Anonymous"},
        {"X-Source: 2130706433\r\n", "Non-Anonymous"},
        {"X-Src: 0x7F000001\r\n", "Non-Anonymous"},
        {"CF-Ray: 8d2f6a1b3c4e5f60-NRT\r\nCDN-Loop: cloudflare\r\n", "Anonymous(A)"},
        {"X-Request-Id: 127-0-0-1\r\n", "Anonymous(A)"},
    };
    std::vector<std::unique_ptr<PeerProxy>> proxies;
    std::string list;
    std::vector<std::string> expected;
    for (const auto& [added, grade] : peers) {
        proxies.push_back(std::make_unique<PeerProxy>(Peer::Clean, "127.0.0.2", added));
        list += proxies.back()->Address() + "\n";
        expected.push_back(grade);
    }
    m_dir.Write("list.txt", list);
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, {"--judge-key", kKey}, {"--strict"}, {"--strict", "--judge-key", kKey}}) {
        std::vector<std::string> args = {"--url", JudgeUrl(), "--timeout", "10", "--jobs", "8"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("list.txt");
        const Outcome run = Run(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(Results(run.out), expected) << options.size() << "\n" << run.out << run.err;
    }
}

// The signed judge signs the headers it sends, and the run knows what the judge received from it directly: a proxy
// that adds a header that changes what a browser does, changes the page's type or rewrites the request is caught
// with the key, and graded as usual without it.
TEST_F(JudgeCheckTest, ChangesOutsideThePageAreTamperingWithTheKey) {
    struct Case {
        Peer kind;
        const char* reason;
    };
    const Case cases[] = {
        {Peer::Cookie, "プロキシが応答ヘッダ(Set-Cookie)を加えました"},
        {Peer::Refresh, "プロキシが応答ヘッダ(Refresh)を加えました"},
        {Peer::Retype, "プロキシが応答ヘッダ(Content-Type)を変えました"},
        {Peer::Agent, "プロキシがリクエストを書き換えました(HTTP_USER_AGENT)"},
    };
    std::vector<std::unique_ptr<PeerProxy>> proxies;
    std::string list;
    for (const Case& c : cases) {
        proxies.push_back(std::make_unique<PeerProxy>(c.kind));
        list += proxies.back()->Address() + "\n";
    }
    PeerProxy clean(Peer::Clean);
    list += clean.Address() + "\n";
    m_dir.Write("list.txt", list);
    m_dir.Write("key.txt", std::string(kKey) + "\n");
    const Outcome signed_ = Run({"--url", JudgeUrl(), "--judge-key-file", "key.txt", "--log", "run.log", "list.txt"});
    ASSERT_EQ(signed_.exitCode, 0) << signed_.err;
    EXPECT_EQ(Results(signed_.out),
              (std::vector<std::string>{kTampered, kTampered, kTampered, kTampered, "Anonymous(A)"}))
        << signed_.out;
    const std::string transcript = m_dir.Read("run.log");
    for (const Case& c : cases) {
        EXPECT_NE(transcript.find(std::string("結果：") + c.reason), std::string::npos) << c.reason << transcript;
    }
    const Outcome plain = Run({"--url", JudgeUrl(), "list.txt"});
    EXPECT_EQ(Results(plain.out), std::vector<std::string>(5, "Anonymous(A)")) << plain.out;
}

// With a key, a judge that does not verify when asked directly stops the run before any proxy is asked, with one
// message naming the cause; without a key, strict grading without a judge goes on with the usual grades. A key that
// others may read or a request may fetch is one the judge refuses to sign with.
TEST_F(JudgeCheckTest, AJudgeThatDoesNotVerifyIsToldAndNoProxyIsBlamed) {
    enum class Key { Kept, Missing, ReadableByOthers, InDocumentRoot };
    struct Case {
        const char* name;
        std::vector<std::string> options;
        int url; // 0 the signed judge, 1 an echo page that signs nothing, 2 a port where nothing listens
        Key key;
        int exitCode;
        const char* told;
    };
    const std::vector<std::string> withKey = {"--judge-key-file", "key.txt"};
    const Case cases[] = {
        {"another key", {"--judge-key", "another-key"}, 0, Key::Kept, 2, "鍵が判定用CGIの鍵と一致しません"},
        {"no key file", withKey, 0, Key::Missing, 2, "the key file cannot be read"},
        {"key readable by others", withKey, 0, Key::ReadableByOthers, 2, "the key file may be read by other users"},
        {"key in the document root", withKey, 0, Key::InDocumentRoot, 2, "lies under the document root"},
        {"not the signed judge", withKey, 1, Key::Kept, 2, "署名がありません"},
        {"no judge", withKey, 2, Key::Kept, 2, "判定用CGIから応答がありません"},
        {"no judge, strict", {"--strict"}, 2, Key::Kept, 0, "NOTICE>判定用CGIに直接アクセスして基準を得られないため"},
    };
    m_dir.Write("key.txt", std::string(kKey) + "\r\n");
    const int deadPort = test::FreeLoopbackPort();
    for (const Case& c : cases) {
        test::FakeProxy proxy(test::fake::ForwardToJudge({}));
        m_dir.Write("list.txt", proxy.Address() + " old\r\n");
        if (c.key == Key::Missing) {
            ::unlink(KeyPath().c_str());
        } else if (c.key == Key::ReadableByOthers) {
            WriteKey(0644);
        } else if (c.key == Key::InDocumentRoot) {
            // The key kept in the web tree and only linked from outside it: still fetchable, still refused.
            m_dir.Write("www/zandel-judge.key", std::string(kKey) + "\n");
            ::chmod(m_dir.File("www/zandel-judge.key").c_str(), 0640);
            ::unlink(KeyPath().c_str());
            ASSERT_EQ(::symlink(m_dir.File("www/zandel-judge.key").c_str(), KeyPath().c_str()), 0);
        }
        const std::string url = c.url == 0   ? JudgeUrl()
                                : c.url == 1 ? m_judge.Url()
                                             : JudgeUrl(static_cast<std::uint16_t>(deadPort));
        std::vector<std::string> args = {"--url", url, "--timeout", "5"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back("list.txt");
        const Outcome run = Run(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << run.err;
        EXPECT_NE(run.err.find(c.told), std::string::npos) << c.name << run.err;
        EXPECT_EQ(run.err.find(m_dir.Path()), std::string::npos) << c.name << ": no path of the server's" << run.err;
        if (c.exitCode == 2) {
            EXPECT_TRUE(proxy.Received().empty()) << c.name;
            EXPECT_EQ(run.out, "") << c.name;
            EXPECT_EQ(run.err.find("●---"), std::string::npos) << c.name << run.err;
        } else {
            EXPECT_EQ(Results(run.out), std::vector<std::string>{"NG"}) << c.name << run.out;
        }
        ::unlink(m_dir.File("www/zandel-judge.key").c_str());
        WriteKey();
    }
}

// The key never shows where another user can see it: a key on the command line is warned of, a key file or the
// environment is not; and the web server serves no key from its document root.
TEST_F(JudgeCheckTest, TheKeyIsTakenFromAFileOrTheEnvironment) {
    PeerProxy clean(Peer::Clean);
    m_dir.Write("list.txt", clean.Address() + "\n");
    m_dir.Write("key.txt", std::string(kKey) + "\n");
    const std::string warning = "can be read by every user of this machine";
    const Outcome fromFile = Run({"--url", JudgeUrl(), "--judge-key-file", "key.txt", "list.txt"});
    EXPECT_EQ(Results(fromFile.out), std::vector<std::string>{"Anonymous(A)"}) << fromFile.err;
    EXPECT_EQ(fromFile.err.find(warning), std::string::npos);
    const Outcome fromArgs = Run({"--url", JudgeUrl(), "--judge-key", kKey, "--log", "/dev/null", "list.txt"});
    EXPECT_EQ(Results(fromArgs.out), std::vector<std::string>{"Anonymous(A)"}) << fromArgs.err;
    EXPECT_NE(fromArgs.err.find(warning), std::string::npos);
    m_dir.Write("bad.txt", "two words\n");
    const Outcome wrongFile = Run({"--url", JudgeUrl(), "--judge-key-file", "bad.txt", "list.txt"});
    EXPECT_EQ(wrongFile.exitCode, 2);
    EXPECT_NE(wrongFile.err.find("--judge-key-file: a key of 8 to 256"), std::string::npos) << wrongFile.err;
    const Outcome noFile = Run({"--url", JudgeUrl(), "--judge-key-file", "none.txt", "list.txt"});
    EXPECT_EQ(noFile.exitCode, 2);
    EXPECT_NE(noFile.err.find("cannot read none.txt"), std::string::npos) << noFile.err;
    ::setenv("ZANDEL_JUDGE_KEY", "another-key", 1);
    const Outcome fromEnvironment = Run({"--url", JudgeUrl(), "list.txt"});
    ::unsetenv("ZANDEL_JUDGE_KEY");
    EXPECT_EQ(fromEnvironment.exitCode, 2) << "the environment's key is used: " << fromEnvironment.err;
    EXPECT_NE(fromEnvironment.err.find("鍵が判定用CGIの鍵と一致しません"), std::string::npos) << fromEnvironment.err;

    const std::string answer =
        test::BareExchange(static_cast<std::uint16_t>(m_judgePort), "GET /zandel-judge.key HTTP/1.0\r\n\r\n");
    EXPECT_NE(answer.find(" 404 "), std::string::npos) << answer;
    EXPECT_EQ(answer.find(kKey), std::string::npos) << answer;
}

// Debian's squid reaching the judge from 127.0.0.2, in each of the ways it can pass the client's address on (or not),
// graded alike with and without strict grading where the plain grading knows the header.
TEST_F(JudgeCheckTest, SquidIsGradedByWhatItForwards) {
    if (access(kSquid, X_OK) != 0) {
        GTEST_SKIP() << "squid is not installed";
    }
    struct Case {
        const char* settings;
        const char* plain;
        const char* strict;
        const char* variable; // named by the strict reason
    };
    const Case cases[] = {
        {"forwarded_for on\n", "Non-Anonymous", "Non-Anonymous", "HTTP_X_FORWARDED_FOR"},
        {"forwarded_for truncate\n", "Non-Anonymous", "Non-Anonymous", "HTTP_X_FORWARDED_FOR"},
        // Squid still shows itself: the Cache-Control it adds comes first in the judge's (sorted) page.
        {"forwarded_for delete\n", "Anonymous(B)", "Anonymous(B)", "HTTP_CACHE_CONTROL"},
    };
    for (const Case& c : cases) {
        const int port = test::FreeLoopbackPort();
        m_dir.Write("squid.conf", "http_port 127.0.0.1:" + std::to_string(port) +
                                      "\npid_filename none\ncache_log /dev/null\naccess_log none\ncache deny all\n"
                                      "cache_mem 8 MB\ndns_nameservers 127.0.0.1\nvisible_hostname zandel-test\n"
                                      "pinger_enable off\nshutdown_lifetime 0 seconds\ntcp_outgoing_address 127.0.0.2\n"
                                      "acl here src 127.0.0.1\nhttp_access allow here\nhttp_access deny all\n"
                                      "coredump_dir " +
                                      m_dir.Path() + "\n" + c.settings);
        test::Subprocess squid({kSquid, "-N", "-f", m_dir.File("squid.conf")}, m_dir.Path(), m_dir.File("squid.out"),
                               m_dir.File("squid.err"));
        if (!test::WaitForListening(port, std::chrono::seconds(15))) {
            GTEST_SKIP() << "squid could not be started here: " << m_dir.Read("squid.err");
        }
        m_dir.Write("list.txt", test::LoopbackAddress(static_cast<std::uint16_t>(port)) + "\n");
        const Outcome plain = Run({"--url", JudgeUrl(), "--timeout", "10", "list.txt"});
        const Outcome strict = Run({"--url", JudgeUrl(), "--timeout", "10", "--strict", "list.txt"});
        EXPECT_EQ(Results(plain.out), std::vector<std::string>{c.plain}) << c.settings << plain.err;
        EXPECT_EQ(Results(strict.out), std::vector<std::string>{c.strict}) << c.settings << strict.err;
        EXPECT_NE(strict.err.find("理由："), std::string::npos) << c.settings << strict.err;
        EXPECT_NE(strict.err.find(c.variable), std::string::npos) << c.settings << strict.err;
    }
}

// A judge behind a CDN that adds X-Forwarded-For itself: the CDN's header is no proxy's doing, and our address is
// the one the CDN forwarded.
TEST_F(JudgeCheckTest, WhatTheJudgesOwnServerAddsIsNotBlamedOnTheProxy) {
    PeerProxy cdn(Peer::Cdn, "127.0.0.3", "", static_cast<std::uint16_t>(m_judgePort));
    PeerProxy clean(Peer::Clean);
    PeerProxy exposing(Peer::Clean, "127.0.0.2", "X-Forwarded-For: 127.0.0.1\r\n");
    m_dir.Write("list.txt", clean.Address() + "\n" + exposing.Address() + "\n");
    const std::string url = "http://127.0.0.1:" + std::to_string(cdn.Port()) + "/zandel-judge.cgi";
    const Outcome run = Run({"--url", url, "--timeout", "10", "--strict", "--judge-key", kKey, "list.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Results(run.out), (std::vector<std::string>{"Anonymous(A)", "Non-Anonymous"})) << run.out << run.err;
}

} // namespace
} // namespace zandel
