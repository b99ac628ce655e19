// zandel-check against real SOCKS and HTTP proxies from the distribution on loopback: dante (SOCKS4 and SOCKS5),
// microsocks (SOCKS5 with a login) and tinyproxy (HTTP with a login), every entry form, type detection, and a mixed
// list checked one at a time and fifty at once.

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <unistd.h>

#include "ZandelCheckFixture.h"
#include "support/FakeProxy.h"
#include "support/Loopback.h"
#include "support/Subprocess.h"
#include "support/TestTls.h"

namespace zandel {
namespace {

using namespace std::string_literals;
using test::FakeProxy;
namespace fake = test::fake;

// A password with the bytes a list or a URL trips over; escaped as the scheme form writes it.
const std::string kPassword = "p@ss:w%rd";
const std::string kEscapedPassword = "p%40ss%3Aw%25rd";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (auto end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The address and result of a written row.
std::string AddressAndResult(const std::string& line) {
    const std::size_t blank = line.find(' ');
    return line.substr(0, line.find(' ', blank + 1));
}

class SocksCheckTest : public ZandelCheckTest {
protected:
    void SetUp() override {
        ASSERT_EQ(access(kDanted, X_OK), 0) << "dante-server is not installed: scripts/setup.sh installs it";
        ASSERT_EQ(access(kMicrosocks, X_OK), 0) << "microsocks is not installed: scripts/setup.sh installs it";
    }
};

TEST_F(SocksCheckTest, ChecksEveryFormThroughRealProxiesAndKeepsEachEntry) {
    const std::string dante = StartDante();
    const std::string micro = StartMicrosocks("user", kPassword);
    // tinyproxy's configuration takes a plain word for a password; the hard one goes to microsocks.
    StartTinyproxy("BasicAuth user tinypass\n");
    // tinyproxy takes no '@' in a password: a seller's raw one goes to a forwarding fake.
    FakeProxy seller(fake::ForwardToJudge({}));
    const std::string tiny = TinyproxyAddress();
    const std::vector<std::string> entries = {
        "socks5://" + dante,
        "socks4://" + dante,
        "SOCKS5H://" + dante + "/",
        "socks5://user:" + kEscapedPassword + "@" + micro,
        "socks5://user:wrong1@" + micro,
        "socks5://" + micro,
        "user:tinypass@" + tiny,
        tiny + ":user:wrong2",
        "http://user:tinypass@" + tiny,
        tiny,
        seller.Address() + ":seller:p@ss",
        "socks5://user@" + micro,
        "socks5://user:" + std::string(256, 'w') + "@" + micro,
    };
    std::string list;
    for (const std::string& entry : entries) {
        list += entry + " a comment\r\n";
    }
    m_dir.Write("list.txt", list);

    const Outcome run = Run({"--url", m_judge.Url(), "--timeout", "10", "list.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), entries.size()) << run.out;
    const bool usable[] = {true, true, true, true, false, false, true, false, true, false, true, false, false};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        // The entry stays as written, its comment dropped; through SOCKS the judge sees no proxy at all.
        const std::string row = AddressAndResult(lines[i]);
        EXPECT_EQ(row.substr(0, row.find(' ')), entries[i]);
        EXPECT_EQ(row.substr(row.find(' ') + 1) == "NG", !usable[i]) << row;
        if (usable[i] && i < 4) {
            EXPECT_EQ(row.substr(row.find(' ') + 1), "Anonymous(A)");
        }
    }
    EXPECT_NE(run.err.find("SOCKS>ネゴシエーション成功\nSOCKS>中継接続成功\nSEND>リクエスト送信成功\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("結果：SOCKSプロキシがユーザ名かパスワードを拒否しました\n"), std::string::npos) << run.err;
    ASSERT_TRUE(seller.WaitForFinished(1));
    EXPECT_NE(seller.Received().at(0).find("\r\nProxy-Authorization: Basic c2VsbGVyOnBAc3M=\r\n"), std::string::npos);
    // microsocks answers a greeting without a login that no method is acceptable: the user learns what it wants.
    EXPECT_NE(run.err.find("結果：SOCKSプロキシがユーザ名とパスワードを求めています（"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("結果：SOCKSプロキシがユーザ名とパスワードを求めていますが、SOCKS5では空の"),
              std::string::npos)
        << run.err;
    // A login past SOCKS5's 255 bytes, one line of the list, meets its own reason.
    EXPECT_NE(run.err.find("結果：ユーザ名かパスワードがSOCKSの上限(255バイト)を超えています\n"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("結果：プロキシサーバがログインを拒否しました（HTTP/1.0 401 Unauthorized）\n"),
              std::string::npos)
        << run.err;
    // Without a login a 407 reads as it always has.
    EXPECT_NE(run.err.find("結果：プロキシサーバのレスポンスエラーです\n●---" + tiny), std::string::npos);
    // No password in the transcript, not even a wrong one or its escaped form.
    for (const std::string& secret : {kPassword, kEscapedPassword, "wrong1"s, "wrong2"s, "p@ss"s, "wwwwwwww"s}) {
        EXPECT_EQ(run.err.find(secret), std::string::npos) << secret;
    }
}

TEST_F(SocksCheckTest, TypeOptionAndDetectionNameTheKindInTheList) {
    const std::string dante = StartDante();
    StartTinyproxy();
    FakeProxy socks4Only({fake::ReadBytes(1), fake::Expect("\x04"), fake::ReadBytes(9),
                          fake::Send("\x00\x5a\x00\x00\x00\x00\x00\x00"s), fake::Read(),
                          fake::AnswerGet("HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.1\r\n")});
    FakeProxy refusing(fake::Refuse());
    m_dir.Write("list.txt", dante + "\r\n" + TinyproxyAddress() + "\r\n" + socks4Only.Address() + "\r\n" +
                                refusing.Address() + "\r\n");

    const Outcome detected = Run({"--url", m_judge.Url(), "--detect", "--jobs", "4", "list.txt"});
    ASSERT_EQ(detected.exitCode, 0) << detected.err;
    std::vector<std::string> lines = Lines(detected.out);
    ASSERT_EQ(lines.size(), 4U) << detected.out;
    EXPECT_EQ(AddressAndResult(lines[0]), "socks5://" + dante + " Anonymous(A)");
    EXPECT_EQ(AddressAndResult(lines[1]), TinyproxyAddress() + " Anonymous(B)");
    EXPECT_EQ(AddressAndResult(lines[2]), "socks4://" + socks4Only.Address() + " Anonymous(A)");
    EXPECT_EQ(AddressAndResult(lines[3]), refusing.Address() + " NG");

    m_dir.Write("plain.txt", dante + "\r\n");
    const Outcome typed = Run({"--url", m_judge.Url(), "--type", "socks4", "plain.txt"});
    ASSERT_EQ(typed.exitCode, 0) << typed.err;
    lines = Lines(typed.out);
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(AddressAndResult(lines[0]), "socks4://" + dante + " Anonymous(A)");

    const Outcome bad = Run({"--url", m_judge.Url(), "--type", "socks6", "plain.txt"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("--type must be http, socks4, socks4a, socks5 or socks5h: socks6"), std::string::npos);
}

// Detection on ports that hold no proxy: a TLS server (OpenSSL closes on the HTTP request without a word and waits
// for the rest of a record after SOCKS5's greeting) is named at once, and a port that closes every connection gets
// the HTTP reason its entry was written for, not a SOCKS one.
TEST_F(SocksCheckTest, DetectionNamesATlsServerAndKeepsTheHttpReason) {
    const test::TlsServer tls(test::TestCa::SelfSigned("127.0.0.1", "IP:127.0.0.1"));
    FakeProxy closing({fake::Close()});
    const std::string tlsAddress = "127.0.0.1:" + std::to_string(tls.Port());
    m_dir.Write("list.txt", tlsAddress + "\r\n" + closing.Address() + "\r\n");

    const Outcome run = Run({"--url", m_judge.Url(), "--detect", "--timeout", "20", "list.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 2U) << run.out;
    EXPECT_EQ(AddressAndResult(lines[0]), tlsAddress + " NG");
    EXPECT_EQ(AddressAndResult(lines[1]), closing.Address() + " NG");
    EXPECT_NE(run.err.find("結果：プロキシサーバではありません（TLSサーバが応答しました）\n●---" + tlsAddress),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("結果：プロキシサーバのレスポンスエラーです\n●---" + closing.Address()), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("タイムアウト"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("SOCKSの応答の前に"), std::string::npos) << run.err;
}

// The HTTPS step through SOCKS: a SOCKS CONNECT to the target, then TLS, with the verdicts of the HTTP proxies. A
// target whose own certificate does not verify is no fault of the honest proxy's ("NG", not "MITM").
TEST_F(SocksCheckTest, HttpsStepGoesThroughTheSocksProxy) {
    const std::string dante = StartDante();
    const test::TestCa ca;
    const test::TlsServer good(ca.Issue("127.0.0.1", "IP:127.0.0.1"));
    const test::TlsServer selfSigned(test::TestCa::SelfSigned("127.0.0.1", "IP:127.0.0.1"));
    m_dir.Write("ca.pem", ca.CertificatePem());
    m_dir.Write("list.txt", "socks5://" + dante + "\r\nsocks4://" + dante + "\r\n");
    const std::string url = "http://127.0.0.1:" + std::to_string(m_judge.Port()) + "/index.html";
    for (const auto& [server, cell] : {std::pair{good.Port(), "OK"}, std::pair{selfSigned.Port(), "NG"}}) {
        const Outcome run = Run({"--url", url, "--timeout", "5", "--https", "--https-target",
                                 "127.0.0.1:" + std::to_string(server), "--ca-file", m_dir.File("ca.pem"), "list.txt"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::vector<std::string> lines = Lines(run.out);
        ASSERT_EQ(lines.size(), 2U) << run.out;
        for (const std::string& line : lines) {
            EXPECT_EQ(line.substr(line.rfind(' ') + 1), cell) << line << "\n" << run.err;
        }
        EXPECT_NE(run.err.find("SOCKS>中継接続成功\nTLS>ハンドシェイク成功\n"), std::string::npos) << run.err;
    }
}

// Every proxy's block of the transcript, whichever order the jobs ended in.
std::vector<std::string> Blocks(const std::string& transcript) {
    std::vector<std::string> blocks;
    const std::string close = "---●\n";
    std::string::size_type start = transcript.find("●---");
    while (start != std::string::npos) {
        const std::string::size_type head = transcript.find(close, start) + close.size();
        const std::string frame = transcript.substr(start, head - start);
        const std::string::size_type end = transcript.find(frame + "\n", head);
        if (end == std::string::npos) {
            break;
        }
        blocks.push_back(transcript.substr(start, end + frame.size() + 1 - start));
        start = transcript.find("●---", end + frame.size() + 1);
    }
    std::sort(blocks.begin(), blocks.end());
    return blocks;
}

TEST_F(SocksCheckTest, AMixedListGivesTheSameBlocksOneAtATimeAndFiftyAtOnce) {
    const std::string dante = StartDante();
    const std::string micro = StartMicrosocks("u", "secret");
    StartTinyproxy();
    FakeProxy refusing(fake::Refuse());
    FakeProxy rejecting({fake::ReadBytes(3), fake::Send("\x05\x00"s), fake::ReadBytes(13),
                         fake::Send("\x05\x02\x00\x01\x00\x00\x00\x00\x00\x00"s), fake::Close()});
    std::string list;
    for (int round = 0; round < 3; ++round) {
        list += "socks5://" + dante + "\r\nsocks4://" + dante + "\r\nsocks5://u:secret@" + micro + "\r\n" +
                TinyproxyAddress() + "\r\n" + refusing.Address() + "\r\nsocks5://" + refusing.Address() +
                "\r\nsocks5://" + rejecting.Address() + "\r\n";
    }
    m_dir.Write("list.txt", list);

    std::vector<std::string> rows[2];
    std::vector<std::string> blocks[2];
    int k = 0;
    for (const char* jobs : {"1", "50"}) {
        const Outcome run = Run({"--url", m_judge.Url(), "--jobs", jobs, "list.txt"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        for (const std::string& line : Lines(run.out)) {
            rows[k].push_back(AddressAndResult(line));
        }
        blocks[k] = Blocks(run.err);
        ++k;
    }
    EXPECT_EQ(rows[0].size(), 21U);
    EXPECT_EQ(rows[0], rows[1]);
    EXPECT_EQ(blocks[0].size(), 21U);
    EXPECT_EQ(blocks[0], blocks[1]);
    EXPECT_NE(blocks[0][0].find("●---"), std::string::npos);
}

} // namespace
} // namespace zandel
