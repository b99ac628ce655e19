#include <algorithm>
#include <memory>
#include <string>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "core/list/ListFile.h"
#include "support/FakeProxy.h"
#include "support/FakeScript.h"
#include "ui/UiTestSupport.h"
#include "ui/frame/MainFrame.h"
#include "ui/list/FilterBar.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "ui/support/FrameRig.h"

namespace zandel {
namespace {

class ListFilterTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<test::FrameRig> m_rig;

    ui::CMainFrame& Frame() { return m_rig->Frame(); }
    ui::ProxyListView& View() { return *Frame().View(); }
    template <class T> T* Child(const char* name) { return Frame().findChild<T*>(QString::fromUtf8(name)); }
    // A status-bar pane's text, or "-" while it is hidden.
    QString Pane(const char* name) {
        auto* pane = Child<QLabel>(name);
        return pane->isVisible() ? pane->text() : QStringLiteral("-");
    }
    // As the user chooses a menu item: the menus are brought up to date first.
    void Trigger(const char* name) {
        Frame().MenuBarOpened();
        Frame().UpdateCommandUi();
        if (QAction* action = test::RequireEnabledAction(&Frame(), QString::fromUtf8(name))) {
            action->trigger();
        }
    }
    void OpenList(const std::string& text) {
        const std::string path = m_rig->dir.Write("list.txt", text);
        Frame().Document().OpenListFile(path, OpenReplace);
        QTRY_COMPARE(View().Rows().RowCount(), static_cast<int>(std::count(text.begin(), text.end(), '\n')));
    }
    void ChooseIn(const char* combo, const char* text) {
        auto* box = Child<QComboBox>(combo);
        box->setCurrentIndex(box->findText(QString::fromUtf8(text)));
    }
    bool Shown(int row) { return View().Rows().IsRowShown(row); }

private Q_SLOTS:
    void init() { m_rig = std::make_unique<test::FrameRig>(); }
    void cleanup() { m_rig.reset(); }

    void filterSelectAndDeleteNgActOnTheShownRowsAndSaveKeepsTheRest() {
        m_rig->Make();
        OpenList("127.0.0.1:8080 Anonymous(A) 0.100 2026/01/01(00:00:00)\r\n"
                 "127.0.0.1:8081 NG --:--- 2026/01/01(00:00:00)\r\n"
                 "127.0.0.2:8080 NG(Tampered) --:--- 2026/01/01(00:00:00)\r\n"
                 "socks5://127.0.0.1:1080 NG --:--- 2026/01/01(00:00:00)\r\n"
                 "127.0.0.3:3128 Non-Anonymous 0.200 2026/01/01(00:00:00)\r\n"
                 "127.0.0.1:8082 --- --:--- ----/--/--(-:-:-)\r\n");
        QCOMPARE(Pane("shownCountPane"), QStringLiteral("-"));

        Trigger("filterBar");
        QVERIFY(Child<ui::FilterBar>("filterBar")->isVisible());
        Frame().UpdateCommandUi();
        QVERIFY(Child<QAction>("filterBar")->isChecked());
        QTest::keyClicks(Child<QLineEdit>("filterText"), QStringLiteral("127.0.0.1:"));
        QTRY_COMPARE(Pane("shownCountPane"), QStringLiteral("表示 : 4 / 6"));
        ChooseIn("filterKind", "http");
        QTRY_COMPARE(Pane("shownCountPane"), QStringLiteral("表示 : 3 / 6"));

        // All selected, then only the NG rows in view: the hidden ones never count.
        Trigger("selectAll");
        QTRY_COMPARE(Pane("selectedCountPane"), QStringLiteral("選択 : 3  "));
        Trigger("selectNg");
        QTRY_COMPARE(Pane("selectedCountPane"), QStringLiteral("選択 : 1  "));
        QCOMPARE(View().Rows().SelectedRows(10), std::vector<int>({1}));

        ChooseIn("filterKind", "すべて");
        Trigger("deleteNg");
        QCOMPARE(m_rig->messages.Boxes().size(), std::size_t{1});
        QCOMPARE(m_rig->messages.Boxes()[0].text, std::string("NGのアドレス(2件)を削除しますか？"));
        QTRY_COMPARE(Pane("shownCountPane"), QStringLiteral("表示 : 2 / 4"));
        QCOMPARE(Pane("rowCountPane"), QStringLiteral("ﾌﾟﾛｷｼ : 4"));

        // The hidden rows are saved as any other.
        Trigger("fileSave");
        QCOMPARE(m_rig->dir.Read("list.txt"), std::string("127.0.0.1:8080 Anonymous(A) 0.100 2026/01/01(00:00:00)\r\n"
                                                          "127.0.0.2:8080 NG(Tampered) --:--- 2026/01/01(00:00:00)\r\n"
                                                          "127.0.0.3:3128 Non-Anonymous 0.200 2026/01/01(00:00:00)\r\n"
                                                          "127.0.0.1:8082 --- --:--- ----/--/--(-:-:-)\r\n"));

        // Esc in the bar closes it and shows every row again.
        QTest::keyClick(Child<QLineEdit>("filterText"), Qt::Key_Escape);
        QVERIFY(!Child<ui::FilterBar>("filterBar")->isVisible());
        QTRY_COMPARE(Pane("shownCountPane"), QStringLiteral("-"));
        QCOMPARE(View().ShownRowCount(), 4);
        Frame().UpdateCommandUi();
        QVERIFY(!Child<QAction>("filterBar")->isChecked());
    }

    // The rows of a run stay where the user watches them: a row graded NG under a filter of live rows is hidden once
    // the run has ended, not while it goes on.
    void aRowARunGradesOutOfTheFilterIsHiddenAtTheRunsEnd() {
        test::FakeProxy refusing(test::fake::Refuse());
        test::FakeProxy silent(test::fake::NeverAnswer());
        m_rig->settings.WebPage = "http://127.0.0.1:9/envchk.cgi";
        m_rig->settings.TimeOut = 30;
        m_rig->Make();
        OpenList(refusing.Address() + " Anonymous(A) 0.100 2026/01/01(00:00:00)\r\n" + silent.Address() +
                 " Anonymous(B) 0.100 2026/01/01(00:00:00)\r\n127.0.0.1:8082 NG --:--- 2026/01/01(00:00:00)\r\n");
        Trigger("filterBar");
        ChooseIn("filterResult", "使用可能");
        QTRY_COMPARE(Pane("shownCountPane"), QStringLiteral("表示 : 2 / 3"));
        Trigger("selectAll");
        View().StartCheck();
        QTRY_COMPARE(View().Rows().GetCellText(0, 1), std::string("NG"));
        QTRY_VERIFY(View().Rows().GetCellText(1, 1) != "Anonymous(B)");
        QVERIFY(View().IsRunning());
        QVERIFY(Shown(0));
        View().StopCheck();
        QTRY_VERIFY(!View().IsRunning());
        QTRY_VERIFY(!Shown(0));
        QTRY_COMPARE(Pane("shownCountPane"), QString::fromUtf8("表示 : %1 / 3").arg(Shown(1) ? 1 : 0));
        QVERIFY(!Shown(2));
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::ListFilterTest)
#include "ListFilterTest.moc"
