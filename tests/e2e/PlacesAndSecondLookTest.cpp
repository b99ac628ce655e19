// zandel-check's places of exit (--geo-country, --geo-asn, --country) and its second look (--twice), as a user runs
// them: the program as a process of its own, fake proxies and the echo judge on loopback, databases written at test
// time (support/make-test-mmdb.pl: 127/8 is JP in AS16509, 2001:db8::/32 DE in AS64501, ::1 NL, 203.0.113/24
// registered in the US).
#include <chrono>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZandelCheckFixture.h"
#include "support/FakeProxy.h"
#include "support/TestMmdb.h"

namespace zandel {
namespace {

using test::FakeProxy;
using test::FakeScript;
namespace fake = test::fake;

// A judge's page as a proxy would bring it back, seen from `remote`.
FakeScript PageFrom(const std::string& remote) {
    return fake::AnswerAndClose("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nREMOTE_ADDR=" + remote +
                                "\r\nREQUEST_METHOD=GET\r\n");
}

class PlacesTest : public ZandelCheckTest {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_NE(test::MakeTestMmdb(m_dir.Path(), "country.mmdb", "DBIP-Country-Lite", "country", error), "") << error;
        ASSERT_NE(test::MakeTestMmdb(m_dir.Path(), "asn.mmdb", "GeoLite2-ASN", "asn", error), "") << error;
        ASSERT_NE(test::MakeTestMmdb(m_dir.Path(), "city.mmdb", "GeoLite2-City", "city", error), "") << error;
        m_dir.Write("list.txt", m_us.Address() + "\n" + m_de.Address() + "\n" + m_forward.Address() + "\n" +
                                    m_refusing.Address() + "\n");
    }
    std::string Jq(const std::string& filter, const std::string& file) {
        test::Subprocess jq({"/usr/bin/jq", "-c", filter, file}, m_dir.Path(), m_dir.File("jq.out"),
                            m_dir.File("jq.err"));
        EXPECT_EQ(jq.Wait(), 0) << m_dir.Read("jq.err");
        return m_dir.Read("jq.out");
    }

    FakeProxy m_us{PageFrom("203.0.113.9")};
    FakeProxy m_de{PageFrom("2001:db8::7")};
    FakeProxy m_forward{fake::ForwardToJudge({})}; // the judge sees 127.0.0.1
    FakeProxy m_refusing{fake::Refuse(), 0, test::LoopbackFamily::Ipv6};
};

// The address the judge saw, not the proxy's own, unless no judge graded the check.
TEST_F(PlacesTest, EachRowTakesThePlaceOfWhereItsProxyLeaves) {
    const Outcome out = Run({"--url", m_judge.Url(), "--jobs", "4", "--geo-country", "country.mmdb", "--geo-asn",
                             "asn.mmdb", "--format", "json", "-o", "out.json", "--log", "run.log", "list.txt"});
    ASSERT_EQ(out.exitCode, 0) << out.err;
    EXPECT_EQ(out.err, "");
    EXPECT_EQ(Jq("[.[] | [.result, .country, .country_name, .asn, .as_name, .datacenter]]", "out.json"),
              "[[\"Anonymous(A)\",\"US\",\"United States\",null,null,null],"
              "[\"Anonymous(A)\",\"DE\",\"Germany\",64501,\"Example Six\",false],"
              "[\"Anonymous(A)\",\"JP\",\"Japan\",16509,\"Amazon.com, Inc.\",true],"
              "[\"NG\",\"NL\",\"Netherlands\",null,null,null]]\n")
        << m_dir.Read("run.log");

    // Another list of hosting networks, and the rows of some countries only, in every format.
    m_dir.Write("hosting.txt", "# ours\nAS64501 Example Six\n");
    const Outcome some = Run({"--url", m_judge.Url(), "--jobs", "4", "--geo-country", "country.mmdb", "--geo-asn",
                              "asn.mmdb", "--datacenter-asns", "hosting.txt", "--country", "jp,DE", "--format", "csv",
                              "--log", "run.log", "list.txt"});
    ASSERT_EQ(some.exitCode, 0) << some.err;
    EXPECT_EQ(some.out.substr(0, some.out.find("\r\n")),
              "address,kind,result,response_ms,https,checked_at,reason,country,country_name,asn,as_name,datacenter");
    EXPECT_NE(some.out.find("\r\n" + m_de.Address() + ",http,Anonymous(A),"), std::string::npos) << some.out;
    EXPECT_NE(some.out.find(",DE,Germany,64501,Example Six,true\r\n"), std::string::npos) << some.out;
    EXPECT_NE(some.out.find(",JP,Japan,16509,\"Amazon.com, Inc.\",false\r\n"), std::string::npos) << some.out;
    EXPECT_EQ(some.out.find(m_us.Address()), std::string::npos) << some.out;
    EXPECT_EQ(some.out.find(m_refusing.Address()), std::string::npos) << some.out;

    const Outcome txt = Run({"--url", m_judge.Url(), "--geo-country", "country.mmdb", "--country", "NL", "-o",
                             "out.txt", "--log", "run.log", "list.txt"});
    ASSERT_EQ(txt.exitCode, 0) << txt.err;
    EXPECT_EQ(m_dir.Read("out.txt").substr(0, m_refusing.Address().size() + 4), m_refusing.Address() + " NG ");
    EXPECT_EQ(m_dir.Read("out.txt").find("\r\n"), m_dir.Read("out.txt").size() - 2) << m_dir.Read("out.txt");
}

// A database that cannot be used is told on one line; the checks go on without its columns, and the output is what
// it would be without it.
TEST_F(PlacesTest, AnUnusableDatabaseLeavesItsColumnsOut) {
    m_dir.Write("cut.mmdb", m_dir.Read("asn.mmdb").substr(0, 600));
    const Outcome wrong = Run({"--url", m_judge.Url(), "--jobs", "4", "--geo-country", "city.mmdb", "--geo-asn",
                               "asn.mmdb", "--format", "csv", "--log", "run.log", "list.txt"});
    ASSERT_EQ(wrong.exitCode, 0) << wrong.err;
    EXPECT_EQ(wrong.err, std::string("zandel-check: --geo-country: city.mmdb") +
                             ": a country database is needed, this is a GeoLite2-City database; the checks go on "
                             "without its columns\n");
    EXPECT_EQ(wrong.out.substr(0, wrong.out.find("\r\n")),
              "address,kind,result,response_ms,https,checked_at,reason,asn,as_name,datacenter");

    const Outcome cut =
        Run({"--url", m_judge.Url(), "--geo-asn", "cut.mmdb", "--format", "json", "--log", "run.log", "list.txt"});
    ASSERT_EQ(cut.exitCode, 0) << cut.err;
    EXPECT_EQ(cut.err.rfind("zandel-check: --geo-asn: cut.mmdb: not a whole MaxMind-format database (", 0), 0U)
        << cut.err;
    EXPECT_EQ(cut.err.find('\n'), cut.err.size() - 1) << cut.err;
    EXPECT_EQ(cut.out.find("\"asn\""), std::string::npos) << cut.out;
    EXPECT_NE(cut.out.find("\"reason\""), std::string::npos) << cut.out;

    const Outcome noCountries = Run({"--country", "JP", "list.txt"});
    EXPECT_EQ(noCountries.exitCode, 2);
    EXPECT_EQ(noCountries.err.substr(0, noCountries.err.find('\n')),
              "zandel-check: --country needs a country database (--geo-country FILE)");
}

// What PrxSet.ini's [Geo] and [Twice] give a run without the options, and the options over them: the judge sees
// 127.0.0.1 (JP, AS16509, a cloud's on the program's own list). A file there that cannot be used is told as the
// option's is, and the run goes on without it.
struct IniRow {
    const char* name;
    const char* ini;
    std::vector<std::string> args;
    const char* err;
    const char* places; // country, asn and datacenter of the row
    const char* notice; // the second look's, or "" for none
};

class IniPlacesTest : public PlacesTest, public ::testing::WithParamInterface<IniRow> {};

TEST_P(IniPlacesTest, TheFileServesWhereNoOptionIsGiven) {
    const IniRow& row = GetParam();
    m_dir.Write("hosting.txt", "AS64501 Example Six\n");
    m_dir.Write("list.txt", m_forward.Address() + "\n");
    m_dir.Write("PrxSet.ini", row.ini);
    std::vector<std::string> args = {"--url", m_judge.Url(), "--format", "json", "-o", "out.json", "--log", "run.log"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    args.emplace_back("list.txt");
    const Outcome out = Run(args);
    ASSERT_EQ(out.exitCode, 0) << out.err;
    EXPECT_EQ(out.err, row.err);
    EXPECT_EQ(Jq("[.[] | [.country, .asn, .datacenter]]", "out.json"), std::string(row.places) + "\n");
    const std::string log = m_dir.Read("run.log");
    EXPECT_EQ(log.find(std::string(row.notice).empty() ? "もう一度ﾁｪｯｸします" : row.notice) != std::string::npos,
              !std::string(row.notice).empty())
        << log;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    PrxSet, IniPlacesTest,
    ::testing::Values(
        IniRow{"FileAlone", "[Geo]\r\nCountryFile=country.mmdb\r\nAsnFile=asn.mmdb\r\n[Twice]\r\nOn=1\r\nPause=0\r\n", {"--country", "jp"}, "", "[[\"JP\",16509,true]]", "使用可能だった1件を0秒後にもう一度ﾁｪｯｸします"},
        IniRow{"OptionsOverFile", "[Geo]\r\nCountryFile=city.mmdb\r\nAsnFile=gone.mmdb\r\nDatacenterFile=hosting.txt\r\n[Twice]\r\nPause=60\r\n", {"--geo-country", "country.mmdb", "--geo-asn", "asn.mmdb", "--datacenter-asns", "hosting.txt", "--twice", "--twice-pause", "0"}, "", "[[\"JP\",16509,false]]", "使用可能だった1件を0秒後にもう一度ﾁｪｯｸします"},
        IniRow{"BadDatabaseInFile", "[Geo]\r\nCountryFile=city.mmdb\r\nAsnFile=asn.mmdb\r\nDatacenterFile=hosting.txt\r\n", {}, "zandel-check: PrxSet.ini [Geo] CountryFile: city.mmdb: a country database is needed, this is a GeoLite2-City database; the checks go on without its columns\n", "[[null,16509,false]]", ""},
        IniRow{"MissingHostingFile", "[Geo]\r\nAsnFile=asn.mmdb\r\nDatacenterFile=gone.txt\r\n", {}, "zandel-check: PrxSet.ini [Geo] DatacenterFile: cannot read gone.txt: No such file or directory; the checks go on with the program's own list\n", "[[null,16509,true]]", ""}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The form it comes in: a proxy that answers once and then is gone. Asked again on a fresh connection after the
// pause, it fails and is "不安定", its reason naming the second failure, and it keeps the place where it left when it
// answered (the judge saw 127.0.0.1, JP; its own address, ::1, is NL); one that answers twice stays as it was.
TEST_F(PlacesTest, AProxyThatAnswersOnceThenDiesIsUnstable) {
    FakeProxy steady(fake::ForwardToJudge({}));
    auto dying = std::make_unique<FakeProxy>(fake::ForwardToJudge({}), 0, test::LoopbackFamily::Ipv6);
    FakeProxy refusing(fake::Refuse());
    const std::string dyingAddress = dying->Address();
    m_dir.Write("list.txt", steady.Address() + "\n" + dyingAddress + "\n" + refusing.Address() + "\n");
    test::Subprocess run({ZANDEL_CHECK_BIN, "--url", m_judge.Url(), "--jobs", "3", "--twice", "--twice-pause", "2",
                          "--geo-country", "country.mmdb", "--format", "json", "-o", "out.json", "--log", "run.log",
                          "list.txt"},
                         m_dir.Path(), m_dir.File("out"), m_dir.File("err"));
    ASSERT_TRUE(dying->WaitForFinished(1)) << m_dir.Read("run.log");
    dying.reset(); // its port now refuses
    ASSERT_EQ(run.Wait(), 0) << m_dir.Read("err");
    EXPECT_EQ(m_dir.Read("err"), "");
    EXPECT_EQ(
        Jq("[.[] | [.result, .reason, .country]]", "out.json"),
        "[[\"Anonymous(A)\",\"結果：使用可能なプロキシサーバです\",\"JP\"],"
        "[\"不安定\",\"結果：2回目のﾁｪｯｸで失敗しました（サーバに接続できない、あるいはソケットのエラーと思われます）\","
        "\"JP\"],"
        "[\"NG\",\"結果：サーバに接続できない、あるいはソケットのエラーと思われます\",\"JP\"]]\n")
        << m_dir.Read("run.log");
    EXPECT_EQ(steady.Received().size(), 2U) << "asked once more on a connection of its own";
    EXPECT_NE(m_dir.Read("run.log").find("NOTICE>使用可能だった2件を2秒後にもう一度ﾁｪｯｸします"), std::string::npos)
        << m_dir.Read("run.log");
}

// A stop during the pause, or while the second look waits for its proxy, leaves every row as the first look graded
// it: the second look says nothing of a proxy it did not finish.
TEST_F(ZandelCheckTest, AStopDuringTheSecondLookLeavesTheFirstGrade) {
    FakeScript gated = fake::ForwardToJudge({});
    gated.insert(gated.begin(), fake::Gate());
    FakeProxy proxy(gated);
    const std::string frame = "●---" + proxy.Address() + "---●\n";
    m_dir.Write("list.txt", proxy.Address() + "\n");
    for (const char* pause : {"60", "0"}) {
        proxy.OpenGate(); // the first look goes through, the second waits at the gate
        test::Subprocess run({ZANDEL_CHECK_BIN, "--url", m_judge.Url(), "--twice", "--twice-pause", pause, "-o",
                              "out.txt", "--log", "run.log", "list.txt"},
                             m_dir.Path(), m_dir.File("out"), m_dir.File("err"));
        const std::string waiting = std::string(pause) == "0" ? frame + "START>プロキシチェック開始\nCONNECT>接続成功\n"
                                                                        "SEND>リクエスト送信成功\n"
                                                              : std::string();
        ASSERT_TRUE(test::WaitForFileText(m_dir.File("run.log"), "使用可能だった1件を" + std::string(pause) +
                                                                     "秒後にもう一度ﾁｪｯｸします\n" + waiting))
            << m_dir.Read("run.log");
        run.Signal(SIGINT);
        EXPECT_EQ(run.Wait(std::chrono::seconds(10)), 1) << pause;
        EXPECT_EQ(m_dir.Read("out.txt").substr(0, proxy.Address().size() + 14), proxy.Address() + " Anonymous(A) ")
            << pause << "\n"
            << m_dir.Read("run.log");
    }
}

} // namespace
} // namespace zandel
