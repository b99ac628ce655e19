// The HTTPS step end to end: zandel-check with --https through real proxy servers and fakes on loopback, to a
// TLS server whose certificate comes from a CA made for the test. Each proxy's transcript block is exact, and
// the same one at a time and many at once.

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZandelCheckFixture.h"
#include "support/FakeProxy.h"
#include "support/Loopback.h"
#include "support/TestTls.h"

namespace zandel {
namespace {

using test::FakeProxy;
using test::FakeScript;
namespace fake = test::fake;

const std::string kGetAnswer = "HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n";
const std::string kEstablished = "HTTP/1.0 200 Connection established\r\n\r\n";

const std::string kGetLines = "START>プロキシチェック開始\nCONNECT>接続成功\nSEND>リクエスト送信成功\n"
                              "RECV>レスポンス受信中\nRECV>レスポンス受信終了\n";
const std::string kUsable = "END>プロキシチェック終了\n結果：使用可能なプロキシサーバです\n";

class HttpsCheckTest : public ZandelCheckTest {
protected:
    void SetUp() override {
        m_caFile = m_dir.Write("ca.pem", m_ca.CertificatePem());
        m_target = "127.0.0.1:" + std::to_string(m_server.Port());
    }

    // Debian's squid as an ordinary proxy on loopback, CONNECT allowed to the TLS server's port only. False
    // when it cannot be started here.
    bool StartSquid() {
        if (access(kSquid, X_OK) != 0) {
            return false;
        }
        const int port = test::FreeLoopbackPort();
        m_dir.Write("squid.conf", "http_port 127.0.0.1:" + std::to_string(port) +
                                      "\npid_filename none\ncache_log /dev/null\naccess_log none\ncache deny all\n"
                                      "cache_mem 8 MB\ndns_nameservers 127.0.0.1\nvisible_hostname zandel-test\n"
                                      "pinger_enable off\nshutdown_lifetime 0 seconds\nacl tls_port port " +
                                      std::to_string(m_server.Port()) +
                                      "\nacl CONNECT method CONNECT\nhttp_access deny CONNECT !tls_port\n"
                                      "acl here src 127.0.0.1\nhttp_access allow here\nhttp_access deny all\n"
                                      "coredump_dir " +
                                      m_dir.Path() + "\n");
        m_squid =
            std::make_unique<test::Subprocess>(std::vector<std::string>{kSquid, "-N", "-f", m_dir.File("squid.conf")},
                                               m_dir.Path(), m_dir.File("squid.out"), m_dir.File("squid.err"));
        m_squidPort = port;
        return test::WaitForListening(port, std::chrono::seconds(15));
    }

    // Checks the list of the addresses with the step on, at each width, and compares each address's block with
    // its frame lines, the GET's stage lines and then `expected`.
    // The checked list on standard output ends each such row with its HTTPS cell, `cells`.
    void ExpectBlocks(const std::map<std::string, std::string>& expected, const std::vector<std::string>& widths,
                      const std::map<std::string, std::string>& cells) {
        std::string list;
        for (const auto& [address, lines] : expected) {
            list += address + "\r\n";
        }
        m_dir.Write("list.txt", list);
        // Not an echo script: the GET's verdict is the same short line for every proxy.
        const std::string url = "http://127.0.0.1:" + std::to_string(m_judge.Port()) + "/index.html";
        for (const std::string& jobs : widths) {
            SCOPED_TRACE("--jobs " + jobs);
            const Outcome run = Run({"--url", url, "--timeout", "2", "--https", "--https-target", m_target, "--ca-file",
                                     m_caFile, "--jobs", jobs, "--log", "run.log", "list.txt"});
            ASSERT_EQ(run.exitCode, 0) << run.err;
            const std::map<std::string, std::string> blocks = Blocks(m_dir.Read("run.log"));
            for (const auto& [address, lines] : expected) {
                const std::string frame = "●---" + address + "---●\n";
                EXPECT_EQ(blocks.count(address) ? blocks.at(address) : "", frame + kGetLines + lines + frame)
                    << address;
                const std::size_t row = run.out.find(address + " ");
                const std::size_t rowEnd = run.out.find("\r\n", row);
                ASSERT_NE(rowEnd, std::string::npos) << run.out;
                const std::string line = run.out.substr(row, rowEnd - row);
                EXPECT_EQ(line.substr(line.rfind(' ') + 1), cells.at(address)) << line;
            }
        }
    }

    // The transcript block of each address, from its first frame line to its last.
    static std::map<std::string, std::string> Blocks(const std::string& log) {
        std::map<std::string, std::string> blocks;
        for (std::size_t at = log.find("●---"); at != std::string::npos;) {
            const std::size_t nameEnd = log.find("---●\n", at);
            const std::string address = log.substr(at + 6, nameEnd - at - 6);
            const std::string frame = "●---" + address + "---●\n";
            const std::size_t end = log.find(frame, nameEnd + 1) + frame.size();
            blocks[address] = log.substr(at, end - at);
            at = log.find("●---", end);
        }
        return blocks;
    }

    test::TestCa m_ca;
    test::TlsServer m_server{m_ca.Issue("127.0.0.1", "IP:127.0.0.1")};
    std::string m_caFile;
    std::string m_target;
    std::unique_ptr<test::Subprocess> m_squid;
    int m_squidPort = 0;
};

TEST_F(HttpsCheckTest, EachProxysStepReadsTheSameOneAtATimeAndManyAtOnce) {
    StartTinyproxy("ConnectPort " + std::to_string(m_server.Port()) + "\n");
    const std::string allowing = TinyproxyAddress();
    StartTinyproxy("ConnectPort 1\n");
    const std::string refusing = TinyproxyAddress();
    const test::TlsIdentity own = test::TestCa::SelfSigned("Interceptor", "IP:127.0.0.1");
    FakeProxy mitm(
        {fake::Read(), fake::AnswerGet(kGetAnswer), fake::Send(kEstablished), fake::PresentCertificate(own)});
    FakeProxy closing({fake::Read(), fake::AnswerGet(kGetAnswer), fake::Send(kEstablished), fake::Close()});
    FakeProxy silent({fake::Read(), fake::AnswerGet(kGetAnswer), fake::Silent()});

    const std::string opened = "CONNECT>トンネル要求送信成功\nCONNECT>トンネル接続成功\n";
    // clang-format off
    std::map<std::string, std::string> expected = {
        {allowing, opened + "TLS>ハンドシェイク成功\n" + kUsable + "HTTPS結果：HTTPSが使用可能なプロキシサーバです（HTTP/1.0 200 Connection established）\n"},
        {refusing, "CONNECT>トンネル要求送信成功\n" + kUsable + "HTTPS結果：CONNECTが拒否されました（HTTP/1.0 403 Access violation）\n"},
        {mitm.Address(), opened + "TLS>ハンドシェイク成功\n" + kUsable + "HTTPS結果：証明書を検証できません。通信が盗聴されている可能性があります（self-signed certificate）\n" "証明書の発行先：CN=Interceptor,O=Zandel Test\n証明書の発行者：CN=Interceptor,O=Zandel Test\n"},
        {closing.Address(), opened + kUsable + "HTTPS結果：TLSハンドシェイク中に接続が切断されました（HTTP/1.0 200 Connection established）\n"},
        {silent.Address(), "CONNECT>トンネル要求送信成功\n" + kUsable + "HTTPS結果：タイムアウトが起こりました\n"},
    };
    // clang-format on
    ExpectBlocks(expected, {"1", "8"},
                 {{allowing, "OK"},
                  {refusing, "NG"},
                  {mitm.Address(), "MITM"},
                  {closing.Address(), "NG"},
                  {silent.Address(), "NG"}});
}

// A certificate the target itself gets wrong is no proxy's doing: an honest tunnel shows the very certificate the
// target shows directly. Every run makes one handshake straight with the target, says once when that fails to
// verify, and calls "MITM" only a certificate other than the target's own. Without it (--no-baseline) an expired one
// is still "NG" (an interceptor makes a fresh one), and one from a CA we do not trust "MITM".
TEST_F(HttpsCheckTest, ACertificateTheTargetItselfGetsWrongIsNoProxysFault) {
    const test::TlsIdentity own = test::TestCa::SelfSigned("Interceptor", "IP:127.0.0.1");
    test::TlsServer expired(m_ca.Issue("127.0.0.1", "IP:127.0.0.1", true));
    struct Case {
        const char* name;
        const test::TlsServer& target;
        std::vector<std::string> options;
        const char* honest; // the HTTPS cell of an honest tunnel, then of an interceptor
        const char* intercepted;
        const char* reason;
        int notices;
    };
    const char* ownFault = "接続先自身の証明書を検証できません。プロキシは証明書を変えていません";
    // clang-format off
    const Case cases[] = {
        {"expired", expired, {"--ca-file", m_caFile}, "NG", "MITM", ownFault, 1},
        {"expired, strict", expired, {"--ca-file", m_caFile, "--strict"}, "NG", "MITM", ownFault, 1},
        {"expired, no baseline", expired, {"--ca-file", m_caFile, "--no-baseline"}, "NG", "MITM", "接続先の証明書が有効期間外のため検証できません（certificate has expired）", 0},
        {"unknown CA", m_server, {}, "NG", "MITM", ownFault, 1},
        {"unknown CA, strict", m_server, {"--strict"}, "NG", "MITM", ownFault, 1},
        {"unknown CA, no baseline", m_server, {"--no-baseline"}, "MITM", "MITM", "通信が盗聴されている可能性があります", 0},
    };
    // clang-format on
    FakeProxy honest(fake::ForwardToJudge({}));
    FakeProxy interceptor(
        {fake::Read(), fake::AnswerGet(kGetAnswer), fake::Send(kEstablished), fake::PresentCertificate(own)});
    m_dir.Write("list.txt", honest.Address() + "\r\n" + interceptor.Address() + "\r\n");
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--url",
                                         m_judge.Url(),
                                         "--timeout",
                                         "5",
                                         "--https",
                                         "--https-target",
                                         "127.0.0.1:" + std::to_string(c.target.Port()),
                                         "--log",
                                         "run.log"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back("list.txt");
        const Outcome run = Run(args);
        ASSERT_EQ(run.exitCode, 0) << c.name << run.err;
        const auto cell = [&](const std::string& address) {
            const std::size_t row = run.out.find(address + " ");
            const std::string line = run.out.substr(row, run.out.find("\r\n", row) - row);
            return line.substr(line.rfind(' ') + 1);
        };
        EXPECT_EQ(cell(honest.Address()), c.honest) << c.name << run.out;
        EXPECT_EQ(cell(interceptor.Address()), c.intercepted) << c.name << run.out;
        const std::string log = m_dir.Read("run.log");
        EXPECT_NE(log.find(c.reason), std::string::npos) << c.name << log;
        const std::string notice = "NOTICE>HTTPSのチェック先自身の証明書を検証できません（";
        EXPECT_EQ(log.find(notice) == std::string::npos
                      ? 0
                      : 1 + (log.find(notice, log.find(notice) + 1) != std::string::npos),
                  c.notices)
            << c.name << log;
    }
}

TEST_F(HttpsCheckTest, SquidCarriesTheTunnel) {
    if (!StartSquid()) {
        GTEST_SKIP() << "squid could not be started here: " << m_dir.Read("squid.err");
    }
    ExpectBlocks({{test::LoopbackAddress(static_cast<std::uint16_t>(m_squidPort)),
                   "CONNECT>トンネル要求送信成功\nCONNECT>トンネル接続成功\nTLS>ハンドシェイク成功\n" + kUsable +
                       "HTTPS結果：HTTPSが使用可能なプロキシサーバです（HTTP/1.1 200 Connection established）\n"}},
                 {"1"}, {{test::LoopbackAddress(static_cast<std::uint16_t>(m_squidPort)), "OK"}});
}

} // namespace
} // namespace zandel
