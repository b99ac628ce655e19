// The main window at rest and under clicks with many rows selected, against the same with few: the idle
// window's processor time over ten seconds, select-all, and the time a Ctrl+click takes to be answered
// (selection, proxy bar, status-bar counts), on a list of 1000 rows with 1000 and with 10 of them selected.

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include "bench/Median.h"
#include "core/frame/CommandIds.h"
#include "ui/frame/MainFrame.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "ui/support/FrameRig.h"

namespace {

using namespace zandel;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 1000;
constexpr int kIdleMs = 10000;
constexpr int kClicks = 20; // even: the toggled row ends as it began

double ProcessCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
    double selectMs;
    double idleCpuPercent;
    double clickMs;
};

Figures Measure(ui::CMainFrame& frame, int selected) {
    ui::ProxyListView& view = *frame.View();
    view.clearSelection();
    QCoreApplication::processEvents();
    const auto selectStart = Clock::now();
    if (selected == kRows) {
        frame.OnCommand(cmd::kSelectAll);
    } else {
        for (int row = 0; row < selected; ++row) {
            view.Rows().SetRowSelected(row, true);
        }
        frame.UpdateCounts();
    }
    const double selectMs = MsSince(selectStart);

    // At rest: only the window's own timers run.
    const double cpuStart = ProcessCpuMs();
    QEventLoop idle;
    QTimer::singleShot(kIdleMs, &idle, &QEventLoop::quit);
    idle.exec();
    const double idleCpuPercent = (ProcessCpuMs() - cpuStart) / kIdleMs * 100.0;

    // Ctrl+click toggles one visible row: the selection stays as large, every click is answered in full.
    view.scrollToTop();
    const QPoint centre = view.visualRect(view.model()->index(3, 0)).center();
    std::vector<double> clicks;
    for (int click = 0; click < kClicks; ++click) {
        const auto start = Clock::now();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ControlModifier, centre);
        QCoreApplication::processEvents();
        clicks.push_back(MsSince(start));
    }
    if (view.Rows().SelectedRows(kRows).size() != static_cast<std::size_t>(selected)) {
        std::fprintf(stderr, "the clicks did not reach the list\n");
    }
    return Figures{selectMs, idleCpuPercent, bench::Median(clicks)};
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    test::FrameRig rig;
    ui::CMainFrame& frame = rig.Make();
    std::vector<std::string> rows;
    for (int row = 0; row < kRows; ++row) {
        rows.push_back("10.0." + std::to_string(row / 250) + "." + std::to_string(row % 250) + ":8080");
    }
    rig.AddRows(rows);

    const Figures few = Measure(frame, 10);
    const Figures many = Measure(frame, kRows);
    std::printf("the main window with a list of %d rows (offscreen)\n", kRows);
    std::printf("                                   10 selected   %4d selected   ratio\n", kRows);
    std::printf("  selecting (ms)                   %11.1f   %13.1f   %5.1f\n", few.selectMs, many.selectMs,
                many.selectMs / few.selectMs);
    std::printf("  idle processor over %2d s (%%)     %11.2f   %13.2f   %5.1f\n", kIdleMs / 1000, few.idleCpuPercent,
                many.idleCpuPercent, many.idleCpuPercent / few.idleCpuPercent);
    std::printf("  Ctrl+click, median of %d (ms)    %11.2f   %13.2f   %5.1f  (aim: under 50 ms)\n", kClicks,
                few.clickMs, many.clickMs, many.clickMs / few.clickMs);
    return 0;
}
