// The list entry grammar: every form a list or a paste brings, what each keeps after a check, and what is refused.

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "core/check/CheckFormat.h"
#include "core/check/ProbeJob.h"
#include "core/util/ProxyAddress.h"

namespace zandel {
namespace {

using Form = ProxyAddress::Form;

struct Entry {
    const char* text;
    Form form;
    ProxyKind kind;
    const char* host;
    const char* port;
    bool login;
    const char* user;
    const char* password;
    const char* kept; // column 0 after a check
};

class EntryTest : public ::testing::TestWithParam<Entry> {};

TEST_P(EntryTest, ReadsEveryPart) {
    const Entry& e = GetParam();
    const std::optional<ProxyAddress> address = ParseProxyAddress(e.text);
    ASSERT_TRUE(address) << e.text;
    EXPECT_EQ(address->form, e.form);
    EXPECT_EQ(address->kind, e.kind);
    EXPECT_EQ(address->host, e.host);
    EXPECT_EQ(address->port, e.port);
    EXPECT_EQ(address->login, e.login);
    EXPECT_EQ(address->user, e.user);
    EXPECT_EQ(address->password, e.password);
    EXPECT_EQ(ListAddress(*address), e.kept);
    // What the title and messages show never holds the password; what the list keeps reads back the same.
    if (e.login && std::string(e.password).size() > 1) {
        EXPECT_EQ(ShownAddress(*address).find(e.password), std::string::npos);
    }
    const std::optional<ProxyAddress> again = ParseProxyAddress(ListAddress(*address));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->user, e.user);
    EXPECT_EQ(again->password, e.password);
    EXPECT_EQ(again->host, e.host);
}

// clang-format off
const Entry kEntries[] = {
    // The plain form stays what it always was, odd ports and all.
    {"127.0.0.1:8080", Form::Plain, ProxyKind::Http, "127.0.0.1", "8080", false, "", "", "127.0.0.1:8080"},
    {"proxy.example:3128 fast\tone", Form::Plain, ProxyKind::Http, "proxy.example", "3128", false, "", "", "proxy.example:3128"},
    {"host:abc", Form::Plain, ProxyKind::Http, "host", "abc", false, "", "", "host:abc"},
    {"host:80:x", Form::Plain, ProxyKind::Http, "host", "80:x", false, "", "", "host:80:x"},
    {"[::1]:8080", Form::Plain, ProxyKind::Http, "[::1]", "8080", false, "", "", "[::1]:8080"},
    // Schemes, in any letter case, keep themselves and their login.
    {"socks5://127.0.0.1:1080", Form::Scheme, ProxyKind::Socks5, "127.0.0.1", "1080", false, "", "", "socks5://127.0.0.1:1080"},
    {"SOCKS4A://h:1080/", Form::Scheme, ProxyKind::Socks4a, "h", "1080", false, "", "", "SOCKS4A://h:1080/"},
    {"http://u:p@h:3128", Form::Scheme, ProxyKind::Http, "h", "3128", true, "u", "p", "http://u:p@h:3128"},
    {"socks5h://user:p%3A%40%25%20%C3%BC@[2001:db8::1]:1080 comment", Form::Scheme, ProxyKind::Socks5h, "[2001:db8::1]", "1080", true, "user", "p:@% \xc3\xbc", "socks5h://user:p%3A%40%25%20%C3%BC@[2001:db8::1]:1080"},
    {"socks4://ident@h:1080", Form::Scheme, ProxyKind::Socks4, "h", "1080", true, "ident", "", "socks4://ident@h:1080"},
    // An unescaped '@' in a password: the last one ends the login.
    {"socks5://u:a@b@h:1080", Form::Scheme, ProxyKind::Socks5, "h", "1080", true, "u", "a@b", "socks5://u:a@b@h:1080"},
    // The forms proxy sellers hand out.
    {"user:pa:ss@10.0.0.1:8000", Form::LoginBefore, ProxyKind::Http, "10.0.0.1", "8000", true, "user", "pa:ss", "user:pa:ss@10.0.0.1:8000"},
    {"10.0.0.1:8000:user:pa:ss", Form::LoginAfter, ProxyKind::Http, "10.0.0.1", "8000", true, "user", "pa:ss", "10.0.0.1:8000:user:pa:ss"},
    {"[::1]:8000:user:%41", Form::LoginAfter, ProxyKind::Http, "[::1]", "8000", true, "user", "%41", "[::1]:8000:user:%41"},
    // A seller's password is raw: an '@' in it makes no login before the host; nor does one in the user.
    {"127.0.0.1:20120:u:p@ss", Form::LoginAfter, ProxyKind::Http, "127.0.0.1", "20120", true, "u", "p@ss", "127.0.0.1:20120:u:p@ss"},
    {"h:8000:u:p@ss:1", Form::LoginAfter, ProxyKind::Http, "h", "8000", true, "u", "p@ss:1", "h:8000:u:p@ss:1"},
    {"10.0.0.1:80:me@mail:pw", Form::LoginAfter, ProxyKind::Http, "10.0.0.1", "80", true, "me@mail", "pw", "10.0.0.1:80:me@mail:pw"},
    // ... while a login before the host whose password opens with digits stays one.
    {"u:1234:x@10.0.0.1:80", Form::LoginBefore, ProxyKind::Http, "10.0.0.1", "80", true, "u", "1234:x", "u:1234:x@10.0.0.1:80"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Grammar, EntryTest, ::testing::ValuesIn(kEntries));

TEST(EntryGrammar, RefusesWhatNoFormReads) {
    for (const char* text : {
             "",
             "host",
             "host:",
             ":80",
             "[::1]",
             "[::1]:http",
             "[host]:80",
             "a[b]:80",
             "ftp://h:21",          // no such scheme
             "socks5://h",          // no port
             "socks5://h:0",        // no port number
             "socks5://h:http",     // a scheme takes a number
             "socks5://u:%zz@h:80", // a broken escape
             "socks5://u:%4@h:80",  // a cut escape
             "socks5://@h:x",       // ditto the port
             "user@h:80",           // a login before the host needs its colon
             "u:p@h:80x",           // ... and a port number
             "u:p@:80",
         }) {
        EXPECT_FALSE(ParseProxyAddress(text)) << text;
    }
}

// Every entry a check refuses says why, and what the transcript shows of it never holds the password.
TEST(EntryGrammar, RefusalSaysWhyAndShowsNoPassword) {
    const struct {
        std::string entry;
        const char* reason;
        std::string shown;
        // clang-format off
    } cases[] = {
        {"127.0.0.1:20120:u:p@ss", "", "127.0.0.1…"},
        {"not an address", "ポート番号がありません", "not"},
        {"socks5://u:secret@h", "ポート番号がありません", "socks5://u@h"},
        {"u:secret@h:80x", "ポート番号が正しくありません（1～65535）", "u…"},
        {"user@h:80", "ユーザ名とパスワードの間に「:」がありません", "user…"},
        {"ftp://u:secret@h:21", "対応していない種類です（http、socks4、socks4a、socks5、socks5hのいずれか）", "ftp://u@h:21"},
        {"socks5://u:%zz@h:80", "ユーザ名かパスワードの%エスケープが正しくありません", "socks5://u@h:80"},
        {"[host]:80", "ホスト名が正しくありません（IPv6アドレスは[ ]で囲みます）", "[host]…"},
        {"socks5://" + std::string(300, 'h') + ":1080", "ホスト名かポートが長すぎます", "socks5://" + std::string(55, 'h') + "…"},
        {"socks5://u:" + std::string(1100, 's') + "@h:1080", "項目が長すぎます（1024バイトまで）", "socks5://u@h:1080"},
        {std::string(70000, 'x'), "項目が長すぎます（1024バイトまで）", ""},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(AddressRefusal(c.entry), c.reason) << c.entry.substr(0, 40);
        if (!c.shown.empty()) {
            EXPECT_EQ(RefusedEntryShown(c.entry), c.shown) << c.entry.substr(0, 40);
        }
        EXPECT_LE(RefusedEntryShown(c.entry).size(), 64U + 3U);
    }
}

TEST(EntryGrammar, DetectedKindIsWrittenWithItsScheme) {
    ProxyAddress address = *ParseProxyAddress("198.51.100.7:1080 from a list");
    address.kind = ProxyKind::Socks4;
    EXPECT_EQ(ListAddress(address), "socks4://198.51.100.7:1080");
    EXPECT_EQ(ShownAddress(address), "socks4://198.51.100.7:1080");
}

TEST(EntryGrammar, JobFieldsTakeTheHostAndPortOfEveryForm) {
    ProbeJob job;
    ProxyAddress entry;
    ASSERT_TRUE(ParseAddress("socks5://u:secret@[::1]:1080", job, &entry));
    EXPECT_EQ(job.target.host, "[::1]");
    EXPECT_EQ(job.target.port, "1080");
    EXPECT_EQ(entry.password, "secret");
    // A host longer than its field is refused, never cut.
    EXPECT_FALSE(ParseAddress("socks5://" + std::string(300, 'h') + ":1080", job));
    EXPECT_EQ(job.target.host, "");
}

} // namespace
} // namespace zandel
