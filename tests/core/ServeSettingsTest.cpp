// The local proxy as the window runs it: its settings made a serve (or refused in the page's words), the desktop's
// entry for it, and what the window is shown of it — each connection as it ended and each upstream's counts,
// through real connections on loopback.

#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>

#include "core/check/ProbeAddress.h"
#include "core/list/RowStore.h"
#include "core/serve/ProxyServer.h"
#include "core/serve/ServeLog.h"
#include "core/serve/ServeRows.h"
#include "core/serve/ServeSettings.h"
#include "core/settings/AppSettings.h"
#include "support/FakeProxy.h"
#include "support/Loopback.h"

namespace zandel {
namespace {

using test::FakeProxy;
namespace fake = test::fake;

TEST(ServeSettingsTest, TheSettingsDefaultsAreTheConsolesServe) {
    const auto setup = ServeSetupOf(AppSettings{});
    ASSERT_TRUE(std::holds_alternative<ServeSetup>(setup));
    const ServeConfig& made = std::get<ServeSetup>(setup).config;
    const ServeConfig console;
    EXPECT_EQ(made.host, console.host);
    EXPECT_EQ(made.port, console.port);
    EXPECT_EQ(made.tries, console.tries);
    EXPECT_EQ(made.strategy, console.strategy);
    EXPECT_EQ(made.stickyMinutes, console.stickyMinutes);
    EXPECT_EQ(made.maxClients, console.maxClients);
    EXPECT_EQ(made.ports, console.ports);
    EXPECT_FALSE(made.login.has_value());
    EXPECT_FALSE(std::get<ServeSetup>(setup).favourites);
    EXPECT_FALSE(std::get<ServeSetup>(setup).allowLeaky);
}

struct SetupRow {
    void (*edit)(AppSettings&);
    const char* problem; // the start of the message; nullptr: it serves
};

// A file edited by hand never makes a serve the page would have refused.
TEST(ServeSettingsTest, AHandEditedFileIsToldNotServed) {
    // clang-format off
    const SetupRow rows[] = {
        {[](AppSettings& s) { s.ServeListen = "0.0.0.0:8181"; }, "127.0.0.1 や ::1 以外"},
        {[](AppSettings& s) { s.ServeListen = "0.0.0.0:8181"; s.ServeUser = "me"; s.ServePassword = "pw"; }, nullptr},
        {[](AppSettings& s) { s.ServeListen = "localhost:8181"; }, nullptr},
        {[](AppSettings& s) { s.ServeListen = "host.invalid:8181"; }, "待ち受けｱﾄﾞﾚｽは"},
        {[](AppSettings& s) { s.ServePorts = "80,,443"; }, "接続先ﾎﾟｰﾄは"},
        {[](AppSettings& s) { s.ServeStrategyName = "fastest-first"; }, "ﾌﾟﾛｷｼの選び方 fastest-first は使えません"},
        {[](AppSettings& s) { s.ServePassword = "pw"; }, "ﾕｰｻﾞｰ名とﾊﾟｽﾜｰﾄﾞは両方とも"},
        {[](AppSettings& s) { s.ServeUser = std::string(256, 'u'); s.ServePassword = "pw"; }, "ﾕｰｻﾞｰ名とﾊﾟｽﾜｰﾄﾞはそれぞれ255ﾊﾞｲﾄ"},
    };
    // clang-format on
    for (const SetupRow& row : rows) {
        AppSettings settings;
        row.edit(settings);
        const auto setup = ServeSetupOf(settings);
        if (row.problem == nullptr) {
            EXPECT_TRUE(std::holds_alternative<ServeSetup>(setup)) << std::get<std::string>(setup);
        } else {
            ASSERT_TRUE(std::holds_alternative<std::string>(setup)) << row.problem;
            EXPECT_EQ(std::get<std::string>(setup).rfind(row.problem, 0), 0U) << std::get<std::string>(setup);
        }
    }
}

TEST(ServeSettingsTest, TheDesktopReachesThePortOnLoopbackWithTheLogin) {
    struct Row {
        const char* host;
        bool login;
        const char* entry;
    };
    const Row rows[] = {
        {"127.0.0.1", false, "127.0.0.1:19401"},
        {"0.0.0.0", false, "127.0.0.1:19401"},
        {"::", false, "[::1]:19401"},
        {"::1", false, "[::1]:19401"},
        {"0.0.0.0", true, "http://me:pw@127.0.0.1:19401"},
    };
    for (const Row& row : rows) {
        ServeConfig config;
        config.host = row.host;
        if (row.login) {
            config.login = ServeLogin{"me", "pw"};
        }
        EXPECT_EQ(DesktopEntryOf(config, 19401), row.entry) << row.host;
    }
}

// The core refuses as the page does: no socket is opened for an address other machines reach without a login.
TEST(ServeSettingsTest, TheServerRefusesAnOpenAddressWithoutALogin) {
    ServeConfig config;
    config.host = "0.0.0.0";
    config.port = 0;
    ServePool pool(config, 1);
    ProxyServer server(config, pool);
    std::string error;
    EXPECT_FALSE(server.Listen(error));
    EXPECT_NE(error.find("without a login"), std::string::npos) << error;
    EXPECT_EQ(server.Port(), 0);
}

TEST(ServeLogTest, KeepsTheLastThousandOldestFirst) {
    ServeLog log;
    for (int i = 0; i <= static_cast<int>(ServeLog::kKept); ++i) {
        ServeConnectionRecord record;
        record.tries = i;
        log.Add(record);
    }
    const std::vector<ServeConnectionRecord> kept = log.Records();
    ASSERT_EQ(kept.size(), ServeLog::kKept);
    EXPECT_EQ(kept.front().tries, 1);
    EXPECT_EQ(kept.back().tries, static_cast<int>(ServeLog::kKept));
    EXPECT_EQ(log.Added(), static_cast<long long>(ServeLog::kKept) + 1);
}

void AddChecked(MemoryRowStore& rows, const std::string& address, const char* result) {
    const int row = rows.RowCount();
    rows.InsertRow(row, address, 0, row);
    rows.SetCellText(row, 1, result);
    rows.SetCellText(row, 2, "0.100");
}

// The favourites' pool is each favourite as its latest check left it: a later NG takes it out, a row the check
// never reached changes nothing, and a live row that is no favourite never comes in.
TEST(FavouriteChecksTest, TheLatestCheckOfEachFavouriteCounts) {
    const std::vector<std::string> favourites = {"127.0.0.1:19402", "127.0.0.1:19403"};
    FavouriteChecks checks;
    MemoryRowStore first;
    AddChecked(first, "127.0.0.1:19402", "OK");
    AddChecked(first, "127.0.0.1:19403", "Anonymous(A)");
    AddChecked(first, "127.0.0.1:19404", "OK");
    checks.Note(first, favourites);
    MemoryRowStore later;
    AddChecked(later, "127.0.0.1:19402", "NG");
    AddChecked(later, "127.0.0.1:19403", "---");
    checks.Note(later, favourites);

    const MemoryRowStore rows = checks.Rows(favourites);
    ASSERT_EQ(rows.RowCount(), 2);
    const std::vector<Upstream> pool =
        UpstreamsOfRows(LiveRowsOf(rows), ProxyKind::Http, false, [](const char*, std::uint16_t) {
            ADD_FAILURE() << "no name to look up";
            return ProbeAddresses();
        });
    ASSERT_EQ(pool.size(), 1U);
    EXPECT_EQ(pool[0].shown, "127.0.0.1:19403");
}

std::string Exchange(std::uint16_t port, const std::string& request) {
    const UniqueFd client = test::ConnectLoopback(port);
    EXPECT_TRUE(test::SendAll(client.Get(), request));
    std::string received;
    char buffer[4096];
    pollfd wait{client.Get(), POLLIN, 0};
    while (::poll(&wait, 1, 20000) > 0) {
        const ssize_t got = ::recv(client.Get(), buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        received.append(buffer, static_cast<std::size_t>(got));
    }
    return received;
}

struct RecordRow {
    const char* what;
    bool upstreamAnswers;
    const char* request;
    const char* target;
    ServeOutcome outcome;
    int tries;
    long long served;
    long long failed;
};

// Each connection is heard once as it ends, with what the window lists of it, and the upstream's counts follow.
TEST(ServeLogTest, HearsEachConnectionAsItEnded) {
    // clang-format off
    const RecordRow rows[] = {
        {"through", true, "GET http://judge.invalid/ HTTP/1.0\r\n\r\n", "judge.invalid:80", ServeOutcome::Through, 1, 1, 0},
        {"a port not allowed", true, "GET http://judge.invalid:25/ HTTP/1.0\r\n\r\n", "judge.invalid:25", ServeOutcome::Refused, 0, 0, 0},
        {"an upstream refusing", false, "CONNECT [2001:db8::1]:443 HTTP/1.1\r\n\r\n", "[2001:db8::1]:443", ServeOutcome::Failed, 1, 0, 1},
    };
    // clang-format on
    for (const RecordRow& row : rows) {
        FakeProxy upstream(row.upstreamAnswers ? fake::AnswerAndClose("HTTP/1.0 200 OK\r\n\r\nbody") : fake::Refuse());
        ServeConfig config;
        config.port = 0;
        config.timeOutSeconds = 2;
        ServePool pool(config, 1);
        Upstream up;
        up.key = up.shown = upstream.Address();
        LiteralProbeHost("127.0.0.1", upstream.Port(), up.addresses);
        pool.Replace({up}, 1);
        ServeLog log;
        ProxyServer server(config, pool);
        server.SetConnectionLog([&log](const ServeConnectionRecord& record) { log.Add(record); });
        std::string error;
        ASSERT_TRUE(server.Listen(error)) << error;
        ASSERT_TRUE(server.Start());

        Exchange(server.Port(), row.request);
        for (int wait = 0; wait < 2000 && log.Added() == 0; ++wait) {
            ::poll(nullptr, 0, 5);
        }
        const std::vector<ServeConnectionRecord> heard = log.Records();
        ASSERT_EQ(heard.size(), 1U) << row.what;
        EXPECT_EQ(heard[0].client, "127.0.0.1") << row.what;
        EXPECT_EQ(heard[0].target, row.target) << row.what;
        EXPECT_EQ(heard[0].outcome, row.outcome) << row.what;
        EXPECT_EQ(heard[0].tries, row.tries) << row.what;
        EXPECT_EQ(heard[0].upstream, row.tries > 0 ? upstream.Address() : "") << row.what;
        const std::vector<UpstreamTally> tally = pool.Tally(ServePool::Clock::now());
        ASSERT_EQ(tally.size(), 1U);
        EXPECT_EQ(tally[0].served, row.served) << row.what;
        EXPECT_EQ(tally[0].failed, row.failed) << row.what;
        EXPECT_EQ(tally[0].down, row.failed > 0) << row.what;
    }
}

} // namespace
} // namespace zandel
