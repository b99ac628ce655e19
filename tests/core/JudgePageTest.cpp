#include "core/check/JudgePage.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <arpa/inet.h>
#include <sys/stat.h>

#include "core/check/StrictGrade.h"
#include "support/TempDir.h"

namespace zandel {
namespace {

const std::string kKey = "judge-key-0123";

std::string Output(const std::string& command) {
    std::string output;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[4096];
        for (std::size_t got = 0; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
            output.append(chunk, got);
        }
        ::pclose(pipe);
    }
    return output;
}
const std::string kNonce = "00112233445566778899aabbccddeeff";

OwnAddresses OursOf(const JudgeBaseline& baseline) {
    return {{baseline.ourAddress, baseline.ourAddressText}};
}

TEST(JudgePageTest, AnswersAreSplitAndChunkedBodiesJoined) {
    struct Case {
        const char* answer;
        const char* body;
        bool whole;
    };
    // clang-format off
    const Case cases[] = {
        {"HTTP/1.0 200 OK\r\nA: b\r\n\r\nX=1\n", "X=1\n", true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nX=1\nextra", "X=1", true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\r\nX=1\n", "X=1\n", false},
        {"HTTP/1.1 200 OK\r\ntransfer-encoding: chunked\r\n\r\n4\r\nX=1\n\r\n2;ext\r\nY=\r\n0\r\n\r\n", "X=1\nY=", true},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nX=1\n", "X=1\n", false},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", "", false},
        {"HTTP/1.0 200 OK\nA: b\n\nX=1\n", "X=1\n", true},
        {"HTTP/1.0 200 OK\r\nA: b\r\n\r\nX=1\n\nY=2\n", "X=1\n\nY=2\n", true},
    };
    // clang-format on
    for (const Case& c : cases) {
        HttpAnswer answer;
        ASSERT_TRUE(SplitHttpAnswer(c.answer, answer)) << c.answer;
        EXPECT_EQ(answer.body, c.body) << c.answer;
        EXPECT_EQ(answer.whole, c.whole) << c.answer;
    }
    HttpAnswer none;
    EXPECT_FALSE(SplitHttpAnswer("HTTP/1.0 200 OK\r\nA: b\r\n", none));
}

TEST(JudgePageTest, VariablesAreReadFromTextAndHtmlPages) {
    // Read from a page that is gone by the time they are looked at: the variables keep their own text.
    const JudgeVariables variables = ParseJudgeVariables(
        std::string("<html><body><pre>\nHTTP_VIA=1.1 squid<br>\r\n<tr><td>HTTP_X_A</td></tr>\n"
                    "REMOTE_ADDR = 10.0.0.1\nHTTP_X_TEST=a&lt;b&amp;&#99;&#x64;\nnot a variable\nlower=case\n"
                    "<b>HTTP_FROM:</b> me@example\n"));
    const std::vector<JudgeVariables::Variable> expected = {
        {"HTTP_VIA", "1.1 squid"}, {"REMOTE_ADDR", "10.0.0.1"}, {"HTTP_X_TEST", "a<b&cd"}, {"HTTP_FROM", "me@example"}};
    EXPECT_EQ(std::vector<JudgeVariables::Variable>(variables.begin(), variables.end()), expected);
}

// A page graded where its answer lies reads as the same page copied: lines with markup are rewritten beside it.
TEST(JudgePageTest, VariablesReadInPlaceAreThoseOfTheCopy) {
    const std::string pages[] = {
        "REMOTE_ADDR=10.0.0.1\r\nHTTP_VIA=1.1 squid\r\nHTTP_X_EMPTY=\r\n",
        "<pre>\nREMOTE_ADDR=10.0.0.1\nHTTP_X_A=a&amp;b\nHTTP_VIA=1.1 squid\n<b>HTTP_FROM:</b> me\nHTTP_X_LAST=z",
        "HTTP_X_FIRST=1\n<i>HTTP_X_SECOND</i>=2\nHTTP_X_THIRD=3\n",
    };
    for (const std::string& page : pages) {
        const JudgeVariables copied(page);
        const JudgeVariables inPlace = JudgeVariables::InPlace(page);
        EXPECT_EQ(std::vector<JudgeVariables::Variable>(inPlace.begin(), inPlace.end()),
                  std::vector<JudgeVariables::Variable>(copied.begin(), copied.end()))
            << page;
    }
}

TEST(JudgePageTest, NonceIsAddedToTheQuery) {
    EXPECT_EQ(UrlWithNonce("http://j/e.cgi", "ab"), "http://j/e.cgi?zandel-nonce=ab");
    EXPECT_EQ(UrlWithNonce("http://j/e.cgi?x=1", "ab"), "http://j/e.cgi?x=1&zandel-nonce=ab");
    EXPECT_EQ(UrlWithNonce("http://j/e.cgi?#top", "ab"), "http://j/e.cgi?zandel-nonce=ab");
    EXPECT_EQ(MakeJudgeNonce().size(), 32u);
    EXPECT_NE(MakeJudgeNonce(), MakeJudgeNonce());
}

// The shipped judge script, run as a web server runs a CGI program, against the verifier.
class SignedJudgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("perl -MDigest::SHA -e 1 >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "no perl with Digest::SHA";
        }
        m_script = std::string(ZANDEL_SOURCE_DIR) + "/res/zandel-judge.cgi";
        ::mkdir((m_dir.Path() + "/keys").c_str(), 0700);
    }
    // The key where the web server names it, readable by its owner alone unless `mode` says otherwise.
    void WriteKey(const std::string& text, mode_t mode = 0600) {
        std::ofstream(KeyPath()) << text;
        ::chmod(KeyPath().c_str(), mode);
    }
    std::string KeyPath() const { return m_dir.Path() + "/keys/zandel-judge.key"; }
    HttpAnswer Page(const std::string& query, const std::string& documentRoot = "/var/www") {
        const std::string command = "cd / && env -i REMOTE_ADDR=10.0.0.1 HTTP_VIA='1.1 x' QUERY_STRING='" + query +
                                    "' DOCUMENT_ROOT='" + documentRoot + "' ZANDEL_JUDGE_KEY_FILE='" + KeyPath() +
                                    "' SCRIPT_FILENAME='" + m_dir.Path() + "/zandel-judge.cgi' perl '" + m_script + "'";
        const std::string output = "HTTP/1.1 200 OK\r\n" + Output(command);
        HttpAnswer answer;
        EXPECT_TRUE(SplitHttpAnswer(output, answer)) << output;
        return answer;
    }

    test::TempDir m_dir;
    std::string m_script;
};

TEST_F(SignedJudgeTest, JudgePageVerifiesAndEveryChangeIsTold) {
    WriteKey(kKey + "\n");
    const HttpAnswer page = Page("a=1&zandel-nonce=" + kNonce);
    EXPECT_EQ(VerifyJudgeSignature(page, kKey, kNonce).check, SignatureCheck::Verified) << page.body;
    EXPECT_TRUE(FindVariable(ParseJudgeVariables(page.body), "REMOTE_ADDR").has_value());

    EXPECT_EQ(VerifyJudgeSignature(page, "another-key", kNonce).check, SignatureCheck::Rewritten);
    EXPECT_EQ(VerifyJudgeSignature(page, kKey, "ffeeddccbbaa99887766554433221100").check, SignatureCheck::Stale);

    struct Change {
        std::string from;
        std::string to;
        SignatureCheck check;
    };
    const Change changes[] = {
        {"1.1 x", "1.1 y", SignatureCheck::Rewritten},
        {"</pre></body></html>\n", "</pre><script src=//miner></script></body></html>\n", SignatureCheck::Rewritten},
        {"ZANDEL_HMAC=", "ZANDEL_HMAC=0\nZANDEL_HMAC=", SignatureCheck::Malformed},
        {"ZANDEL_NONCE=", "ZANDEL_NONCE=1\nZANDEL_NONCE=", SignatureCheck::Malformed},
        {"ZANDEL_HMAC=", "ZANDEL_HMAC=zz", SignatureCheck::Malformed},
        {"ZANDEL_HMAC=", "ZANDEL-HMAC=", SignatureCheck::Unsigned},
    };
    for (const Change& change : changes) {
        HttpAnswer changed = page;
        changed.body.replace(changed.body.find(change.from), change.from.size(), change.to);
        EXPECT_EQ(VerifyJudgeSignature(changed, kKey, kNonce).check, change.check) << change.to;
    }
    HttpAnswer cut = page;
    cut.body.resize(cut.body.find("ZANDEL_NONCE"));
    cut.whole = false;
    EXPECT_EQ(VerifyJudgeSignature(cut, kKey, kNonce).check, SignatureCheck::Incomplete);
}

// A key the judge cannot use, or must not (another user may read it, or a request may fetch it), signs nothing, and
// the judge says why without naming any path of its server.
TEST_F(SignedJudgeTest, JudgeWithoutAUsableKeySaysWhy) {
    struct Case {
        const char* key; // null: no key file
        mode_t mode;
        bool inDocumentRoot;
        const char* detail;
    };
    const Case cases[] = {
        {"", 0600, false, "empty"},
        {"two words\n", 0600, false, "blanks"},
        {nullptr, 0600, false, "cannot be read"},
        {"judge-key-0123\n", 0644, false, "other users"},
        {"judge-key-0123\n", 0604, false, "other users"},
        {"judge-key-0123\n", 0640, true, "document root"},
    };
    for (const Case& c : cases) {
        ::unlink(KeyPath().c_str());
        if (c.key != nullptr) {
            WriteKey(c.key, c.mode);
        }
        const SignatureVerdict verdict = VerifyJudgeSignature(
            Page("zandel-nonce=" + kNonce, c.inDocumentRoot ? m_dir.Path() : "/var/www"), kKey, kNonce);
        EXPECT_EQ(verdict.check, SignatureCheck::JudgeError) << c.detail;
        EXPECT_NE(verdict.detail.find(c.detail), std::string::npos) << verdict.detail;
        EXPECT_EQ(verdict.detail.find(m_dir.Path()), std::string::npos) << verdict.detail;
    }
    // Readable by the web server's group is how it is meant to be.
    WriteKey(kKey + "\n", 0640);
    EXPECT_EQ(VerifyJudgeSignature(Page("zandel-nonce=" + kNonce), kKey, kNonce).check, SignatureCheck::Verified);
    // A request without a nonce is simply unsigned.
    EXPECT_EQ(VerifyJudgeSignature(Page("x=1"), kKey, kNonce).check, SignatureCheck::Unsigned);
}

TEST(JudgeKeyTest, KeysArePrintableAsciiWithoutBlanks) {
    EXPECT_TRUE(IsValidJudgeKey("abcdefgh"));
    EXPECT_FALSE(IsValidJudgeKey("short"));
    EXPECT_FALSE(IsValidJudgeKey("with blank"));
    EXPECT_FALSE(IsValidJudgeKey("ｶﾀｶﾅkeykey"));
    EXPECT_FALSE(IsValidJudgeKey(std::string(257, 'k')));
}

TEST(StrictGradeTest, OurAddressIsFoundInAnySpelling) {
    IpBytes v4{};
    IpBytes v6{};
    ASSERT_TRUE(ParseIpBytes("127.0.0.1", v4));
    ASSERT_TRUE(ParseIpBytes("2001:db8::1", v6));
    struct Case {
        const char* text;
        const IpBytes* address;
        bool found;
    };
    const Case cases[] = {
        {"127.0.0.1", &v4, true},
        {"10.0.0.9, 127.000.000.001", &v4, true},
        {"for=127.0.0.1:51234;proto=http", &v4, true},
        {"::ffff:127.0.0.1", &v4, true},
        {"[::FFFF:7F00:1]", &v4, true},
        {"ip:127.0.0.1", &v4, true},
        {"1.1 proxy (Client-IP:127.0.0.1)", &v4, true},
        {"client 2130706433", &v4, true},
        {"0x7F000001:80", &v4, true},
        {"017700000001", &v4, true},
        {"0177.0.0.1", &v4, true},
        {"127.1.", &v4, true},
        {"\"127.0.0.1:8080\"", &v4, true},
        {"0x7f.1", &v4, true},
        {"0177.0x0.0.1", &v4, true},
        {"127.0.1", &v4, true},
        {"2130706434", &v4, false},
        {"6425673729", &v4, false},
        {"0x17F000001", &v4, false},
        {"0127.0.0.1", &v4, false},
        {"127.65536", &v4, false},
        {"Wed, 09 Dec 2026 23:55:59 GMT", &v4, false},
        {"127.0.0.10", &v4, false},
        {"1127.0.0.1", &v4, false},
        {"127.0.0", &v4, false},
        {"for=\"[2001:DB8:0:0::1]:443\"", &v6, true},
        {"2001:0db8:0000:0000:0000:0000:0000:0001%eth0", &v6, true},
        {"2001:db8::10", &v6, false},
        {"by=2001:db8::2", &v6, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MentionsAddress(c.text, *c.address), c.found) << c.text;
    }
}

// Every way of writing 127.0.0.1 that a program reads as it, and none other: our reading against the C library's,
// over every join of one to four parts of the kinds that go wrong (bases, widths, 32-bit overflow, bad digits).
TEST(StrictGradeTest, AddressFormsAreReadAsTheCLibraryReadsThem) {
    const char* const pieces[] = {
        "127",        "0177",       "0x7f",     "0X7F",     "0",          "00",         "0x0",          "1",
        "01",         "0x1",        "255",      "256",      "08",         "0127",       "0x",           "",
        "65536",      "65537",      "16777215", "16777217", "2130706433", "0x7f000001", "017700000001", "4294967296",
        "6425673729", "0x100000000"};
    IpBytes loopback{};
    ASSERT_TRUE(ParseIpBytes("127.0.0.1", loopback));
    std::vector<std::string> texts = {""};
    for (int parts = 1; parts <= 4; ++parts) {
        std::vector<std::string> longer;
        for (const std::string& text : texts) {
            for (const char* piece : pieces) {
                longer.push_back(text.empty() && parts == 1 ? piece : text + "." + piece);
            }
        }
        texts = std::move(longer);
        for (const std::string& text : texts) {
            if (!text.empty() && text.back() == '.') {
                continue; // a sentence's full stop after an address, which the search passes over
            }
            in_addr aton{};
            const bool read = !text.empty() && ::inet_aton(text.c_str(), &aton) != 0;
            unsigned quad[4];
            int used = 0;
            // Four decimal parts of up to three digits are read as decimal whatever their leading zeros.
            const bool decimal =
                std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%n", &quad[0], &quad[1], &quad[2], &quad[3], &used) == 4 &&
                used == static_cast<int>(text.size()) && text.find_first_of("xX") == std::string::npos &&
                quad[0] < 256 && quad[1] < 256 && quad[2] < 256 && quad[3] < 256;
            const bool isLoopback = (read && ntohl(aton.s_addr) == 0x7F000001U) ||
                                    (decimal && quad[0] == 127 && quad[1] == 0 && quad[2] == 0 && quad[3] == 1);
            ASSERT_EQ(MentionsAddress(text, loopback), isLoopback) << text;
            if (read && !decimal) {
                ASSERT_TRUE(MentionsAddress(text, Ipv4Bytes(&aton))) << text;
            }
        }
    }
}

TEST(StrictGradeTest, GradesByWhatTheProxyAddedToTheBaseline) {
    HttpAnswer direct;
    ASSERT_TRUE(SplitHttpAnswer("HTTP/1.1 200 OK\r\n\r\nHTTP_HOST=127.0.0.1:80\nHTTP_X_FORWARDED_FOR=127.0.0.1\n"
                                "HTTP_VIA=1.1 cdn\nREMOTE_ADDR=127.0.0.1\nREQUEST_METHOD=GET\n",
                                direct));
    const JudgeBaseline baseline = ReadJudgeBaseline(direct);
    ASSERT_TRUE(baseline.usable);
    EXPECT_EQ(baseline.ourAddressText, "127.0.0.1");

    using Kind = StrictFinding::Kind;
    struct Case {
        const char* page;
        Kind kind;
        const char* variable;
    };
    const std::string common = "HTTP_HOST=127.0.0.1:80\nREQUEST_METHOD=GET\n";
    // clang-format off
    const Case cases[] = {
        // The CDN in front of the judge adds X-Forwarded-For and Via to every request: not the proxy's doing.
        {"HTTP_X_FORWARDED_FOR=127.0.0.2\nHTTP_VIA=1.1 cdn\nREMOTE_ADDR=127.0.0.3\n", Kind::Nothing, ""},
        {"HTTP_X_TINYPROXY=127.0.0.1\nREMOTE_ADDR=127.0.0.2\n", Kind::OwnAddress, "HTTP_X_TINYPROXY"},
        {"HTTP_FORWARDED=for=\"[::ffff:127.0.0.1]\"\nREMOTE_ADDR=127.0.0.2\n", Kind::OwnAddress, "HTTP_FORWARDED"},
        {"HTTP_X_FORWARDED_FOR=127.0.0.1, 127.0.0.2\nREMOTE_ADDR=127.0.0.3\n", Kind::OwnAddress, "HTTP_X_FORWARDED_FOR"},
        {"REMOTE_ADDR=127.0.0.1\n", Kind::OwnAddress, "REMOTE_ADDR"},
        {"HTTP_VIA=1.1 squid, 1.1 cdn\nREMOTE_ADDR=127.0.0.3\n", Kind::ProxyVariable, "HTTP_VIA"},
        {"HTTP_X_REAL_IP=10.1.1.1\nREMOTE_ADDR=127.0.0.3\n", Kind::ProxyVariable, "HTTP_X_REAL_IP"},
        {"HTTP_X_MY_PROXY_NAME=a\nREMOTE_ADDR=127.0.0.3\n", Kind::ProxyVariable, "HTTP_X_MY_PROXY_NAME"},
        {"HTTP_X_AVIATOR=a\nREMOTE_ADDR=127.0.0.3\n", Kind::Nothing, ""},
        {"Welcome to FreeWiFi\n", Kind::NotJudgePage, "REMOTE_ADDR"},
    };
    // clang-format on
    for (const Case& c : cases) {
        const bool ownPage = c.kind == Kind::NotJudgePage;
        const StrictFinding finding =
            GradeStrictly(baseline, OursOf(baseline), ParseJudgeVariables(ownPage ? c.page : common + c.page));
        EXPECT_EQ(finding.kind, c.kind) << c.page;
        EXPECT_EQ(finding.variable, c.variable) << c.page;
    }

    // A CDN that connects from an address of its own: the judge sees it, not us, as the client of every request.
    ASSERT_TRUE(SplitHttpAnswer("HTTP/1.1 200 OK\r\n\r\nHTTP_X_FORWARDED_FOR=127.0.0.1\nREMOTE_ADDR=127.0.0.9\n"
                                "REQUEST_METHOD=GET\n",
                                direct));
    const JudgeBaseline behindCdn = ReadJudgeBaseline(direct);
    EXPECT_EQ(behindCdn.ourAddressText, "127.0.0.1");
    const char* base = "REMOTE_ADDR=127.0.0.9\nREQUEST_METHOD=GET\n";
    EXPECT_EQ(GradeStrictly(behindCdn, OursOf(behindCdn),
                            ParseJudgeVariables(std::string(base) + "HTTP_X_FORWARDED_FOR=127.0.0.2\n"))
                  .kind,
              Kind::Nothing);
    EXPECT_EQ(GradeStrictly(behindCdn, OursOf(behindCdn),
                            ParseJudgeVariables(std::string(base) + "HTTP_X_FORWARDED_FOR=127.0.0.1, 127.0.0.2\n"))
                  .kind,
              Kind::OwnAddress);
}

// A variable the judge showed directly with the very same value is passed over only where that value names none of
// our addresses, as they were when the baseline was read: behind a CDN the judge shows ours directly, and an address
// found later (this machine's, the other family's) may be in a value that was clean before.
TEST(StrictGradeTest, TheJudgesOwnValuesAreSearchedUnlessClean) {
    HttpAnswer direct;
    ASSERT_TRUE(SplitHttpAnswer("HTTP/1.1 200 OK\r\n\r\nREMOTE_ADDR=127.0.0.9\nREQUEST_METHOD=GET\n"
                                "HTTP_X_FORWARDED_FOR=127.0.0.1\nHTTP_VIA=1.1 cdn\nHTTP_X_ORIGIN=10.0.0.7\n",
                                direct));
    JudgeBaseline baseline = ReadJudgeBaseline(direct);
    const OwnAddresses ours = OursOf(baseline);
    MarkCleanValues(baseline, ours);
    IpBytes machine{};
    ASSERT_TRUE(ParseIpBytes("10.0.0.7", machine));
    OwnAddresses more = ours;
    AddOwnAddress(more, machine, "10.0.0.7");

    using Kind = StrictFinding::Kind;
    struct Case {
        const char* page; // after the judge's own lines
        const OwnAddresses* ours;
        Kind kind;
        const char* variable;
    };
    const std::string common = "REMOTE_ADDR=127.0.0.9\nREQUEST_METHOD=GET\n";
    // clang-format off
    const Case cases[] = {
        {"HTTP_VIA=1.1 cdn\nHTTP_X_ORIGIN=10.0.0.7\n", &ours, Kind::Nothing, ""},
        {"HTTP_VIA=1.1 cdn\nHTTP_X_ORIGIN=10.0.0.7\n", &more, Kind::OwnAddress, "HTTP_X_ORIGIN"},
        {"HTTP_VIA=1.1 cdn\nHTTP_X_FORWARDED_FOR=127.0.0.1\n", &ours, Kind::OwnAddress, "HTTP_X_FORWARDED_FOR"},
        {"HTTP_VIA=1.1 cdn, 127.0.0.1\n", &ours, Kind::OwnAddress, "HTTP_VIA"},
        {"HTTP_VIA=1.1 cdn\nHTTP_X_PROXY_VIA=1.1 cdn\n", &ours, Kind::ProxyVariable, "HTTP_X_PROXY_VIA"},
    };
    // clang-format on
    for (const Case& c : cases) {
        const StrictFinding finding = GradeStrictly(baseline, *c.ours, ParseJudgeVariables(common + c.page));
        EXPECT_EQ(finding.kind, c.kind) << c.page;
        EXPECT_EQ(finding.variable, c.variable) << c.page;
    }
}

} // namespace
} // namespace zandel
