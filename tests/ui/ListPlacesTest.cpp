// What a check run tells of each proxy beyond its grade: where it leaves to the Internet (the 国 and AS columns, their
// sort and the exports), what the sites of [Sites] answered through it, and how it fares at a second look, on loopback
// proxies, sites and databases written at test time.
#include <memory>
#include <string>

#include <QHeaderView>
#include <QTest>

#include "core/frame/CommandIds.h"
#include "core/history/HistoryStore.h"
#include "core/list/ProxyListDocument.h"
#include "support/EchoJudge.h"
#include "support/FakeDocumentHost.h"
#include "support/FakeProxy.h"
#include "support/FakeSite.h"
#include "support/RecordingMessageService.h"
#include "support/TempDir.h"
#include "support/TestMmdb.h"
#include "ui/UiTestSupport.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "ui/support/FakeListViewHost.h"

namespace zandel {
namespace {

using test::EchoJudge;
using test::FakeProxy;
namespace fake = test::fake;

class ListPlacesTest : public QObject {
    Q_OBJECT

private:
    test::TempDir m_dir;
    std::unique_ptr<EchoJudge> m_judge;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<test::MessageRecorder> m_messages;
    std::unique_ptr<test::FakeListViewHost> m_host;
    std::unique_ptr<ui::ProxyListView> m_view;

    void MakeView() {
        m_view = m_host->MakeView(*m_settings);
        m_view->resize(2400, 400);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void CheckAll(const std::vector<std::string>& addresses) {
        for (const std::string& address : addresses) {
            const int row = m_view->Rows().RowCount();
            m_view->Rows().InsertRow(row, address, StatusUnchecked, row);
            m_view->Rows().SetRowSelected(row, true);
        }
        QVERIFY(m_view->OnCommand(cmd::kStartCheck));
    }
    QString Cell(int row, int column) const { return m_view->CellText(row, column); }
    // The list as the window's export writes it, or nothing when the export fails.
    std::string Exported(ExportFormat format) {
        test::RecordingMessageService messages;
        test::FakeDocumentHost documentHost;
        ProxyListDocument document(m_view->Rows(), messages, documentHost);
        m_view->SetDocument(&document);
        const std::string name = format == ExportFormat::Json ? "out.json" : "out.csv";
        const bool written = document.ExportListFile(m_dir.File(name), format);
        m_view->SetDocument(nullptr);
        return written ? m_dir.Read(name) : std::string();
    }

private Q_SLOTS:
    void init() {
        m_judge = std::make_unique<EchoJudge>();
        m_settings = std::make_unique<AppSettings>();
        m_settings->StartDir = m_dir.Path();
        m_settings->WebPage = m_judge->Url();
        m_settings->JudgeBaseline = false;
        m_messages = std::make_unique<test::MessageRecorder>();
        m_host = std::make_unique<test::FakeListViewHost>(*m_settings);
    }
    void cleanup() {
        m_view.reset();
        m_host.reset();
        m_messages.reset();
        m_settings.reset();
        m_judge.reset();
    }

    // A proxy that answered is placed where the judge saw it (127.0.0.1: JP, a data centre's network), one that did
    // not by its own address (::1: NL, no network known); the columns sort by country, the exports carry both, and the
    // place moves with its row.
    void aRunPlacesEachRowAndTheExportsCarryIt() {
        std::string error;
        m_settings->GeoCountryFile = test::MakeTestMmdb(m_dir.Path(), "c.mmdb", "DBIP-Country-Lite", "country", error);
        m_settings->GeoAsnFile = test::MakeTestMmdb(m_dir.Path(), "a.mmdb", "DBIP-ASN-Lite", "asn", error);
        QVERIFY2(!m_settings->GeoAsnFile.empty(), error.c_str());
        MakeView();
        QVERIFY(m_view->isColumnHidden(kCountryColumn) && m_view->isColumnHidden(kAsnColumn)); // hidden by default
        QVERIFY(m_view->OnCommand(cmd::kPlaceColumns));
        QVERIFY(m_settings->GeoColumns && !m_view->isColumnHidden(kCountryColumn) &&
                !m_view->isColumnHidden(kAsnColumn));

        FakeProxy refusing(fake::Refuse(), 0, test::LoopbackFamily::Ipv6);
        FakeProxy answering(fake::ForwardToJudge({}));
        CheckAll({refusing.Address(), answering.Address()});
        QTRY_VERIFY(!m_view->IsRunning());
        QTRY_COMPARE(Cell(1, kAsnColumn), QStringLiteral("AS16509 Amazon.com, Inc. [DC]"));
        QCOMPARE(Cell(1, kCountryColumn), QStringLiteral("JP Japan"));
        QCOMPARE(Cell(0, kCountryColumn), QStringLiteral("NL Netherlands"));
        QCOMPARE(Cell(0, kAsnColumn), QString());

        Q_EMIT m_view->header()->sectionClicked(kCountryColumn);
        QCOMPARE(Cell(0, 0), QString::fromStdString(answering.Address()));
        Q_EMIT m_view->header()->sectionClicked(kAsnColumn); // a row without a network last, either way
        QCOMPARE(Cell(1, 0), QString::fromStdString(refusing.Address()));

        const std::string csv = Exported(ExportFormat::Csv);
        QVERIFY2(csv.find(",country,country_name,asn,as_name,datacenter\r\n") != std::string::npos, csv.c_str());
        QVERIFY2(csv.find(",JP,Japan,16509,\"Amazon.com, Inc.\",true\r\n") != std::string::npos, csv.c_str());
        QVERIFY2(csv.find(",NL,Netherlands,,,\r\n") != std::string::npos, csv.c_str());

        // A row moved takes its place along; results cleared take it away.
        m_view->Rows().SelectOnly({1});
        QVERIFY(m_view->OnCommand(cmd::kMoveUp));
        QTRY_COMPARE(Cell(0, 0), QString::fromStdString(refusing.Address()));
        QCOMPARE(Cell(0, kCountryColumn), QStringLiteral("NL Netherlands"));
        QCOMPARE(Cell(1, kCountryColumn), QStringLiteral("JP Japan"));
        QCOMPARE(Cell(1, kAsnColumn), QStringLiteral("AS16509 Amazon.com, Inc. [DC]"));
        QVERIFY(m_view->OnCommand(cmd::kClearResults)); // answered OK
        QTRY_COMPARE(Cell(1, kCountryColumn), QString());
        QCOMPARE(Cell(1, kAsnColumn), QString());
        QCOMPARE(Cell(0, kCountryColumn), QString());
    }

    // The sites of [Sites] go through each proxy that passes as zandel-check's --site takes them: a column each, titled
    // by host and path, sorted by class, in the exports under the URL as given and in the history; a site with a login
    // is told once and never sent, and a proxy that failed has no class.
    void aRunFetchesTheSettingsSitesIntoTheirColumns() {
        const auto page = test::FakeSite::Page;
        test::FakeSite site(
            {{"/shop", page("200 OK", "", "<h1>Welcome</h1>")}, {"/ban", page("403 Forbidden", "", "")}});
        const std::string base = "http://" + site.Address();
        m_settings->WebPage = base + std::string(EchoJudge::kPath);
        m_settings->Sites = {base + "/shop=Welcome", "http://me:secret@" + site.Address() + "/", base + "/ban"};
        MakeView();
        QVERIFY(m_view->isColumnHidden(kFirstSiteColumn)); // hidden by default
        QVERIFY(m_view->OnCommand(cmd::kSiteColumns));
        QVERIFY(m_settings->SiteColumns && !m_view->isColumnHidden(kFirstSiteColumn + 1));
        QVERIFY(m_view->isColumnHidden(kFirstSiteColumn + 2));
        const auto title = [this](int column) {
            return m_view->model()->headerData(column, Qt::Horizontal).toString();
        };
        QCOMPARE(title(kFirstSiteColumn), QStringLiteral("127.0.0.1/shop"));
        QCOMPARE(title(kFirstSiteColumn + 1), QStringLiteral("127.0.0.1/ban"));

        FakeProxy refusing(fake::Refuse());
        CheckAll({refusing.Address(), site.Address()});
        QTRY_VERIFY(!m_view->IsRunning());
        QTRY_COMPARE(Cell(1, kFirstSiteColumn), QStringLiteral("reached"));
        QCOMPARE(Cell(1, kFirstSiteColumn + 1), QStringLiteral("blocked"));
        QCOMPARE(Cell(0, kFirstSiteColumn), QString());
        QCOMPARE(m_messages->Boxes().size(), std::size_t{1});
        QVERIFY(m_messages->Boxes()[0].text.find("http://***@" + site.Address() + "/") != std::string::npos);
        for (const std::string& head : site.Heads()) {
            QVERIFY2(head.find("secret") == std::string::npos && head.find("me:") == std::string::npos, head.c_str());
        }
        Q_EMIT m_view->header()->sectionClicked(kFirstSiteColumn); // a proxy without classes last, either way
        QCOMPARE(Cell(0, 0), QString::fromStdString(site.Address()));
        Q_EMIT m_view->header()->sectionClicked(kFirstSiteColumn);
        QCOMPARE(Cell(0, 0), QString::fromStdString(site.Address()));
        QTRY_VERIFY(m_view->model()
                        ->headerData(kFirstSiteColumn, Qt::Horizontal, Qt::ToolTipRole)
                        .toString()
                        .contains(QStringLiteral("稼働率: 100% (1/1回)")));

        const std::string csv = Exported(ExportFormat::Csv);
        QVERIFY2(csv.find(",reason," + base + "/shop," + base + "/ban\r\n") != std::string::npos, csv.c_str());
        QVERIFY2(csv.find(",reached,blocked\r\n") != std::string::npos, csv.c_str());
        const std::string json = Exported(ExportFormat::Json);
        QVERIFY2(json.find("\"sites\":{\"" + base + "/shop\":\"reached\",\"" + base + "/ban\":\"blocked\"}") !=
                     std::string::npos,
                 json.c_str());
        QVERIFY2(json.find("\"sites\":null") != std::string::npos, json.c_str());

        HistoryStore history;
        QVERIFY(history.OpenForReading(m_dir.File(kHistoryFileName)));
        const std::vector<SiteUptime> uptimes = history.SiteUptimes(site.Address());
        QCOMPARE(uptimes.size(), std::size_t{2});
        QCOMPARE(uptimes[1].site, base + "/ban");
        QCOMPARE(uptimes[1].reached, 0);
    }

    // Without databases nothing is looked up and the export is as it always was.
    void withoutDatabasesTheExportHasNoPlaceFields() {
        MakeView();
        FakeProxy answering(fake::ForwardToJudge({}));
        CheckAll({answering.Address()});
        QTRY_VERIFY(!m_view->IsRunning());
        QCOMPARE(Cell(0, kCountryColumn), QString());
        QVERIFY(Exported(ExportFormat::Csv).rfind("address,kind,result,response_ms,https,checked_at,reason\r\n", 0) ==
                0);
    }

    // The check page's second look, as zandel-check --twice: a proxy that passed and then went away is "不安定" with
    // the image of a failed check and the place its first look found; one that answers both times keeps its grade.
    void aProxyThatFailsItsSecondLookIsUnstable() {
        std::string error;
        m_settings->GeoCountryFile = test::MakeTestMmdb(m_dir.Path(), "c.mmdb", "GeoLite2-Country", "country", error);
        QVERIFY2(!m_settings->GeoCountryFile.empty(), error.c_str());
        m_settings->TwiceOn = true;
        m_settings->TwicePause = 2;
        MakeView();
        FakeProxy steady(fake::ForwardToJudge({}));
        // On ::1 (NL) while the judge sees it leave from 127.0.0.1 (JP).
        auto dying = std::make_unique<FakeProxy>(fake::ForwardToJudge({}), 0, test::LoopbackFamily::Ipv6);
        CheckAll({steady.Address(), dying->Address()});
        QTRY_COMPARE(m_view->CellText(1, 1), QStringLiteral("Anonymous(A)"));
        dying.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!m_view->IsRunning(), 20000);
        QCOMPARE(Cell(0, 1), QStringLiteral("Anonymous(A)"));
        QCOMPARE(Cell(1, 1), QStringLiteral("不安定"));
        QCOMPARE(m_view->Rows().GetRowImage(1), int(StatusNG));
        QCOMPARE(Cell(1, kCountryColumn), QStringLiteral("JP Japan")); // the failed look keeps where it was found
        QVERIFY(steady.WaitForFinished(2));
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::ListPlacesTest)
#include "ListPlacesTest.moc"
