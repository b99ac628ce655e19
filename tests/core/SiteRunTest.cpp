// The sites fetched through each live proxy, as a run makes them: a proxy on loopback that plays the sites behind it
// too, its pages one fixture per class and the traps between them, one at a time and many at once.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CheckRunFixture.h"
#include "core/check/TlsStep.h"
#include "support/FakeProxy.h"
#include "support/FakeSite.h"
#include "support/TempDir.h"
#include "support/TestTls.h"

namespace zandel::test {
namespace {

using C = SiteClass;

class RecordsByRow final : public ICheckRecorder {
public:
    void Recorded(int row, const CheckRecord& record) override {
        std::lock_guard lock(m_mutex);
        m_records[row] = record;
    }
    CheckRecord Of(int row) {
        std::lock_guard lock(m_mutex);
        return m_records[row];
    }

private:
    std::mutex m_mutex;
    std::map<int, CheckRecord> m_records;
};

// One page of a site and what it must read as; the site's URL is the proxy's own address with the path (or an
// https:// authority the proxy tunnels to).
struct Fixture {
    std::string url; // "/path" on the plain site, or "https://host:port/"
    std::string page;
    std::string keyword;
    SiteClass expected;
};

const std::string kChallenge = "<title>Just a moment...</title><script>window._cf_chl_opt={}</script>";
const std::string kSecureSite = "127.0.0.1:19151";
const std::string kSelfSigned = "127.0.0.1:19152";

std::vector<Fixture> Fixtures() {
    const auto page = FakeSite::Page;
    const std::string html = "Content-Type: text/html\r\n";
    // clang-format off
    return {
        {"/shop", page("200 OK", html, "<h1>Welcome</h1>"), "Welcome", C::Reached},
        {"/plain", page("200 OK", html, "<p>hi</p>"), "", C::Reached},
        {"/other", page("200 OK", html, "<p>Hello</p>"), "Welcome", C::KeywordMissing},
        {"/forbidden", page("403 Forbidden", html, "no"), "", C::Blocked},
        {"/legal", page("451 Unavailable For Legal Reasons", html, ""), "", C::Blocked},
        {"/slow-down", page("429 Too Many Requests", "Retry-After: 9\r\n", ""), "", C::RateLimited},
        {"/cf", page("403 Forbidden", "cf-mitigated: challenge\r\n" + html, "<p>checking</p>"), "", C::Captcha},
        {"/moment", page("200 OK", html, kChallenge), "", C::Captcha},
        {"/consent", page("302 Found", "Location: https://consent.example.net/?continue=1\r\n", ""), "", C::BlockRedirect},
        {"/moved", page("301 Moved Permanently", "Location: /shop\r\n", ""), "", C::Reached},
        {"/gone", page("404 Not Found", "", ""), "", C::Failed},
        {"/chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWelc\r\n3\r\nome\r\n0\r\n\r\n", "Welcome", C::Reached},
        {"/silent", "", "", C::Failed},
        {"https://" + kSecureSite + "/", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<h1>Welcome</h1>", "Welcome", C::Reached},
        {"https://" + kSelfSigned + "/", "HTTP/1.1 200 OK\r\n\r\nWelcome", "", C::Failed},
    };
    // clang-format on
}

class SiteRunTest : public CheckRunFixture, public ::testing::WithParamInterface<int> {
protected:
    SiteRunTest() {
        m_settings.ParallelChecks = GetParam();
        m_engine.SetRecorder(&m_records);
        std::string error;
        m_engine.SetTunnelTrust(TunnelTrust::Load(m_dir.Write("ca.pem", m_ca.CertificatePem()), error));
    }

    static std::map<std::string, std::string> Pages() {
        std::map<std::string, std::string> pages;
        for (const Fixture& fixture : Fixtures()) {
            pages[fixture.url.rfind("https://", 0) == 0 ? "tls://" + fixture.url.substr(8, fixture.url.size() - 9)
                                                        : fixture.url] = fixture.page;
        }
        return pages;
    }

    std::string Url(const std::string& path) const {
        return path[0] == '/' ? "http://" + m_proxy.Address() + path : path;
    }

    // Checks the proxy of row 0 on the sites, and gives their classes in order.
    std::vector<SiteVerdict> CheckOn(const std::vector<std::string>& sites) {
        std::vector<SiteTarget> targets;
        for (const std::string& site : sites) {
            std::string error;
            targets.push_back(*ParseSite(site, error));
        }
        m_engine.SetSites(targets);
        m_rows.SetRowSelected(0, true);
        RunToEnd();
        return m_records.Of(0).sites;
    }

    TempDir m_dir;
    TestCa m_ca;
    FakeSite m_proxy{Pages(),
                     {{kSecureSite, m_ca.Issue("127.0.0.1", "IP:127.0.0.1")},
                      {kSelfSigned, TestCa::SelfSigned("127.0.0.1", "IP:127.0.0.1")}}};
    RecordsByRow m_records;
};

TEST_P(SiteRunTest, EveryFixtureReadsAsItsClass) {
    AddRow(m_proxy.Address());
    const std::vector<Fixture> fixtures = Fixtures();
    int right = 0;
    for (std::size_t first = 0; first < fixtures.size(); first += kMaxSites) {
        std::vector<std::string> sites;
        for (std::size_t i = first; i < std::min(first + kMaxSites, fixtures.size()); ++i) {
            sites.push_back(Url(fixtures[i].url) + (fixtures[i].keyword.empty() ? "" : "=" + fixtures[i].keyword));
        }
        const std::vector<SiteVerdict> verdicts = CheckOn(sites);
        ASSERT_EQ(verdicts.size(), sites.size()) << m_host.Log();
        for (std::size_t i = 0; i < verdicts.size(); ++i) {
            const Fixture& fixture = fixtures[first + i];
            EXPECT_EQ(verdicts[i].site, Url(fixture.url));
            EXPECT_EQ(SiteClassName(verdicts[i].verdict), SiteClassName(fixture.expected)) << fixture.url;
            right += verdicts[i].verdict == fixture.expected ? 1 : 0;
        }
    }
    EXPECT_GE(right * 100, static_cast<int>(fixtures.size()) * 99);
    // One line names them; the sites' own stages are no step of the proxy's check.
    EXPECT_NE(m_host.Log().find("ｻｲﾄ結果：" + Url("/shop") + " reached, " + Url("/plain") + " reached, "),
              std::string::npos)
        << m_host.Log();
    const std::string log = m_host.Log();
    int sends = 0;
    for (std::size_t at = log.find("SEND>"); at != std::string::npos; at = log.find("SEND>", at + 1)) {
        ++sends;
    }
    EXPECT_EQ(sends, 2) << log;
    // Nothing but the site's own address is asked of the proxy, and no login goes with it.
    for (const std::string& head : m_proxy.Heads()) {
        EXPECT_EQ(head.find("Authorization"), std::string::npos) << head;
    }
}

// A site that answers without end costs what its limit allows; one that drips its answer takes its share of the
// time-out, and the site after it still has the rest.
TEST_P(SiteRunTest, AFloodIsCutAtItsLimitAndADripLeavesTheOthersTheirTime) {
    AddRow(m_proxy.Address());
    const std::vector<SiteVerdict> verdicts = CheckOn({Url("/flood"), Url("/drip"), Url("/shop") + "=Welcome"});
    ASSERT_EQ(verdicts.size(), 3U) << m_host.Log();
    EXPECT_EQ(verdicts[0].verdict, C::Reached);
    EXPECT_EQ(verdicts[1].verdict, C::Failed);
    EXPECT_EQ(verdicts[2].verdict, C::Reached);
    // What the kernel's buffers took besides, but nowhere near the gigabyte it would have sent.
    EXPECT_LT(m_proxy.FloodBytes(), std::size_t{32} << 20);
    EXPECT_NE(m_records.Of(0).result, kResultNg);
}

// A site's tunnel borrows the HTTPS step's report only while it lasts: the proxy's HTTPS cell is the step's own.
TEST_P(SiteRunTest, TheHttpsStepKeepsItsFindingsBesideTheSites) {
    m_settings.HttpsCheckOn = true;
    m_settings.HttpsTarget = kSecureSite;
    AddRow(m_proxy.Address());
    const std::vector<SiteVerdict> verdicts = CheckOn({"https://" + kSelfSigned + "/", Url("/forbidden")});
    ASSERT_EQ(verdicts.size(), 2U) << m_host.Log();
    EXPECT_EQ(verdicts[0].verdict, C::Failed);
    EXPECT_EQ(verdicts[1].verdict, C::Blocked);
    EXPECT_EQ(m_records.Of(0).https, "OK") << m_host.Log();
}

// A proxy that fails its judge check is asked for no site, and no site's class is kept for it.
TEST_P(SiteRunTest, AProxyThatFailsFetchesNoSite) {
    FakeProxy refusing{fake::AnswerAndClose("HTTP/1.0 403 Forbidden\r\n\r\n")};
    AddRow(refusing.Address());
    EXPECT_TRUE(CheckOn({Url("/shop")}).empty());
    ASSERT_TRUE(refusing.WaitForFinished(1));
    EXPECT_EQ(refusing.Received().size(), 1U);
    EXPECT_EQ(m_host.Log().find("ｻｲﾄ結果"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Widths, SiteRunTest, ::testing::Values(1, 3));

} // namespace
} // namespace zandel::test
