// What a client asks of the serve in its proxy login's user name: the words read (or refused) with and without the
// serve's own login, and what the pool makes of a session and a kind.

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/check/ProbeAddress.h"
#include "core/serve/ServeConfig.h"
#include "core/serve/ServePool.h"

namespace zandel {
namespace {

using Clock = ServePool::Clock;

struct WishRow {
    const char* user;
    const char* loginUser;
    bool read;
    const char* session;
    std::optional<ProxyKind> kind;
};

class ServeWishesTest : public ::testing::TestWithParam<WishRow> {};

TEST_P(ServeWishesTest, ReadsTheWordsAfterTheLogin) {
    const WishRow& row = GetParam();
    const std::optional<ServeWishes> wishes = ParseServeWishes(row.user, row.loginUser);
    ASSERT_EQ(wishes.has_value(), row.read) << row.user << " / " << row.loginUser;
    if (wishes) {
        EXPECT_EQ(wishes->session, row.session) << row.user;
        EXPECT_EQ(wishes->kind, row.kind) << row.user;
    }
}

const std::string kLongName = "session-" + std::string(kServeMaxSessionName + 1, 'n');

INSTANTIATE_TEST_SUITE_P(
    Rows, ServeWishesTest,
    ::testing::Values(
        WishRow{"session-a", "", true, "a", std::nullopt}, WishRow{"type-socks5", "", true, "", ProxyKind::Socks5},
        WishRow{"type-http,session-x.y_Z-1", "", true, "x.y_Z-1", ProxyKind::Http},
        WishRow{"session-abc,type-socks4", "", true, "abc", ProxyKind::Socks4},
        WishRow{"someone", "", true, "", std::nullopt}, // a login meant for a proxy further on
        WishRow{"session-", "", false, "", std::nullopt}, WishRow{"type-ftp", "", false, "", std::nullopt},
        WishRow{"type-socks4a", "", false, "", std::nullopt},
        WishRow{"session-a,session-b", "", false, "", std::nullopt}, WishRow{"session-a,", "", false, "", std::nullopt},
        WishRow{"session-a b", "", false, "", std::nullopt}, WishRow{kLongName.c_str(), "", false, "", std::nullopt},
        WishRow{"me", "me", true, "", std::nullopt},
        WishRow{"me,session-a,type-socks5", "me", true, "a", ProxyKind::Socks5},
        WishRow{"mex,session-a", "me", false, "", std::nullopt}, WishRow{"me,someone", "me", false, "", std::nullopt},
        WishRow{"session-a", "me", false, "", std::nullopt}, WishRow{"me,", "me", false, "", std::nullopt}));

Upstream UpstreamOf(std::uint16_t port, ProxyKind kind) {
    Upstream upstream;
    upstream.key = upstream.shown = "127.0.0.1:" + std::to_string(port);
    upstream.kind = kind;
    LiteralProbeHost("127.0.0.1", port, upstream.addresses);
    upstream.responseMs = 10;
    return upstream;
}

// A session keeps its upstream wherever it goes and from wherever it comes, apart from every other session and from
// the clients without one; a kind asked for is the only kind given, none at all when the pool has none of it.
TEST(ServeSessionTest, KeepsAnUpstreamByNameAndAKindByAsking) {
    ServeConfig config;
    config.strategy = ServeStrategy::RoundRobin;
    config.stickyMinutes = 10;
    ServePool pool(config, 1);
    const Upstream http1 = UpstreamOf(1001, ProxyKind::Http);
    const Upstream http2 = UpstreamOf(1002, ProxyKind::Http);
    const Upstream socks5 = UpstreamOf(1003, ProxyKind::Socks5h);
    pool.Replace({http1, http2, socks5}, 3);
    ClientTarget site;
    site.host = "a.example";
    site.port = 443;
    ClientTarget other = site;
    other.host = "b.example";
    const Clock::time_point now = Clock::now();
    // Each ask is made and chosen for at once, so that the target it refers to may be set anew for the next.
    const auto ask = [](ClientTarget& target, const char* client, const char* session,
                        std::optional<ProxyKind> kind = std::nullopt) {
        target.wishes = {session, kind};
        return PoolAsk{target, true, client, {}};
    };
    const auto chosen = [&pool](const PoolAsk& asked, Clock::time_point when) {
        const UpstreamRef upstream = pool.Choose(asked, when);
        return upstream ? upstream->key : std::string("none");
    };

    pool.Succeeded(http2, ask(site, "127.0.0.5", "a"), now);
    pool.Succeeded(socks5, ask(site, "127.0.0.5", "b"), now);
    for (int turn = 0; turn < 3; ++turn) {
        EXPECT_EQ(chosen(ask(other, "127.0.0.6", "a"), now + std::chrono::minutes(9)), http2.key) << "another site";
        EXPECT_EQ(chosen(ask(site, "127.0.0.7", "b"), now), socks5.key) << "another client, another session";
    }
    std::vector<std::string> unnamed;
    for (int turn = 0; turn < 3; ++turn) {
        unnamed.push_back(chosen(ask(site, "127.0.0.5", ""), now));
    }
    EXPECT_EQ(unnamed, (std::vector<std::string>{http1.key, http2.key, socks5.key})) << "no session: the strategy's";
    EXPECT_EQ(chosen(ask(other, "127.0.0.6", "a"), now + std::chrono::minutes(11)), http1.key) << "for a while";
    EXPECT_EQ(chosen(ask(site, "x", "", ProxyKind::Socks5), now), socks5.key) << "socks5 takes 5h";
    EXPECT_EQ(chosen(ask(site, "x", "a", ProxyKind::Socks5), now), socks5.key) << "the kind before the session";
    EXPECT_EQ(chosen(ask(site, "x", "b", ProxyKind::Http), now), http1.key) << "round-robin goes on";
    EXPECT_EQ(chosen(ask(site, "x", "", ProxyKind::Socks4), now), "none") << "none of the kind: 503 at once";
}

} // namespace
} // namespace zandel
