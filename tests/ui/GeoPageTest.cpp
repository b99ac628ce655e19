// The "位置情報" tab: what it stores, what it says of each database file, and its update against a loopback server.
#include <memory>
#include <string>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "core/settings/AppSettings.h"
#include "support/HttpHead.h"
#include "support/LoopbackServer.h"
#include "support/ServerConnection.h"
#include "support/TempDir.h"
#include "support/TestMmdb.h"
#include "ui/UiTestSupport.h"
#include "ui/settings/GeoPage.h"
#include "ui/settings/SettingsSheet.h"
#include "ui/support/SheetDriver.h"
#include "ui/support/SheetFixture.h"
#include "ui/util/TextCodec.h"

namespace zandel {
namespace {

using test::Child;

constexpr int kGeoTab = 6;

class GeoPageTest : public QObject {
    Q_OBJECT

private:
    void Open() {
        m_fx.Open();
        m_fx.driver->ClickTab(kGeoTab);
        QCOMPARE(m_fx.driver->CurrentTab(), kGeoTab);
    }
    QLineEdit* Edit(const char* name) const { return Child<QLineEdit>(m_fx.sheet.get(), name); }
    QString Label(const char* name) const { return Child<QLabel>(m_fx.sheet.get(), name)->text(); }
    std::string Make(const std::string& name, const std::string& type, const std::string& kind) {
        std::string error;
        const std::string path = test::MakeTestMmdb(m_source->Path(), name, type, kind, error);
        if (path.empty()) {
            qWarning("%s", error.c_str());
        }
        return path;
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_server->Port()) + path;
    }

    test::SheetFixture m_fx;
    std::unique_ptr<test::TempDir> m_source;
    std::string m_served;
    std::unique_ptr<test::LoopbackServer> m_server;

private Q_SLOTS:
    void init() {
        m_fx.Reset();
        m_source = std::make_unique<test::TempDir>();
        m_served = test::TempDir::ReadFile(Make("served.mmdb", "DBIP-Country-Lite", "country"));
        QVERIFY(!m_served.empty());
        m_server = std::make_unique<test::LoopbackServer>([this](test::ServerConnection& connection) {
            test::RequestHead head;
            if (!connection.ReadRequestHead() || !test::ParseRequestHead(connection.RequestHead(), head)) {
                return;
            }
            const bool found = head.target == "/country.mmdb";
            const std::string body = found ? m_served : std::string("<html>no such file</html>");
            connection.Send(std::string(found ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") + "\r\nContent-Length: " +
                            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        });
    }
    void cleanup() {
        m_fx.Teardown();
        m_server.reset();
        m_source.reset();
    }

    void everyFieldIsStoredWithOk() {
        Open();
        test::ReplaceText(Edit("countryFileEdit"), QStringLiteral("/data/country.mmdb"));
        test::ReplaceText(Edit("countryUrlEdit"), QStringLiteral("http://127.0.0.1:19201/c.mmdb"));
        test::ReplaceText(Edit("asnFileEdit"), QStringLiteral("/data/asn.mmdb"));
        test::ReplaceText(Edit("asnUrlEdit"), QStringLiteral("http://127.0.0.1:19201/a.mmdb"));
        test::ReplaceText(Edit("refreshDaysEdit"), QStringLiteral("7"));
        test::ReplaceText(Edit("datacenterFileEdit"), QStringLiteral("/data/hosting.txt"));
        m_fx.driver->ClickOk();
        QVERIFY(m_fx.messages.Boxes().empty());
        const AppSettings& s = *m_fx.settings;
        QCOMPARE(s.GeoCountryFile + " " + s.GeoCountryUrl + " " + s.GeoAsnFile + " " + s.GeoAsnUrl + " " +
                     std::to_string(s.GeoRefreshDays) + " " + s.GeoDatacenterFile,
                 std::string("/data/country.mmdb http://127.0.0.1:19201/c.mmdb /data/asn.mmdb "
                             "http://127.0.0.1:19201/a.mmdb 7 /data/hosting.txt"));
    }

    void refreshDaysOutOfBoundsKeepsThePageOpen() {
        Open();
        test::ReplaceText(Edit("refreshDaysEdit"), QStringLiteral("366"));
        m_fx.driver->ClickOk();
        QCOMPARE(m_fx.MessageTexts().size(), std::size_t{1});
        QVERIFY(m_fx.driver->IsOpen());
        QCOMPARE(m_fx.settings->GeoRefreshDays, kGeoRefreshDaysDefault);
    }

    // Each file's build date and type; DB-IP's attribution only for a DB-IP database; why a file cannot be used.
    void eachFileShowsItsBuildDateAndDbIpItsAttribution() {
        m_fx.settings->GeoCountryFile = Make("c.mmdb", "DBIP-Country-Lite", "country");
        m_fx.settings->GeoAsnFile = Make("a.mmdb", "GeoLite2-Country", "country"); // a country file in the ASN's place
        Open();
        QVERIFY2(Label("countryNote").startsWith(QStringLiteral("作成日 20")), qPrintable(Label("countryNote")));
        QVERIFY(Label("countryNote").endsWith(QStringLiteral("(DBIP-Country-Lite)")));
        QVERIFY2(Label("asnNote").contains(QStringLiteral("an ASN database is needed")), qPrintable(Label("asnNote")));
        QCOMPARE(Label("attribution"), QStringLiteral("IP Geolocation by DB-IP (https://db-ip.com)"));

        m_fx.sheet.reset();
        m_fx.settings->GeoCountryFile = Make("g.mmdb", "GeoLite2-Country", "country");
        m_fx.settings->GeoAsnFile.clear();
        m_fx.settings->StartDir = m_fx.dir->Path();
        m_fx.settings->GeoAsnUrl = "http://127.0.0.1:19201/asn.mmdb"; // to the settings folder, not fetched yet
        Open();
        QCOMPARE(Label("attribution"), QString());
        QCOMPARE(Label("asnNote"), QStringLiteral("まだ取得していません (今すぐ更新で取得します)"));
    }

    // 今すぐ更新 fetches what the boxes say into the file; a failure leaves the old file and says so once.
    void updateNowReplacesTheFileOnlyWithADatabase() {
        const std::string target = m_fx.dir->Write("country.mmdb", "the old file");
        Open();
        test::ReplaceText(Edit("countryFileEdit"), ui::FromBytes(target));
        test::ReplaceText(Edit("countryUrlEdit"), ui::FromBytes(Url("/gone.mmdb")));
        auto* update = Child<QPushButton>(m_fx.sheet.get(), "updateNow");
        update->click();
        QTRY_VERIFY(update->isEnabled());
        QCOMPARE(m_fx.MessageTexts().size(), std::size_t{1});
        QVERIFY2(m_fx.MessageTexts()[0].find("404") != std::string::npos, m_fx.MessageTexts()[0].c_str());
        QCOMPARE(m_fx.dir->Read("country.mmdb"), std::string("the old file"));
        QVERIFY(m_fx.settings->GeoLastDownload.empty());

        test::ReplaceText(Edit("countryUrlEdit"), ui::FromBytes(Url("/country.mmdb")));
        update->click();
        QTRY_VERIFY(update->isEnabled());
        QCOMPARE(m_fx.MessageTexts().size(), std::size_t{1});
        QCOMPARE(m_fx.dir->Read("country.mmdb"), m_served);
        QVERIFY(!m_fx.settings->GeoLastDownload.empty());
        QVERIFY(Label("countryNote").startsWith(QStringLiteral("作成日 ")));
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::GeoPageTest)
#include "GeoPageTest.moc"
