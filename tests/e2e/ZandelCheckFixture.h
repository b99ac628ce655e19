#pragma once

// zandel-check as a user runs it: the program started as a process of its own in a test folder, with real
// proxy servers from the distribution on loopback in front of the echo judge.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <unistd.h>

#include "support/EchoJudge.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

namespace zandel {

inline constexpr const char* kTinyproxy = "/usr/bin/tinyproxy";
inline constexpr const char* kSquid = "/usr/sbin/squid";
inline constexpr const char* kDanted = "/usr/sbin/danted";
inline constexpr const char* kMicrosocks = "/usr/bin/microsocks";
#ifdef __SANITIZE_ADDRESS__
inline constexpr bool kUnderAddressSanitizer = true; // zandel-check is built the same way as this test
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif

struct Outcome {
    std::optional<int> exitCode;
    std::string out;
    std::string err;
};

class ZandelCheckTest : public ::testing::Test {
protected:
    // Runs zandel-check in the test's folder and waits for it.
    Outcome Run(std::vector<std::string> args) {
        args.insert(args.begin(), ZANDEL_CHECK_BIN);
        test::Subprocess process(args, m_dir.Path(), m_dir.File("out"), m_dir.File("err"));
        Outcome outcome;
        outcome.exitCode = process.Wait();
        outcome.out = m_dir.Read("out");
        outcome.err = m_dir.Read("err");
        return outcome;
    }

    // tinyproxy on a free loopback port, allowed to reach only 127.0.0.1; `extra` adds configuration lines.
    void StartTinyproxy(const std::string& extra = "") {
        ASSERT_EQ(access(kTinyproxy, X_OK), 0) << "tinyproxy is not installed: scripts/setup.sh installs it";
        const int port = test::FreeLoopbackPort();
        const std::string name = "tinyproxy" + std::to_string(m_tinyproxies.size());
        m_dir.Write("filter", "^127\\.0\\.0\\.1$\n");
        m_dir.Write(name + ".conf", "Port " + std::to_string(port) +
                                        "\nListen 127.0.0.1\nTimeout 10\nAllow 127.0.0.1\nMaxClients 20\n"
                                        "LogLevel Warning\nFilter \"" +
                                        m_dir.File("filter") + "\"\nFilterDefaultDeny Yes\n" + extra);
        m_tinyproxies.push_back(std::make_unique<test::Subprocess>(
            std::vector<std::string>{kTinyproxy, "-d", "-c", m_dir.File(name + ".conf")}, m_dir.Path(),
            m_dir.File(name + ".out"), m_dir.File(name + ".err")));
        ASSERT_TRUE(test::WaitForListening(port)) << m_dir.Read(name + ".err");
        m_tinyproxyPort = port;
    }

    // dante on a free loopback port: SOCKS4 and SOCKS5 without a login, CONNECT to loopback only.
    std::string StartDante() {
        const int port = test::FreeLoopbackPort();
        m_dir.Write("danted.conf", "logoutput: " + m_dir.File("danted.log") +
                                       "\ninternal: 127.0.0.1 port = " + std::to_string(port) +
                                       "\nexternal: 127.0.0.1\nclientmethod: none\nsocksmethod: none\n"
                                       "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                                       "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect }\n");
        m_servers.push_back(
            std::make_unique<test::Subprocess>(std::vector<std::string>{kDanted, "-f", m_dir.File("danted.conf"), "-p",
                                                                        m_dir.File("danted.pid"), "-N", "1"},
                                               m_dir.Path(), m_dir.File("danted.out"), m_dir.File("danted.err")));
        EXPECT_TRUE(test::WaitForListening(port)) << m_dir.Read("danted.log");
        return "127.0.0.1:" + std::to_string(port);
    }

    // microsocks on a free loopback port, asking for `user` and `password`.
    std::string StartMicrosocks(const std::string& user, const std::string& password) {
        const int port = test::FreeLoopbackPort();
        m_servers.push_back(std::make_unique<test::Subprocess>(
            std::vector<std::string>{kMicrosocks, "-i", "127.0.0.1", "-p", std::to_string(port), "-u", user, "-P",
                                     password},
            m_dir.Path(), m_dir.File("microsocks.out"), m_dir.File("microsocks.err")));
        EXPECT_TRUE(test::WaitForListening(port));
        return "127.0.0.1:" + std::to_string(port);
    }

    // Debian's squid as a plain proxy on a free loopback port that passes no client address on (graded
    // Anonymous(B)), reaching only loopback; its address, or empty where it cannot be started here.
    std::string StartSquidUpstream() {
        if (access(kSquid, X_OK) != 0) {
            return {};
        }
        const int port = test::FreeLoopbackPort();
        m_dir.Write("squid.conf", "http_port 127.0.0.1:" + std::to_string(port) +
                                      "\npid_filename none\ncache_log /dev/null\naccess_log none\ncache deny all\n"
                                      "cache_mem 8 MB\ndns_nameservers 127.0.0.1\nvisible_hostname zandel-test\n"
                                      "pinger_enable off\nshutdown_lifetime 0 seconds\nforwarded_for delete\n"
                                      "acl here src 127.0.0.1\nacl loopback dst 127.0.0.0/8\n"
                                      "http_access deny !loopback\nhttp_access allow here\nhttp_access deny all\n"
                                      "coredump_dir " +
                                      m_dir.Path() + "\n");
        m_servers.push_back(
            std::make_unique<test::Subprocess>(std::vector<std::string>{kSquid, "-N", "-f", m_dir.File("squid.conf")},
                                               m_dir.Path(), m_dir.File("squid.out"), m_dir.File("squid.err")));
        return test::WaitForListening(port, std::chrono::seconds(15)) ? "127.0.0.1:" + std::to_string(port) : "";
    }

    std::string TinyproxyAddress() const { return "127.0.0.1:" + std::to_string(m_tinyproxyPort); }

    // A list of one entry `count` times: long enough for a run to notice that its judge has stopped answering.
    static std::string RepeatedList(const std::string& entry, int count) {
        std::string list;
        for (int i = 0; i < count; ++i) {
            list += entry + "\n";
        }
        return list;
    }

    test::TempDir m_dir;
    test::EchoJudge m_judge;
    std::vector<std::unique_ptr<test::Subprocess>> m_tinyproxies;
    int m_tinyproxyPort = 0; // the last one started
    std::vector<std::unique_ptr<test::Subprocess>> m_servers;
};

} // namespace zandel
