// The HTTPS step's "MITM" against real proxy servers from the distribution on loopback: honest ones that only
// carry the tunnel, and ones that open the TLS and show a certificate of their own making. A target whose own
// certificate does not verify is no proxy's fault, so an honest tunnel to it reads "NG"; a certificate other than
// the target's own reads "MITM" whatever the target shows.

#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ZandelCheckFixture.h"
#include "support/Loopback.h"
#include "support/Subprocess.h"
#include "support/TestTls.h"

namespace zandel {
namespace {

constexpr const char* kPrivoxy = "/usr/sbin/privoxy";
constexpr const char* kCertgen = "/usr/lib/squid/security_file_certgen";
constexpr const char* kMitmdump = "/usr/bin/mitmdump";
constexpr const char* kOpenssl = "/usr/bin/openssl";
constexpr auto kStartLimit = std::chrono::seconds(5);

enum class Peer { Tinyproxy, Privoxy, Squid, Mitmproxy, SquidBump };

struct PeerCase {
    const char* name;
    Peer peer;
    bool intercepts;
};

void PrintTo(const PeerCase& peer, std::ostream* out) {
    *out << peer.name;
}

class RealPeersTlsTest : public ZandelCheckTest, public ::testing::WithParamInterface<PeerCase> {
protected:
    // Each starts its peer on a free loopback port and gives its address, or empty with m_why set when the peer
    // cannot run here.
    std::string StartPeer(Peer peer) {
        switch (peer) {
        case Peer::Tinyproxy:
            if (access(kTinyproxy, X_OK) != 0) {
                return Unavailable("tinyproxy is not installed");
            }
            StartTinyproxy();
            return HasFatalFailure() ? Unavailable("tinyproxy could not be started") : TinyproxyAddress();
        case Peer::Privoxy:
            return StartPrivoxy();
        case Peer::Squid:
            return StartSquid("http_port 127.0.0.1:%PORT%\n");
        case Peer::Mitmproxy:
            return StartMitmdump();
        case Peer::SquidBump:
            return StartBumpingSquid();
        }
        return "";
    }

    std::string Unavailable(std::string why) {
        m_why = std::move(why);
        return "";
    }

    // The address once the peer listens on `port`; else its standard error says why.
    std::string Listening(int port, const std::string& name) {
        if (test::WaitForListening(port, kStartLimit)) {
            return test::LoopbackAddress(static_cast<std::uint16_t>(port));
        }
        return Unavailable(name + " could not be started here: " + m_dir.Read(name + ".err"));
    }

    std::string StartPrivoxy() {
        if (access(kPrivoxy, X_OK) != 0) {
            return Unavailable("privoxy is not installed");
        }
        const int port = test::FreeLoopbackPort();
        m_dir.Write("privoxy.conf", "listen-address 127.0.0.1:" + std::to_string(port) + "\nconfdir " + m_dir.Path() +
                                        "\nlogdir " + m_dir.Path() + "\n");
        Spawn({kPrivoxy, "--no-daemon", m_dir.File("privoxy.conf")}, "privoxy");
        return Listening(port, "privoxy");
    }

    // Debian's squid for loopback's clients only: `port` is its http_port line, %PORT% standing for the port.
    std::string StartSquid(std::string port, const std::string& extra = "") {
        if (access(kSquid, X_OK) != 0) {
            return Unavailable("squid is not installed");
        }
        const int number = test::FreeLoopbackPort();
        port.replace(port.find("%PORT%"), 6, std::to_string(number));
        m_dir.Write("squid.conf", port +
                                      "pid_filename none\ncache_log /dev/null\naccess_log none\ncache deny all\n"
                                      "cache_mem 8 MB\ndns_nameservers 127.0.0.1\nvisible_hostname zandel-test\n"
                                      "pinger_enable off\nshutdown_lifetime 0 seconds\nacl here src 127.0.0.1\n"
                                      "http_access allow here\nhttp_access deny all\ncoredump_dir " +
                                      m_dir.Path() + "\n" + extra);
        Spawn({kSquid, "-N", "-f", m_dir.File("squid.conf")}, "squid");
        return Listening(number, "squid");
    }

    // mitmproxy's regular proxy with a CA of its own making in the test's folder; it does not check the target's
    // certificate, as an interceptor in front of any site does not.
    std::string StartMitmdump() {
        if (access(kMitmdump, X_OK) != 0) {
            return Unavailable("mitmproxy is not installed");
        }
        const int port = test::FreeLoopbackPort();
        ::mkdir(m_dir.File("mitmproxy").c_str(), 0700);
        Spawn({kMitmdump, "--listen-host", "127.0.0.1", "--listen-port", std::to_string(port), "--set",
               "confdir=" + m_dir.File("mitmproxy"), "--set", "ssl_insecure=true"},
              "mitmdump");
        return Listening(port, "mitmdump");
    }

    // squid built with OpenSSL, opening every tunnel with certificates it makes from a CA of the test's folder.
    std::string StartBumpingSquid() {
        if (access(kSquid, X_OK) != 0 || access(kCertgen, X_OK) != 0 || access(kOpenssl, X_OK) != 0) {
            return Unavailable("squid, its certificate helper or openssl is not installed");
        }
        if (Finish({kSquid, "-v"}, "version") != 0 ||
            m_dir.Read("version.out").find("--with-openssl") == std::string::npos) {
            return Unavailable("this squid cannot intercept TLS: it is built without OpenSSL (squid-openssl is not)");
        }
        // openssl's own configuration makes a self-signed certificate a CA.
        if (Finish({kOpenssl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                    "-keyout", m_dir.File("bump.key"), "-out", m_dir.File("bump.pem"), "-subj", "/CN=Zandel Bump CA"},
                   "ca") != 0 ||
            Finish({kCertgen, "-c", "-s", m_dir.File("ssl_db"), "-M", "4MB"}, "certgen") != 0) {
            return Unavailable("the bumping CA could not be made: " + m_dir.Read("ca.err") + m_dir.Read("certgen.err"));
        }
        std::string user;
        if (geteuid() == 0) {
            // squid leaves root for its own user, whose helper then keeps the certificates it makes here.
            const passwd* proxy = getpwnam("proxy");
            if (proxy == nullptr) {
                return Unavailable("squid's user \"proxy\" is missing");
            }
            user = "cache_effective_user proxy\n";
            ::chmod(m_dir.Path().c_str(), 0711);
            std::vector<std::string> paths = {m_dir.File("ssl_db")};
            for (const auto& entry : std::filesystem::recursive_directory_iterator(paths[0])) {
                paths.push_back(entry.path());
            }
            for (const std::string& path : paths) {
                if (::chown(path.c_str(), proxy->pw_uid, proxy->pw_gid) != 0) {
                    return Unavailable("the certificate store cannot be handed to squid's user: " + path);
                }
            }
        }
        return StartSquid("http_port 127.0.0.1:%PORT% ssl-bump tls-cert=" + m_dir.File("bump.pem") +
                              " tls-key=" + m_dir.File("bump.key") +
                              " generate-host-certificates=on dynamic_cert_mem_cache_size=4MB\n",
                          user + "sslcrtd_program " + kCertgen + " -s " + m_dir.File("ssl_db") +
                              " -M 4MB\nsslcrtd_children 1 startup=1 idle=1\nssl_bump bump all\n"
                              "sslproxy_cert_error allow all\ntls_outgoing_options flags=DONT_VERIFY_PEER\n");
    }

    void Spawn(const std::vector<std::string>& argv, const std::string& name) {
        m_peers.push_back(std::make_unique<test::Subprocess>(argv, m_dir.Path(), m_dir.File(name + ".out"),
                                                             m_dir.File(name + ".err")));
    }

    // Runs a tool to its end; its exit code, -1 when it did not end in time.
    int Finish(const std::vector<std::string>& argv, const std::string& name) const {
        test::Subprocess tool(argv, m_dir.Path(), m_dir.File(name + ".out"), m_dir.File(name + ".err"));
        return tool.Wait(kStartLimit).value_or(-1);
    }

    test::TestCa m_ca;
    test::TlsServer m_verifying{m_ca.Issue("127.0.0.1", "IP:127.0.0.1")};
    test::TlsServer m_selfSigned{test::TestCa::SelfSigned("127.0.0.1", "IP:127.0.0.1")};
    test::TlsServer m_expired{m_ca.Issue("127.0.0.1", "IP:127.0.0.1", true)};
    std::string m_why;
    std::vector<std::unique_ptr<test::Subprocess>> m_peers; // last: killed before the targets go
};

TEST_P(RealPeersTlsTest, OnlyAnotherCertificateThanTheTargetsOwnIsMitm) {
    const std::string address = StartPeer(GetParam().peer);
    if (address.empty()) {
        GTEST_SKIP() << m_why;
    }
    const std::string caFile = m_dir.Write("ca.pem", m_ca.CertificatePem());
    m_dir.Write("list.txt", address + "\r\n");
    struct Target {
        const char* name;
        const test::TlsServer& server;
        bool trusted;       // whether the run trusts the test's CA
        const char* honest; // the HTTPS cell through an honest peer
    };
    const Target targets[] = {
        {"verifying", m_verifying, true, "OK"},
        {"self-signed", m_selfSigned, true, "NG"},
        {"unknown CA", m_verifying, false, "NG"},
        {"expired", m_expired, true, "NG"},
    };
    for (const Target& target : targets) {
        SCOPED_TRACE(target.name);
        const std::string port = std::to_string(target.server.Port());
        std::vector<std::string> args = {"--url",   m_judge.Url(),    "--timeout",        "5", "--log", "run.log",
                                         "--https", "--https-target", "127.0.0.1:" + port};
        if (target.trusted) {
            args.insert(args.end(), {"--ca-file", caFile});
        }
        args.push_back("list.txt");
        const Outcome run = Run(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::size_t row = run.out.find(address + " ");
        ASSERT_NE(row, std::string::npos) << run.out;
        const std::string line = run.out.substr(row, run.out.find("\r\n", row) - row);
        const std::string log = m_dir.Read("run.log");
        const std::string expected = GetParam().intercepts ? "MITM" : target.honest;
        EXPECT_EQ(line.substr(line.rfind(' ') + 1), expected) << line << "\n" << log;
        if (expected == "NG") {
            // Not refused nor cut short: "NG" because the proxy showed the target's own certificate.
            EXPECT_NE(log.find("接続先自身の証明書を検証できません。プロキシは証明書を変えていません"),
                      std::string::npos)
                << log;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Peers, RealPeersTlsTest,
                         ::testing::Values(PeerCase{"tinyproxy", Peer::Tinyproxy, false},
                                           PeerCase{"privoxy", Peer::Privoxy, false},
                                           PeerCase{"squid", Peer::Squid, false},
                                           PeerCase{"mitmproxy", Peer::Mitmproxy, true},
                                           PeerCase{"squid_ssl_bump", Peer::SquidBump, true}),
                         [](const ::testing::TestParamInfo<PeerCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace zandel
