// zandel-check with names: a resolver preloaded into it answers test names with loopback addresses, IPv4 and
// IPv6, or hangs as a lookup on a silent name server does; the proxies are fakes on 127.0.0.1 and ::1 in front of
// the echo judge.

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "ZandelCheckFixture.h"
#include "support/FakeProxy.h"
#include "support/ServerConnection.h"
#include "support/LoopbackServer.h"
#include "support/EchoJudge.h"
#include "support/Loopback.h"
#include "support/Subprocess.h"

namespace zandel {
namespace {

using test::FakeProxy;
namespace fake = test::fake;

class LookupCheckTest : public ZandelCheckTest {
protected:
    // zandel-check with the scripted resolver; its standard error into `err` (a file or a terminal).
    Outcome RunWithNames(std::vector<std::string> args, const std::string& err = "err") {
        // Under AddressSanitizer the preloaded resolver comes before the sanitizer's runtime, which is then told so.
        const char* asanOptions = std::getenv("ASAN_OPTIONS");
        const std::string asan =
            std::string("ASAN_OPTIONS=") + (asanOptions != nullptr ? asanOptions : "") + ":verify_asan_link_order=0";
        args.insert(args.begin(),
                    {"/usr/bin/env", std::string("LD_PRELOAD=") + ZANDEL_SCRIPTED_LOOKUP, asan, ZANDEL_CHECK_BIN});
        test::Subprocess process(args, m_dir.Path(), m_dir.File("out"), err == "err" ? m_dir.File("err") : err);
        Outcome outcome;
        outcome.exitCode = process.Wait(std::chrono::seconds(120));
        outcome.out = m_dir.Read("out");
        outcome.err = err == "err" ? m_dir.Read("err") : "";
        return outcome;
    }
};

// A judge whose name has both families, with us behind a NAT for IPv4 alone: asked over IPv6 first, the run asks
// over IPv4 too, and a proxy that passes on the address only the IPv4 side sees is found out.
TEST_F(LookupCheckTest, OurAddressOverTheOtherFamilyIsFoundToo) {
    test::LoopbackServer v6(
        [](test::ServerConnection& connection) {
            if (connection.ReadRequestHead() &&
                connection.Send(test::EchoJudge::Answer(connection.RequestHead(), connection.PeerAddress()))) {
                connection.FinishSending();
            }
        },
        0, test::LoopbackFamily::Ipv6);
    test::LoopbackServer v4(
        [](test::ServerConnection& connection) {
            if (connection.ReadRequestHead() &&
                connection.Send(test::EchoJudge::Answer(connection.RequestHead(), "198.51.100.7"))) {
                connection.FinishSending();
            }
        },
        v6.Port());
    FakeProxy leaking(fake::AnswerAndClose(
        "HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=203.0.113.9\r\nREQUEST_METHOD=GET\r\nHTTP_X_REAL_IP=198.51.100.7\r\n"));
    m_dir.Write("list.txt", leaking.Address() + "\r\n");
    const std::string url = "http://judge.v6v4.test:" + std::to_string(v6.Port()) + "/envchk.cgi";
    const Outcome run = RunWithNames({"--url", url, "--timeout", "5", "--log", "run.log", "list.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(" Non-Anonymous "), std::string::npos) << run.out << m_dir.Read("run.log");
    EXPECT_NE(m_dir.Read("run.log").find("(198.51.100.7)がHTTP_X_REAL_IP"), std::string::npos) << m_dir.Read("run.log");
}

// More names that hang than the lookups a small pool would run: every name that resolves is still checked and
// graded, and each hanging one ends by its own time-out.
TEST_F(LookupCheckTest, HangingLookupsStallNoOtherRow) {
    FakeProxy proxy(fake::ForwardToJudge({}));
    std::string list;
    for (int i = 0; i < 8; ++i) {
        list += "dead" + std::to_string(i) + ".hang.test:8080\r\n";
    }
    for (int i = 0; i < 20; ++i) {
        list += "good" + std::to_string(i) + ".v4.test:" + proxy.PortText() + "\r\n";
    }
    m_dir.Write("list.txt", list);
    const Outcome run =
        RunWithNames({"--url", m_judge.Url(), "--jobs", "28", "--timeout", "5", "--log", "run.log", "list.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (int i = 0; i < 20; ++i) {
        const std::string row = "good" + std::to_string(i) + ".v4.test:" + proxy.PortText() + " Anonymous(A) ";
        EXPECT_NE(run.out.find(row), std::string::npos) << row << "\n" << run.out;
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_NE(run.out.find("dead" + std::to_string(i) + ".hang.test:8080 NG --:--- "), std::string::npos)
            << run.out;
    }
}

// A name of IPv6 is checked on ::1; a name of both tries its addresses in the resolver's order, past one that
// refuses. One at a time and many at once alike.
TEST_F(LookupCheckTest, NamesOfIpv6AreCheckedInTheResolversOrder) {
    FakeProxy onIpv6(fake::ForwardToJudge({}), 0, test::LoopbackFamily::Ipv6);
    FakeProxy onIpv4(fake::ForwardToJudge({}));
    std::uint16_t port = onIpv4.Port();
    const UniqueFd refusing = test::BindLoopback(port, test::LoopbackFamily::Ipv6);
    ASSERT_TRUE(refusing.IsOpen());
    const std::string v6 = "proxy.v6.test:" + onIpv6.PortText();
    const std::string both = "proxy.v6v4.test:" + onIpv4.PortText();
    const std::string unknown = "proxy.nowhere.test:" + onIpv4.PortText();
    m_dir.Write("list.txt", v6 + "\r\n" + both + "\r\n" + unknown + "\r\n");
    for (const char* jobs : {"1", "3"}) {
        const Outcome run = RunWithNames({"--url", m_judge.Url(), "--jobs", jobs, "--log", "run.log", "list.txt"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find(v6 + " Anonymous(A) "), std::string::npos) << jobs << "\n" << run.out;
        EXPECT_NE(run.out.find(both + " Anonymous(A) "), std::string::npos) << jobs << "\n" << run.out;
        EXPECT_NE(run.out.find(unknown + " NG --:--- "), std::string::npos) << jobs << "\n" << run.out;
    }
}

// The progress line on a terminal counts rows done: before any has ended, none.
TEST_F(LookupCheckTest, ProgressLineBeginsWithNothingChecked) {
    FakeProxy silent(fake::NeverAnswer());
    m_dir.Write("list.txt", silent.Address() + "\r\n" + silent.Address() + "\r\n" + silent.Address() + "\r\n");
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const Outcome run = RunWithNames(
        {"--url", m_judge.Url(), "--jobs", "3", "--timeout", "1", "--log", "run.log", "list.txt"}, ::ptsname(master));
    std::string shown;
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    char chunk[4096];
    for (ssize_t got = 0; (got = ::read(master, chunk, sizeof chunk)) > 0;) {
        shown.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(master);
    ASSERT_EQ(run.exitCode, 0);
    const std::size_t first = shown.find("checked ");
    ASSERT_NE(first, std::string::npos) << shown;
    EXPECT_EQ(shown.compare(first, 13, "checked 0/3  "), 0) << shown;
    EXPECT_NE(shown.find("checked 3/3  running 0  good 0"), std::string::npos) << shown;
}

} // namespace
} // namespace zandel
