// What the main window shows of a real history file: the uptime and median columns, shown, sorted and hidden
// from the View menu, and the window of one row's checks.
#include <memory>

#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QPointer>
#include <QTableView>
#include <QTest>

#include "core/frame/CommandIds.h"
#include "core/history/HistoryStore.h"
#include "ui/UiTestSupport.h"
#include "ui/list/HistoryPlot.h"
#include "ui/list/HistoryWindow.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "ui/support/FrameRig.h"

namespace zandel {
namespace {

constexpr std::time_t kNow = 1'800'000'000;

CheckRecord Check(const char* address, const char* result, std::optional<int> ms, int minutesAgo) {
    CheckRecord record;
    record.address = address;
    record.result = result;
    record.responseMs = ms;
    record.https = "---";
    record.checkedAt = IsoUtc(kNow - minutesAgo * 60);
    record.reason = ms ? "結果：使用可能なプロキシサーバです" : "結果：タイムアウトが起こりました";
    return record;
}

QStringList Texts(std::initializer_list<const char*> texts) {
    QStringList list;
    for (const char* text : texts) {
        list << QString::fromUtf8(text);
    }
    return list;
}

class HistoryViewTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::FrameRig> m_rig;

    ui::ProxyListView& View() { return *m_rig->Frame().View(); }
    QStringList Column(int column) {
        QStringList texts;
        for (int row = 0; row < View().Rows().RowCount(); ++row) {
            texts << View().CellText(row, column);
        }
        return texts;
    }
    void ClickHeader(int column) {
        QHeaderView* header = View().header();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    void ToggleColumns() { test::RequireEnabledAction(&m_rig->Frame(), QStringLiteral("historyColumns"))->trigger(); }

private Q_SLOTS:
    // a: three good of four, median 200 ms; c: always good; d (a login, kept without its password): never good;
    // b: never checked.
    void init() {
        m_rig = std::make_unique<test::FrameRig>();
        {
            HistoryStore store;
            QVERIFY(store.Open(m_rig->dir.File(kHistoryFileName), 36500, kNow, nullptr));
            QVERIFY(store.Add({Check("a.example:80", "Anonymous(A)", 100, 40), Check("a.example:80", "NG", {}, 30),
                               Check("a.example:80", "Non-Anonymous", 300, 20),
                               Check("a.example:80", "Anonymous(B)", 200, 10), Check("c.example:80", "OK", 50, 5),
                               Check("c.example:80", "OK", 70, 4), Check("socks5://u@d.example:1080", "NG", {}, 3)}));
        }
        m_rig->Make();
        m_rig->AddRows({"a.example:80", "b.example:80", "c.example:80 fast", "socks5://u:pw@d.example:1080"});
    }
    void cleanup() { m_rig.reset(); }

    void columnsShowFromTheViewMenuAndStayOutOfTheList() {
        QVERIFY(View().isColumnHidden(kUptimeColumn));
        QVERIFY(View().isColumnHidden(kMedianColumn));
        ToggleColumns();
        QVERIFY(m_rig->settings.HistoryColumns);
        QVERIFY(!View().isColumnHidden(kUptimeColumn));
        QTRY_COMPARE(Column(kUptimeColumn), Texts({"75%", "", "100%", "0%"}));
        // In seconds, as the response-time column beside them.
        QCOMPARE(Column(kMedianColumn), Texts({"0.200", "", "0.060", ""}));
        // A row added later finds its figures without another read.
        m_rig->AddRows({"c.example:80"});
        QTRY_COMPARE(View().CellText(4, kUptimeColumn), QStringLiteral("100%"));

        ToggleColumns();
        QVERIFY(!m_rig->settings.HistoryColumns);
        QVERIFY(View().isColumnHidden(kUptimeColumn));
    }

    // The figures follow whoever writes the file, not only the list's own runs: zandel-check --history on the same
    // file, or a re-check round with a connection of its own. The list said 100 % for proxies dead for minutes.
    void columnsFollowEveryWriterOfTheFile() {
        ToggleColumns();
        QTRY_COMPARE(Column(kUptimeColumn), Texts({"75%", "", "100%", "0%"}));
        {
            HistoryStore other;
            QVERIFY(other.Open(m_rig->dir.File(kHistoryFileName), 36500, kNow, nullptr));
            QVERIFY(other.Add({Check("c.example:80", "NG", {}, 2), Check("c.example:80", "NG", {}, 1),
                               Check("b.example:80", "OK", 90, 1)}));
        }
        QTRY_COMPARE(Column(kUptimeColumn), Texts({"75%", "100%", "50%", "0%"}));
        QCOMPARE(Column(kMedianColumn), Texts({"0.200", "0.090", "0.060", ""}));
    }

    void headerClicksSortByTheFiguresWithUncheckedRowsLast_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QStringList>("order");
        const QString a = QStringLiteral("a.example:80");
        const QString b = QStringLiteral("b.example:80");
        const QString c = QStringLiteral("c.example:80 fast");
        const QString d = QStringLiteral("socks5://u:pw@d.example:1080");
        QTest::newRow("uptime ascending") << kUptimeColumn << 1 << QStringList{d, a, c, b};
        QTest::newRow("uptime descending") << kUptimeColumn << 2 << QStringList{c, a, d, b};
        QTest::newRow("median ascending") << kMedianColumn << 1 << QStringList{c, a, b, d};
        QTest::newRow("median descending") << kMedianColumn << 2 << QStringList{a, c, b, d};
    }
    void headerClicksSortByTheFiguresWithUncheckedRowsLast() {
        QFETCH(int, column);
        QFETCH(int, clicks);
        QFETCH(QStringList, order);
        ToggleColumns();
        QTRY_COMPARE(View().CellText(0, kUptimeColumn), QStringLiteral("75%"));
        for (int click = 0; click < clicks; ++click) {
            ClickHeader(column);
        }
        QCOMPARE(Column(0), order);
        // The figures moved with their rows.
        QCOMPARE(View().CellText(order.indexOf(QStringLiteral("a.example:80")), kUptimeColumn), QStringLiteral("75%"));
        QCOMPARE(View().CellText(order.indexOf(QStringLiteral("b.example:80")), kUptimeColumn), QString());
    }

    void historyWindowListsTheMarkedRowsChecksNewestFirst() {
        View().Rows().SetRowSelected(0, true);
        QVERIFY(m_rig->Frame().OnCommand(cmd::kCheckHistory));
        QPointer<ui::HistoryWindow> window;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = dynamic_cast<ui::HistoryWindow*>(widget); found != nullptr && found->isVisible()) {
                window = found;
            }
        }
        QVERIFY(window);
        const QAbstractItemModel* checks = window->Table()->model();
        QCOMPARE(checks->rowCount(), 4);
        QCOMPARE(checks->index(0, 1).data().toString(), QStringLiteral("Anonymous(B)"));
        QCOMPARE(checks->index(0, 2).data().toString(), QStringLiteral("200"));
        QCOMPARE(checks->index(2, 1).data().toString(), QStringLiteral("NG"));
        QCOMPARE(checks->index(2, 2).data().toString(), QStringLiteral("--"));
        // The reason column does not repeat the result mark its name says.
        QCOMPARE(checks->index(0, 4).data().toString(), QStringLiteral("使用可能なプロキシサーバです"));
        QCOMPARE(checks->index(2, 4).data().toString(), QStringLiteral("タイムアウトが起こりました"));
        QCOMPARE(window->Plot()->GoodPointCount(), 3);
        QCOMPARE(window->Plot()->FailureCount(), 1);

        QTest::keyClick(window, Qt::Key_Escape);
        QTRY_VERIFY(window.isNull());
    }

    // After a restart, a row this session has not placed shows where the history last saw its proxy leave: a good
    // check's exit over a later failure's own address; the window of its checks shows each check's place.
    void placeColumnsShowTheHistorysLastPlace() {
        {
            CheckRecord good = Check("c.example:80", "OK", 50, 2);
            good.exitAddress = "127.0.0.9";
            good.country = "JP";
            good.asn = 16509;
            CheckRecord failed = Check("c.example:80", "NG", {}, 1);
            failed.exitAddress = "c.example";
            failed.country = "NL";
            HistoryStore other;
            QVERIFY(other.Open(m_rig->dir.File(kHistoryFileName), 36500, kNow, nullptr));
            QVERIFY(other.Add({good, failed}));
        }
        ToggleColumns();
        QTRY_COMPARE(Column(kCountryColumn), Texts({"", "", "JP", ""}));
        QCOMPARE(Column(kAsnColumn), Texts({"", "", "AS16509", ""}));
        const QString tip = View().model()->index(2, kCountryColumn).data(Qt::ToolTipRole).toString();
        QVERIFY2(tip.startsWith(QStringLiteral("ﾁｪｯｸ履歴より: ")) && tip.endsWith(QStringLiteral(" 127.0.0.9")),
                 qPrintable(tip));

        const ui::HistoryWindow window(m_rig->dir.File(kHistoryFileName), "c.example:80");
        const QAbstractItemModel* checks = window.Table()->model();
        QCOMPARE(checks->columnCount(), 8);
        QCOMPARE(checks->headerData(4, Qt::Horizontal).toString(), QStringLiteral("国"));
        QCOMPARE(checks->index(0, 4).data().toString() + checks->index(0, 6).data().toString(),
                 QStringLiteral("NLc.example"));
        QCOMPARE(checks->index(1, 5).data().toString() + QLatin1Char(' ') + checks->index(1, 6).data().toString(),
                 QStringLiteral("AS16509 127.0.0.9"));
        QCOMPARE(checks->index(3, 4).data().toString(), QString()); // made without a database
    }

    // A history that cannot be used is told once, in a box, and the window works on without it.
    void anUnusableHistoryIsToldOnceInABox() {
        m_rig.reset(); // the message recorder is one at a time
        m_rig = std::make_unique<test::FrameRig>();
        m_rig->dir.Write(kHistoryFileName, std::string(8192, 'x'));
        m_rig->Make();
        m_rig->AddRows({"a.example:80"});
        ToggleColumns();
        QTRY_COMPARE(m_rig->messages.Boxes().size(), std::size_t{1});
        QVERIFY(m_rig->messages.Boxes()[0].text.starts_with(HistoryUnusableMessage("").substr(0, 20)));
        QCOMPARE(m_rig->messages.Boxes()[0].icon, MbIcon::Warning);
        QCOMPARE(View().CellText(0, kUptimeColumn), QString());
        View().Rows().SetRowSelected(0, true);
        QVERIFY(m_rig->Frame().OnCommand(cmd::kCheckHistory));
        QTest::qWait(0);
        QCOMPARE(m_rig->messages.Boxes().size(), std::size_t{1});
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::HistoryViewTest)
#include "HistoryViewTest.moc"
