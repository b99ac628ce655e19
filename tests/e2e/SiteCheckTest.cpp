// zandel-check's --site as a user runs it: tinyproxy on loopback in front of the echo judge and of fake sites (one
// plain, one HTTPS with a test CA), the classes read back from the JSON and CSV rows and the history.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZandelCheckFixture.h"
#include "core/history/HistoryStore.h"
#include "support/FakeProxy.h"
#include "support/FakeSite.h"
#include "support/TestTls.h"

namespace zandel {
namespace {

using test::FakeSite;

class SiteCheckTest : public ZandelCheckTest {
protected:
    std::string Site(const std::string& path) const { return "http://" + m_site.Address() + path; }
    std::string Secure() const { return "https://" + m_secure.Address() + "/"; }

    test::TestCa m_ca;
    FakeSite m_site{{{"/shop", FakeSite::Page("200 OK", "", "<h1>Welcome</h1>")},
                     {"/cf", FakeSite::Page("403 Forbidden", "cf-mitigated: challenge\r\n", "checking")},
                     {"/away", FakeSite::Page("302 Found", "Location: https://consent.example.net/\r\n", "")}}};
    FakeSite m_secure{{{"tls", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<h1>Welcome</h1>"}},
                      {},
                      m_ca.Issue("127.0.0.1", "IP:127.0.0.1")};
    test::FakeProxy m_refusing{test::fake::Refuse()};
};

TEST_F(SiteCheckTest, TinyproxyCarriesEverySiteIntoJsonCsvAndTheHistory) {
    StartTinyproxy();
    m_dir.Write("ca.pem", m_ca.CertificatePem());
    m_dir.Write("list.txt", TinyproxyAddress() + "\n" + m_refusing.Address() + "\n");
    const std::vector<std::string> sites{Site("/shop") + "=Welcome", Site("/cf"), Site("/away"), Secure() + "=Nope"};
    std::vector<std::string> args{"--url", m_judge.Url(), "--ca-file", "ca.pem", "--history", "history.sqlite"};
    for (const std::string& site : sites) {
        args.insert(args.end(), {"--site", site});
    }
    for (const char* format : {"json", "csv"}) {
        std::vector<std::string> run = args;
        run.insert(run.end(), {"--format", format, "-o", std::string("out.") + format, "--log", "run.log", "list.txt"});
        const Outcome out = Run(run);
        ASSERT_EQ(out.exitCode, 0) << out.err;
        // What the history holds of each site so far: this run's check and the one before.
        const std::string checks = format == std::string("json") ? "1 of 1" : "2 of 2";
        EXPECT_EQ(out.err, "zandel-check: --site " + Site("/shop") + ": reached in " + checks +
                               " checks of live proxies over the kept days (100%)\n"
                               "zandel-check: --site " +
                               Site("/cf") + ": reached in 0 of " + checks.substr(5) +
                               " checks of live proxies over the kept days (0%)\n"
                               "zandel-check: --site " +
                               Site("/away") + ": reached in 0 of " + checks.substr(5) +
                               " checks of live proxies over the kept days (0%)\n"
                               "zandel-check: --site " +
                               Secure() + ": reached in 0 of " + checks.substr(5) +
                               " checks of live proxies over the kept days (0%)\n");
    }
    const std::string json = m_dir.Read("out.json");
    EXPECT_NE(json.find("\"sites\":{\"" + Site("/shop") + "\":\"reached\",\"" + Site("/cf") + "\":\"captcha\",\"" +
                        Site("/away") + "\":\"block-redirect\",\"" + Secure() + "\":\"keyword-missing\"}}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"address\":\"" + m_refusing.Address() + "\""), std::string::npos);
    EXPECT_NE(json.find("\"sites\":null}"), std::string::npos) << json;
    const std::string csv = m_dir.Read("out.csv");
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")), "address,kind,result,response_ms,https,checked_at,reason," +
                                                   Site("/shop") + "," + Site("/cf") + "," + Site("/away") + "," +
                                                   Secure());
    EXPECT_NE(csv.find(",reached,captcha,block-redirect,keyword-missing\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",,,,\r\n"), std::string::npos) << csv;
    EXPECT_NE(m_dir.Read("run.log").find("ｻｲﾄ結果：" + Site("/shop") + " reached, "), std::string::npos);

    HistoryStore history;
    ASSERT_TRUE(history.OpenForReading(m_dir.File("history.sqlite")));
    const std::vector<SiteUptime> uptimes = history.SiteUptimes(TinyproxyAddress());
    ASSERT_EQ(uptimes.size(), 4U);
    EXPECT_EQ(uptimes[0].site, Site("/shop"));
    EXPECT_EQ(uptimes[0].reached, 2);
    EXPECT_TRUE(history.SiteUptimes(m_refusing.Address()).empty());
}

// Each site that cannot be checked is told on its line, and the run checks the others; a login is never sent.
TEST_F(SiteCheckTest, EachBadSiteIsToldAndLeftOut) {
    StartTinyproxy();
    m_dir.Write("list.txt", TinyproxyAddress() + "\n");
    std::vector<std::string> args{"--url",  m_judge.Url(),
                                  "--site", "http://user:secret@" + m_site.Address() + "/shop",
                                  "--site", Site("/shop") + "=two\nlines",
                                  "--site", "not a url",
                                  "--site", Site("/shop")};
    for (int i = 0; i < 10; ++i) {
        args.insert(args.end(), {"--site", Site("/cf?n=" + std::to_string(i))});
    }
    args.insert(args.end(), {"--format", "json", "-o", "out.json", "--log", "run.log", "list.txt"});
    const Outcome out = Run(args);
    ASSERT_EQ(out.exitCode, 0) << out.err;
    const std::string tail = "; the checks go on without it\n";
    EXPECT_EQ(out.err, "zandel-check: --site http://***@" + m_site.Address() +
                           "/shop: a site with a login is refused (it is never sent through a proxy)" + tail +
                           "zandel-check: --site " + Site("/shop") + ": the keyword must be one line" + tail +
                           "zandel-check: --site not a url: not an http:// or https:// URL" + tail +
                           "zandel-check: --site " + Site("/cf?n=9") + ": at most 10 sites are checked" + tail);
    const std::string json = m_dir.Read("out.json");
    EXPECT_NE(json.find("\"" + Site("/shop") + "\":\"reached\",\"" + Site("/cf?n=0") + "\":\"captcha\""),
              std::string::npos)
        << json;
    EXPECT_EQ(json.find("n=9"), std::string::npos);
    for (const std::string& head : m_site.Heads()) {
        EXPECT_EQ(head.find("Authorization"), std::string::npos) << head;
        EXPECT_EQ(head.find("secret"), std::string::npos) << head;
    }
    EXPECT_EQ(m_site.Heads().size(), 10U);
}

// Without --site the run takes PrxSet.ini's [Sites], told by that name where one cannot be checked; any --site
// outranks the whole of them.
TEST_F(SiteCheckTest, PrxSetSitesServeUnlessTheCommandLineNamesAny) {
    StartTinyproxy();
    m_dir.Write("list.txt", TinyproxyAddress() + "\n");
    m_dir.Write("PrxSet.ini", "[Sites]\r\nSite0=" + Site("/shop") + "=Welcome\r\nSite1=http://me:secret@" +
                                  m_site.Address() + "/\r\n");
    const std::vector<std::string> args{"--url",    m_judge.Url(), "--format", "json",    "-o",
                                        "out.json", "--log",       "run.log",  "list.txt"};
    const Outcome fromFile = Run(args);
    ASSERT_EQ(fromFile.exitCode, 0) << fromFile.err;
    EXPECT_EQ(fromFile.err,
              "zandel-check: [Sites] http://***@" + m_site.Address() +
                  "/: a site with a login is refused (it is never sent through a proxy); the checks go on "
                  "without it\n");
    EXPECT_NE(m_dir.Read("out.json").find("\"sites\":{\"" + Site("/shop") + "\":\"reached\"}"), std::string::npos)
        << m_dir.Read("out.json");

    std::vector<std::string> overridden{"--site", Site("/cf")};
    overridden.insert(overridden.end(), args.begin(), args.end());
    const Outcome fromLine = Run(overridden);
    ASSERT_EQ(fromLine.exitCode, 0) << fromLine.err;
    EXPECT_EQ(fromLine.err, "");
    EXPECT_NE(m_dir.Read("out.json").find("\"sites\":{\"" + Site("/cf") + "\":\"captcha\"}"), std::string::npos)
        << m_dir.Read("out.json");
    for (const std::string& head : m_site.Heads()) {
        EXPECT_EQ(head.find("secret"), std::string::npos) << head;
    }
}

} // namespace
} // namespace zandel
