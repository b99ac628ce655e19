#include <algorithm>
#include <functional>
#include <memory>
#include <numeric>
#include <random>
#include <thread>

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>

#include "core/frame/CommandIds.h"
#include "core/list/ProxyListDocument.h"
#include "support/FakeDocumentHost.h"
#include "support/FakeProxy.h"
#include "support/ThreadState.h"
#include "ui/UiTestSupport.h"
#include "ui/frame/ProxyBar.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "ui/support/FakeListViewHost.h"
#include "ui/support/ListRig.h"
#include "ui/util/MessageBoxService.h"

namespace zandel {
namespace {

using test::AddressOf;
using ui::ProxyListView;
using Rows = std::vector<int>;

// The list as the user points at it: what is selected, what the status bar counts, what a tip shows.
class ListSelectionAndTipTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::ListRig> m_rig;

    void AddRows(int count, const std::string& address = "10.0.0.1:80") {
        for (int i = 0; i < count; ++i) {
            m_rig->view->Rows().InsertRow(m_rig->view->Rows().RowCount(), address, StatusUnchecked,
                                          m_rig->view->Rows().RowCount());
        }
    }
    // The tip the list shows for a pause of the pointer over the cell, or nothing.
    QString TipOver(int row, int column) {
        QToolTip::hideText();
        if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); })) {
            return QStringLiteral("(a tip that never went)");
        }
        const QPoint at = m_rig->RowCentre(row, column);
        QHelpEvent help(QEvent::ToolTip, at, m_rig->view->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(m_rig->view->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }

    // Compares the window's rows with the console's: cells, tags, images, and the selection as far as the filter shows
    // it (with none, the mark too).
    static void ExpectSameRows(const ui::ListRows& window, const MemoryRowStore& console,
                               const std::vector<bool>& shown, int step) {
        QCOMPARE(window.RowCount(), console.RowCount());
        Rows selectedInView;
        for (int row : console.SelectedRows(console.RowCount())) {
            if (shown.empty() || shown[static_cast<std::size_t>(row)]) {
                selectedInView.push_back(row);
            }
        }
        QVERIFY2(window.SelectedRows(window.RowCount()) == selectedInView, qPrintable(QString::number(step)));
        if (shown.empty()) {
            QVERIFY2(
                window.SelectionMark() == console.SelectionMark(),
                qPrintable(
                    QStringLiteral("%1: %2 %3").arg(step).arg(window.SelectionMark()).arg(console.SelectionMark())));
        }
        for (int row = 0; row < console.RowCount(); ++row) {
            const ProxyRow a = window.GetRow(row);
            const ProxyRow b = console.GetRow(row);
            QVERIFY2(a.cells == b.cells && a.tag == b.tag && a.image == b.image, qPrintable(QString::number(step)));
        }
    }

private Q_SLOTS:
    void init() {
        m_rig = std::make_unique<test::ListRig>();
        QVERIFY(QTest::qWaitForWindowExposed(m_rig->view.get()));
    }

    // The window's rows against the console's under the same random steps: rows inserted, scattered rows removed in
    // one go, the list reordered as a sort does, rows selected, and a filter put on (a run's: hidden rows keep their
    // selection out of sight) and taken off again, when every hidden selection must be back.
    void windowRowsAgreeWithTheConsolesThroughInsertsRemovalsSortsAndFilters() {
        ui::ListRows& window = m_rig->view->Rows();
        MemoryRowStore console;
        std::mt19937 random(11);
        const auto insert = [&](int at) {
            const std::string address = AddressOf(static_cast<int>(random() % 100000));
            const int image = static_cast<int>(random() % kStatusImageCount);
            window.InsertRow(at, address, image, at);
            console.InsertRow(at, address, image, at);
            const std::string result = random() % 2 == 0 ? "NG" : "Anonymous(A)";
            window.SetCellText(at, 1, result);
            console.SetCellText(at, 1, result);
        };
        for (int row = 0; row < 300; ++row) {
            insert(row);
        }
        std::vector<bool> shown;
        for (int step = 0; step < 400; ++step) {
            const int count = console.RowCount();
            Rows some;
            for (int row = 0; row < count; ++row) {
                if (random() % 4 == 0) {
                    some.push_back(row);
                }
            }
            switch (random() % 6) {
            case 0: {
                // A row inserted shows until the filter is applied again; the others stay as they were.
                const int at = static_cast<int>(random() % static_cast<unsigned>(count + 1));
                insert(at);
                if (!shown.empty()) {
                    shown.insert(shown.begin() + at, true);
                }
                break;
            }
            case 1:
                window.RemoveRows(some);
                console.RemoveRows(some);
                for (auto it = some.rbegin(); !shown.empty() && it != some.rend(); ++it) {
                    shown.erase(shown.begin() + *it);
                }
                break;
            case 2: {
                Rows order(static_cast<std::size_t>(count));
                std::iota(order.begin(), order.end(), 0);
                std::shuffle(order.begin(), order.end(), random);
                window.Reorder(order);
                console.Reorder(order);
                if (!shown.empty()) {
                    std::vector<bool> before = shown;
                    for (std::size_t k = 0; k < order.size(); ++k) {
                        shown[k] = before[static_cast<std::size_t>(order[k])];
                    }
                }
                break;
            }
            case 3:
                if (shown.empty()) {
                    window.SelectOnly(some);
                    console.SelectOnly(some);
                    if (!some.empty()) {
                        console.SetSelectionMark(some.back());
                    }
                }
                break;
            case 4:
                shown.assign(static_cast<std::size_t>(count), true);
                for (int row : some) {
                    shown[static_cast<std::size_t>(row)] = false;
                }
                window.Show(shown, false);
                break;
            default:
                shown.clear();
                window.Show({}, false);
                break;
            }
            ExpectSameRows(window, console, shown, step);
        }
    }

    void cleanup() {
        QToolTip::hideText();
        m_rig.reset();
    }

    // The count is kept between changes: every way the selection or the rows change must reach it.
    void selectedCountFollowsEveryChange() {
        AddRows(8);
        const auto check = [this](const char* step) {
            QVERIFY2(m_rig->view->Rows().SelectedCount() ==
                         static_cast<int>(m_rig->view->Rows().SelectedRows(MaxListRows).size()),
                     step);
        };
        QCOMPARE(m_rig->view->Rows().SelectedCount(), 0);
        m_rig->view->OnCommand(cmd::kSelectAll);
        QCOMPARE(m_rig->view->Rows().SelectedCount(), 8);
        m_rig->ClickRow(2, Qt::ControlModifier);
        QCOMPARE(m_rig->view->Rows().SelectedCount(), 7);
        m_rig->ClickRow(2);
        QCOMPARE(m_rig->view->Rows().SelectedCount(), 1);
        m_rig->ClickRow(5, Qt::ShiftModifier);
        QCOMPARE(m_rig->view->Rows().SelectedCount(), 4);
        QTest::keyClick(m_rig->view.get(), Qt::Key_Down, Qt::ShiftModifier);
        check("shift+down");
        m_rig->view->OnCommand(cmd::kDelete); // answered OK
        QCOMPARE(m_rig->view->Rows().RowCount(), 3);
        QCOMPARE(m_rig->view->Rows().SelectedCount(), 0);
        m_rig->view->OnCommand(cmd::kSelectAll);
        m_rig->view->OnCommand(cmd::kMoveDown);
        check("move");
        m_rig->view->OnCommand(cmd::kAddAtEnd);
        check("add");
        m_rig->view->Rows().SetRowSelected(0, false);
        check("deselect");
        m_rig->view->Rows().RemoveRow(1);
        check("remove");
        m_rig->view->OnCommand(cmd::kSelectAll);
        m_rig->view->Rows().RemoveAllRows();
        QCOMPARE(m_rig->view->Rows().SelectedCount(), 0);
    }

    // "Select all" on a long list leaves the view where the user was looking, and so does a run selecting again, from
    // its thread, a row far down it will check again (its judge was down); the selected rows stay told apart from
    // the others while another window is in front.
    void selectAllKeepsTheViewAndTheSelectionInSight() {
        m_rig->Fill(300);
        m_rig->view->scrollToTop();
        m_rig->view->OnCommand(cmd::kSelectAll);
        QTRY_COMPARE(m_rig->view->Rows().SelectedCount(), 300);
        QCOMPARE(m_rig->view->verticalScrollBar()->value(), 0);
        QCOMPARE(m_rig->view->Rows().SelectionMark(), 299);
        std::thread run([this] {
            m_rig->view->Rows().SetRowSelected(250, false);
            m_rig->view->Rows().SetRowSelected(250, true);
        });
        run.join();
        QTRY_COMPARE(m_rig->view->Rows().SelectionMark(), 250);
        QCOMPARE(m_rig->view->verticalScrollBar()->value(), 0);

        m_rig->view->Rows().SetRowSelected(1, false);
        QWidget front;
        front.show();
        QApplication::setActiveWindow(&front);
        QTRY_VERIFY(!m_rig->view->isActiveWindow());
        const auto colourOf = [this](const QImage& image, int row) {
            const QRect cell = m_rig->view->visualRect(m_rig->view->model()->index(row, 2));
            return image.pixelColor(cell.right() - 4, cell.center().y());
        };
        const QImage image = m_rig->view->viewport()->grab().toImage();
        QVERIFY2(colourOf(image, 0) != colourOf(image, 1), qPrintable(colourOf(image, 0).name()));
        QCOMPARE(colourOf(image, 2), colourOf(image, 0));
    }

    // A run deselects each row as it ends, from its own thread; thousands end at once when it stops. They reach the
    // selection as a few changes, not one each (each change goes through every range of the selection: stopping
    // 10 000 running rows froze the window for seconds), and a row selected again in between stays selected.
    void aRunsDeselectsReachTheSelectionTogetherAndInOrder() {
        constexpr int kRows = 20000;
        std::vector<ProxyRow> rows(kRows);
        for (int row = 0; row < kRows; ++row) {
            rows[static_cast<std::size_t>(row)].cells[0] = AddressOf(row);
        }
        m_rig->view->Rows().AppendRows(rows);
        m_rig->view->OnCommand(cmd::kSelectAll);
        QTRY_COMPARE(m_rig->view->Rows().SelectedCount(), kRows);
        int changes = 0;
        connect(m_rig->view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [&changes] { ++changes; });
        Rows even(kRows / 2);
        std::iota(even.begin(), even.end(), 0);
        std::transform(even.begin(), even.end(), even.begin(), [](int half) { return 2 * half; });
        std::shuffle(even.begin(), even.end(), std::mt19937(7));
        std::thread run([&] {
            for (int row : even) {
                m_rig->view->Rows().SetRowSelected(row, false);
                m_rig->view->Rows().SetCellText(row, 1, "NG"); // as a run writes each row's result between them
            }
            m_rig->view->Rows().SetRowSelected(1, false);
            m_rig->view->Rows().SetRowSelected(1, true);
            m_rig->view->Rows().SetRowSelected(3, false);
        });
        run.join();
        QTRY_COMPARE(m_rig->view->Rows().SelectedCount(), kRows / 2 - 1);
        Rows odd;
        for (int row = 1; row < kRows; row += 2) {
            if (row != 3) {
                odd.push_back(row);
            }
        }
        QCOMPARE(m_rig->view->Rows().SelectedRows(kRows), odd);
        QCOMPARE(m_rig->view->Rows().GetCellText(even.back(), 1), std::string("NG"));
        QVERIFY2(changes <= 10, qPrintable(QString::number(changes)));
    }

    // Only the run takes rows off the selection of a running list: no click, drag or key of the user may.
    void theUserCannotChangeTheSelectionOfARunningList() {
        test::FakeProxy silent(test::fake::NeverAnswer());
        AddRows(6, silent.Address());
        m_rig->view->Rows().SetRowSelected(0, true);
        m_rig->view->Rows().SetRowSelected(3, true);
        m_rig->view->StartCheck();
        QTRY_COMPARE(m_rig->view->Rows().GetCellText(0, 1), std::string("ﾁｪｯｸ中…"));
        // Waiting for the answer (the time-out and ten seconds), where a stop takes.
        QVERIFY(test::WaitUntilSomeThreadPolls((m_rig->settings.TimeOut + 10) * 1000));
        const Rows before = m_rig->view->Rows().SelectedRows(MaxListRows);

        const std::vector<std::pair<const char*, std::function<void()>>> actions = {
            {"Ctrl+A", [this] { QTest::keyClick(m_rig->view.get(), Qt::Key_A, Qt::ControlModifier); }},
            {"select all", [this] { m_rig->view->selectAll(); }},
            {"click", [this] { m_rig->ClickRow(5); }},
            {"Ctrl+click", [this] { m_rig->ClickRow(1, Qt::ControlModifier); }},
            {"Shift+click", [this] { m_rig->ClickRow(4, Qt::ShiftModifier); }},
            {"Down", [this] { QTest::keyClick(m_rig->view.get(), Qt::Key_Down); }},
            {"Shift+End", [this] { QTest::keyClick(m_rig->view.get(), Qt::Key_End, Qt::ShiftModifier); }},
            {"Ctrl+Space", [this] { QTest::keyClick(m_rig->view.get(), Qt::Key_Space, Qt::ControlModifier); }},
            {"drag",
             [this] {
                 QTest::mousePress(m_rig->view->viewport(), Qt::LeftButton, {}, m_rig->RowCentre(1));
                 QTest::mouseMove(m_rig->view->viewport(), m_rig->RowCentre(5));
                 QTest::mouseRelease(m_rig->view->viewport(), Qt::LeftButton, {}, m_rig->RowCentre(5));
             }},
        };
        for (const auto& [name, action] : actions) {
            action();
            QVERIFY2(m_rig->view->Rows().SelectedRows(MaxListRows) == before, name);
        }
        m_rig->view->StopCheck();
        QTRY_VERIFY(!m_rig->view->IsRunning());
        // Afterwards the user selects again.
        QTest::keyClick(m_rig->view.get(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(m_rig->view->Rows().SelectedCount(), 6);
    }

    void aCellTooNarrowForItsTextShowsItWholeAsTheTip() {
        const std::string longHost(120, 'h');
        AddRows(1, longHost + ".example:8080");
        AddRows(1, "10.0.0.1:80");
        AddRows(1, "<b>" + longHost + "</b>:80");
        QCOMPARE(TipOver(0, 0), QString::fromStdString(longHost + ".example:8080"));
        // A text that fits needs no tip, nor does an empty cell.
        QCOMPARE(TipOver(1, 0), QString());
        QCOMPARE(TipOver(1, 1), QString());
        // Markup in a list file is shown as it stands, not drawn.
        const QString tip = TipOver(2, 0);
        QVERIFY2(tip.contains(QStringLiteral("&lt;b&gt;")), qPrintable(tip));

        // A graded row's result cell tells why; a row written anew loses the old reason.
        ProxyRow graded;
        graded.cells[1] = "Non-Anonymous";
        graded.reason = "接続元のIPアドレス(127.0.0.1)がHTTP_X_TINYPROXYに含まれています";
        m_rig->view->Rows().SetRowResult(1, graded);
        QTRY_COMPARE(TipOver(1, 1), QString::fromStdString(graded.reason));
        ProxyRow plain;
        plain.cells[0] = "10.0.0.1:80";
        m_rig->view->Rows().SetRow(1, plain);
        QTRY_COMPARE(TipOver(1, 1), QString());
    }

    void clickOffersTheFirstSelectedAddressToTheProxyBar_data() {
        QTest::addColumn<int>("use");
        QTest::newRow("proxy off") << 0;
        QTest::newRow("proxy on") << 1;
    }
    void clickOffersTheFirstSelectedAddressToTheProxyBar() {
        QFETCH(int, use);
        m_rig->Fill(5);
        ui::CProxyBar* bar = m_rig->host->GetProxyBar();
        bar->SetAddr("10.9.9.9:1");
        bar->SetUseProxy(use);
        m_rig->settings.FavoSel = true;
        const int updatesBefore = m_rig->host->countUpdates;

        m_rig->ClickRow(3);
        m_rig->ClickRow(1, Qt::ControlModifier);
        QCOMPARE(m_rig->view->Rows().SelectedRows(MaxListRows), (Rows{1, 3}));
        QCOMPARE(bar->GetAddr(), use == 0 ? AddressOf(1) : std::string("10.9.9.9:1"));
        QCOMPARE(m_rig->settings.FavoSel, use != 0);
        QCOMPARE(m_rig->host->countUpdates, updatesBefore + 2);
        QVERIFY(m_rig->host->internet.calls.empty()); // offering is not applying
    }

    void proxyCommandsDriveTheBarAndTheBrowserSetting() {
        m_rig->Fill(3);
        m_rig->view->Rows().SetCellText(1, 0, "10.0.0.1:8080");
        m_rig->view->Rows().SetCellText(2, 0, "10.0.0.3:3128");
        ui::CProxyBar* bar = m_rig->host->GetProxyBar();
        bar->SetAddr("10.0.0.2:3128");
        auto lastApplied = [this] {
            return m_rig->host->internet.calls.at(m_rig->host->internet.calls.size() - 2).list;
        };

        // On/off with the proxy off: the marked row goes to the browser, the bar's text stays.
        m_rig->Select({1});
        QVERIFY(m_rig->view->OnCommand(cmd::kProxyOnOff));
        QCOMPARE(bar->GetUseProxy(), 1);
        QCOMPARE(bar->GetAddr(), std::string("10.0.0.2:3128"));
        QCOMPARE(lastApplied().proxyServer, std::string("10.0.0.1:8080"));
        QCOMPARE(lastApplied().flags, kProxyTypeProxy);

        // Change with the proxy on: the first selected row becomes the bar's address and stays on.
        m_rig->settings.FavoSel = true;
        m_rig->Select({2});
        QVERIFY(m_rig->view->OnCommand(cmd::kChangeProxy));
        QCOMPARE(bar->GetAddr(), std::string("10.0.0.3:3128"));
        QCOMPARE(bar->GetUseProxy(), 1);
        QCOMPARE(lastApplied().proxyServer, std::string("10.0.0.3:3128"));
        QCOMPARE(lastApplied().flags, kProxyTypeProxy);
        QVERIFY(!m_rig->settings.FavoSel);

        // Off from the tray: the bar keeps its address, the browser gets it switched off.
        QVERIFY(m_rig->view->OnCommand(cmd::kProxyOff));
        QCOMPARE(bar->GetUseProxy(), 0);
        QCOMPARE(bar->GetAddr(), std::string("10.0.0.3:3128"));
        QCOMPARE(lastApplied().proxyServer, std::string("10.0.0.3:3128"));
        QCOMPARE(lastApplied().flags, kProxyTypeDirect);
        QCOMPARE(m_rig->host->internet.calls.back().option, kOptionSettingsChanged);

        // Change with the proxy off hands the new address over with the proxy still off.
        m_rig->Select({0});
        m_rig->view->OnCommand(cmd::kChangeProxy);
        QCOMPARE(lastApplied().proxyServer, AddressOf(0));
        QCOMPARE(lastApplied().flags, kProxyTypeDirect);
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::ListSelectionAndTipTest)
#include "ListSelectionAndTipTest.moc"
