// The offline databases fetched from a loopback server as the window's update fetches them: what comes whole takes the
// old file's place, and each way a server can fail leaves the old file as it was, with one message that says why;
// and when the page and the start-up call a database due or out of date.
#include "core/fetch/GeoDownload.h"

#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/geo/GeoUpkeep.h"
#include "core/list/CheckRecord.h"
#include "core/settings/AppSettings.h"
#include "core/util/FileIo.h"
#include "support/HttpHead.h"
#include "support/LoopbackServer.h"
#include "support/ServerConnection.h"
#include "support/TempDir.h"
#include "support/TestMmdb.h"

namespace zandel {
namespace {

using test::LoopbackServer;
using test::ServerConnection;

std::string Answer(const std::string& status, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

class GeoDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        const std::string country =
            test::MakeTestMmdb(m_source.Path(), "served.mmdb", "DBIP-Country-Lite", "country", error);
        const std::string asn = test::MakeTestMmdb(m_source.Path(), "asn.mmdb", "DBIP-ASN-Lite", "asn", error);
        ASSERT_NE(country, "") << error;
        ASSERT_NE(asn, "") << error;
        ASSERT_TRUE(ReadWholeFile(country, m_country).ok);
        ASSERT_TRUE(ReadWholeFile(asn, m_asn).ok);
    }
    void Serve(ServerConnection& connection) const {
        if (!connection.ReadRequestHead()) {
            return;
        }
        test::RequestHead head;
        test::ParseRequestHead(connection.RequestHead(), head);
        if (head.target == "/country.mmdb") {
            connection.Send(Answer("200 OK", m_country));
        } else if (head.target == "/asn.mmdb") {
            connection.Send(Answer("200 OK", m_asn));
        } else if (head.target == "/login") {
            connection.Send(Answer("200 OK", "<!DOCTYPE html><html><body>Please sign in</body></html>"));
        } else if (head.target == "/cut-short") {
            // The length promises the whole file; the connection closes halfway.
            connection.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(m_country.size()) + "\r\n\r\n" +
                            m_country.substr(0, m_country.size() / 2));
        } else if (head.target == "/half.mmdb") {
            connection.Send(Answer("200 OK", m_country.substr(0, m_country.size() / 2)));
        } else if (head.target == "/packed.mmdb.gz") {
            connection.Send(Answer("200 OK", std::string("\x1f\x8b\x08\x00", 4) + "not really"));
        } else {
            connection.Send(Answer("404 Not Found", "no such file"));
        }
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_server.Port()) + path;
    }

    test::TempDir m_source; // what the server serves
    test::TempDir m_dir;    // where the database is fetched to
    std::string m_country;
    std::string m_asn;
    LoopbackServer m_server{[this](ServerConnection& connection) { Serve(connection); }};
};

struct DownloadRow {
    const char* path;
    GeoKind kind;
    bool ok;
    const char* cause; // in the message of a failure
};

// clang-format off
const DownloadRow kDownloads[] = {
    {"/country.mmdb", GeoKind::Country, true, ""},
    {"/asn.mmdb", GeoKind::Asn, true, ""},
    {"/login", GeoKind::Country, false, "HTMLのﾍﾟｰｼﾞが返されました"},        // a portal's or a provider's page
    {"/cut-short", GeoKind::Country, false, ""},                            // the transfer broke off
    {"/half.mmdb", GeoKind::Country, false, "ﾃﾞｰﾀﾍﾞｰｽとして開けません"},     // came whole, but a cut file
    {"/asn.mmdb", GeoKind::Country, false, "a country database is needed"}, // the URLs swapped
    {"/packed.mmdb.gz", GeoKind::Country, false, "gzip"},
    {"/gone.mmdb", GeoKind::Country, false, "404"},
};
// clang-format on

TEST_F(GeoDownloadTest, OnlyAWholeDatabaseOfItsKindReplacesTheOldFile) {
    for (const DownloadRow& row : kDownloads) {
        const std::string target = m_dir.Write("target.mmdb", "the old file");
        const GeoDownloadResult got = DownloadGeoDatabase(Url(row.path), target, row.kind, FetchOptions{});
        EXPECT_EQ(got.ok, row.ok) << row.path << ": " << got.message;
        EXPECT_EQ(m_dir.Read("target.mmdb") == "the old file", !row.ok) << row.path;
        if (!row.ok) {
            EXPECT_NE(got.message.find(row.cause), std::string::npos) << row.path << ": " << got.message;
            EXPECT_NE(got.message.find(target), std::string::npos) << got.message;
        }
        EXPECT_EQ(m_dir.Listing(), "target.mmdb") << row.path << ": no temporary file is left";
        RemoveFile(target);
    }
}

TEST(GeoUpkeepTest, RefreshIsDueOnceTheIntervalHasPassed) {
    const std::time_t now = 1'800'000'000; // 2027-01-15T08:00:00Z
    const std::time_t day = 24 * 60 * 60;
    // clang-format off
    const std::tuple<std::string, int, bool> rows[] = {
        {"", 30, true},                        // never fetched
        {"yesterday", 30, true},               // a time that does not read
        {IsoUtc(now - 29 * day), 30, false},
        {IsoUtc(now - 30 * day), 30, true},
        {IsoUtc(now - 2 * day), 1, true},
        {IsoUtc(now + day), 30, true},         // a clock put back never stops the refresh
    };
    // clang-format on
    for (const auto& [last, days, due] : rows) {
        EXPECT_EQ(GeoRefreshDue(last, days, now), due) << last << " " << days;
    }
    EXPECT_FALSE(GeoIsStale(static_cast<std::uint64_t>(now - 45 * day), now));
    EXPECT_TRUE(GeoIsStale(static_cast<std::uint64_t>(now - 46 * day), now));
    EXPECT_FALSE(GeoIsStale(0, now)); // no build date: nothing to warn of
    EXPECT_EQ(GeoBuildDate(static_cast<std::uint64_t>(now)), "2027/01/15");
}

TEST(GeoUpkeepTest, DbIpIsNamedByItsTypeOrItsUrl) {
    EXPECT_TRUE(NeedsDbIpAttribution("DBIP-Country-Lite", ""));
    EXPECT_TRUE(NeedsDbIpAttribution("", "https://download.db-ip.com/free/dbip-asn-lite-2026-12.mmdb"));
    EXPECT_FALSE(NeedsDbIpAttribution("GeoLite2-Country", "https://127.0.0.1/GeoLite2-Country.mmdb"));
}

// A URL without a file of its own is fetched into the settings folder, and only databases with both are fetched.
TEST(GeoUpkeepTest, AnUpdateFetchesEachDatabaseThatHasAUrl) {
    AppSettings settings;
    settings.StartDir = "/home/user/.config/Zandel";
    EXPECT_TRUE(GeoUpdateJobsOf(settings).empty());
    EXPECT_FALSE(GeoUpdateDue(settings, std::time(nullptr)));
    settings.GeoCountryUrl = "http://127.0.0.1:19201/c.mmdb";
    settings.GeoAsnFile = "/data/asn.mmdb";
    const std::vector<GeoUpdateJob> jobs = GeoUpdateJobsOf(settings);
    ASSERT_EQ(jobs.size(), 1U);
    EXPECT_EQ(jobs[0].target, "/home/user/.config/Zandel/geo-country.mmdb");
    EXPECT_EQ(GeoFilesOf(settings).asn, "/data/asn.mmdb");
    EXPECT_TRUE(GeoUpdateDue(settings, std::time(nullptr)));
    RecordGeoDownload(settings, std::time(nullptr));
    EXPECT_FALSE(GeoUpdateDue(settings, std::time(nullptr)));
}

} // namespace
} // namespace zandel
