// A public list's size in the main window on an X server with a window manager (run-on-desktop.sh starts both):
// opened, checked many at once, painted, saved and read back, as the user does it.

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "core/check/ParallelProbe.h"
#include "core/list/ProxyRow.h"
#include "support/FakeProxy.h"
#include "support/QuickProxy.h"
#include "ui/frame/CheckBar.h"
#include "ui/frame/MainFrame.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "ui/support/AppRig.h"

namespace zandel {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
// A sanitizer makes every socket call and every cell many times dearer: there a tenth of the list, as many at
// once in proportion, so that the run stays within CI's time.
constexpr int kRows = kSanitized ? 10000 : 100000;
constexpr int kAtOnce = kSanitized ? 1000 : 10000;
// Every fifth row a proxy that answers, the others a port that refuses.
constexpr int kLiveEvery = 5;
// Proxies that answer, each taking its connections in turn; enough of them, each with a long enough queue, that
// no connection waits for a second try.
constexpr int kQuickProxies = 4;
constexpr int kQuickBacklog = 4096;
constexpr int kFrameWaitMs = 10000;
constexpr int kRunWaitMs = 400000;
// The open-files limit the run needs for kAtOnce sockets with the window's own descriptors beside them.
constexpr rlim_t kWantedDescriptors = kAtOnce + 1024;

bool IsLiveRow(int row) {
    return row % kLiveEvery == 0;
}

// The ball the screen shows in a row's first cell, as its status image; StatusUnchecked for grey or none.
int PaintedBall(const QImage& painted, const ui::ProxyListView& view, int row) {
    const QRect cell = view.visualRect(view.model()->index(row, 0));
    for (int x = cell.left(); x < cell.left() + 24 && x < painted.width(); ++x) {
        const QColor pixel = painted.pixelColor(x, cell.center().y());
        if (pixel.red() > 170 && pixel.green() < 100 && pixel.blue() < 100) {
            return StatusNG;
        }
        if (pixel.green() > 140 && pixel.red() < 120 && pixel.blue() < 110) {
            return StatusAnonymous;
        }
        if (pixel.blue() > 200 && pixel.green() > 150 && pixel.red() < 120) {
            return StatusNonAnonymous;
        }
    }
    return StatusUnchecked;
}

// The rows in view that the screen does not show with their own ball, as "row: painted/kept"; empty when all do.
QString RowsPaintedWrong(ui::CMainFrame& frame) {
    ui::ProxyListView& view = *frame.View();
    QWidget* viewport = view.viewport();
    const QPoint at = viewport->mapTo(&frame, QPoint(0, 0));
    const QImage painted =
        frame.screen()->grabWindow(frame.winId(), at.x(), at.y(), viewport->width(), viewport->height()).toImage();
    QString wrong;
    const int first = view.indexAt(QPoint(1, 1)).row();
    for (int row = std::max(first, 0); row < view.Rows().RowCount(); ++row) {
        const QRect cell = view.visualRect(view.model()->index(row, 0));
        if (cell.bottom() >= viewport->height()) {
            break;
        }
        const int kept = view.Rows().GetRowImage(row);
        const int shown = PaintedBall(painted, view, row);
        if (shown != (kept == StatusTampered ? StatusUnchecked : kept)) {
            wrong += QStringLiteral(" %1: %2/%3").arg(row).arg(shown).arg(kept);
        }
    }
    return wrong;
}

// Rows whose result is not the one their proxy gives, as a count: live for the answering, NG for the refusing.
int RowsJudgedWrong(const ui::ListRows& rows) {
    int wrong = 0;
    for (int row = 0; row < rows.RowCount(); ++row) {
        const int image = rows.GetRowImage(row);
        const bool live = image == StatusAnonymous || image == StatusNonAnonymous;
        wrong += (IsLiveRow(row) ? live : image == StatusNG) ? 0 : 1;
    }
    return wrong;
}

// The open-files limit the engine has once the program has started (which raises it to the hard limit), the hard
// limit first raised to what the run needs where the process may.
rlim_t OpenFilesLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max < kWantedDescriptors) {
        const rlimit raised{kWantedDescriptors, kWantedDescriptors};
        ::setrlimit(RLIMIT_NOFILE, &raised);
    }
    RaiseOpenFileLimit();
    ::getrlimit(RLIMIT_NOFILE, &limit);
    return limit.rlim_cur;
}

// Triggers the window's action of that name once the window has enabled it, as the user waits for it to be; false
// when it never is.
bool TriggerOnceEnabled(ui::CMainFrame& frame, const char* name) {
    auto* action = frame.findChild<QAction*>(QString::fromLatin1(name));
    if (action == nullptr || !QTest::qWaitFor([action] { return action->isEnabled(); }, kFrameWaitMs)) {
        return false;
    }
    action->trigger();
    return true;
}

class LargeListTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<test::AppRig> m_rig;

private Q_SLOTS:
    void init() { m_rig = std::make_unique<test::AppRig>(); }
    void cleanup() { m_rig.reset(); }

    // Opened, all selected, checked kAtOnce at a time: every row ends with its proxy's result, the rows in view
    // are painted with it, and the list saved with its results reads back the same.
    void aPublicListIsCheckedPaintedAndSaved() {
        const rlim_t openFiles = OpenFilesLimit();
        std::vector<std::unique_ptr<test::QuickProxy>> quick;
        for (int i = 0; i < kQuickProxies; ++i) {
            quick.push_back(std::make_unique<test::QuickProxy>(kQuickBacklog));
        }
        test::FakeProxy refusing(test::fake::Refuse());
        std::string list;
        for (int row = 0; row < kRows; ++row) {
            list += IsLiveRow(row) ? quick[static_cast<std::size_t>(row / kLiveEvery % kQuickProxies)]->Address()
                                   : refusing.Address();
            list += "\r\n";
        }
        const std::string path = m_rig->dir.Write("public.txt", list);
        m_rig->dir.Write("PrxSet.ini", "[Window]\r\nLeft=100\r\nTop=50\r\nBottom=750\r\nRight=1100\r\n"
                                       "[WebPage-Url]\r\nWebPage=http://127.0.0.1:9/envchk.cgi\r\n"
                                       "[Judge]\r\nBaseline=0\r\n[ProxyParallel]\r\nCount=" +
                                           std::to_string(kAtOnce) + "\r\n[List]\r\nMaxRows=1000000\r\n");
        QElapsedTimer wall;
        wall.start();
        auto app = m_rig->MakeApp();
        QVERIFY(app->InitInstance() == AppLifecycle::Start::Running);
        ui::CMainFrame& frame = *app->MainFrame();
        QVERIFY(QTest::qWaitFor([&frame] { return !frame.windowHandle()->frameMargins().isNull(); }, kFrameWaitMs));
        ui::ProxyListView& view = *frame.View();

        m_rig->dialogs.openAnswers.push_back(path);
        QVERIFY(TriggerOnceEnabled(frame, "fileOpen"));
        QCOMPARE(view.Rows().RowCount(), kRows);
        const qint64 openedMs = wall.elapsed();
        QVERIFY(TriggerOnceEnabled(frame, "selectAll"));
        QTRY_COMPARE(view.Rows().SelectedCount(), kRows);
        QTRY_COMPARE(RowsPaintedWrong(frame), QString());

        // What the engine says of the width it ran at, and the most rows the status bar showed in flight.
        QString narrowed;
        connect(frame.statusBar(), &QStatusBar::messageChanged, this, [&narrowed](const QString& text) {
            narrowed = text.contains(QStringLiteral("同時ﾁｪｯｸ数")) ? text : narrowed;
        });
        int mostInFlight = 0;
        auto* running = frame.findChild<QLabel*>(QStringLiteral("runningCountPane"));
        QTimer sample;
        connect(&sample, &QTimer::timeout, this, [running, &mostInFlight] {
            mostInFlight = std::max(mostInFlight, running->text().section(QLatin1Char(':'), 1).trimmed().toInt());
        });
        sample.start(20);
        // Every title the window manager is given it draws, in its own time: a title a row swamped it for minutes.
        int titles = 0;
        connect(frame.windowHandle(), &QWindow::windowTitleChanged, this, [&titles] { ++titles; });
        QTest::mouseClick(frame.GetCheckBar()->StartStopButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!view.IsRunning() && !view.Engine().HasRunThreads(), kRunWaitMs);
        sample.stop();
        const qint64 checkedMs = wall.elapsed();

        QCOMPARE(RowsJudgedWrong(view.Rows()), 0);
        QCOMPARE(view.Rows().SelectedCount(), 0);
        QVERIFY2(titles <= (checkedMs - openedMs) / 50 + 10, qPrintable(QStringLiteral("%1 titles").arg(titles)));
        QTRY_COMPARE(RowsPaintedWrong(frame), QString());
        // Where the descriptors fall short the engine narrows the run and says so; where they do not, it must not.
        const bool roomForAll = openFiles >= kWantedDescriptors;
        QVERIFY2(
            narrowed.isEmpty() == roomForAll,
            qPrintable(
                QStringLiteral("open files %1, said: \"%2\"").arg(static_cast<qulonglong>(openFiles)).arg(narrowed)));

        QVERIFY(TriggerOnceEnabled(frame, "fileSave"));
        const qint64 savedMs = wall.elapsed();
        const std::string saved = m_rig->dir.Read("public.txt");
        QCOMPARE(std::count(saved.begin(), saved.end(), '\n'), std::ptrdiff_t{kRows});
        m_rig->dialogs.openAnswers.push_back(path);
        QVERIFY(TriggerOnceEnabled(frame, "fileOpen"));
        QCOMPARE(view.Rows().RowCount(), kRows);
        QCOMPARE(RowsJudgedWrong(view.Rows()), 0);
        QVERIFY(m_rig->messages.Boxes().empty());
        qInfo("%d rows, %d at once asked, at most %d seen in flight (open files %llu%s); opened in %lld ms, checked "
              "in %lld ms, saved in %lld ms, read back in %lld ms",
              kRows, kAtOnce, mostInFlight, static_cast<unsigned long long>(openFiles),
              narrowed.isEmpty() ? "" : qPrintable(QStringLiteral(": ") + narrowed), openedMs, checkedMs - openedMs,
              savedMs - checkedMs, wall.elapsed() - savedMs);
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::LargeListTest)
#include "LargeListTest.moc"
