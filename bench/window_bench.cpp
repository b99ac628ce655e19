// A check run of 1000 rows in the desktop program's main window (offscreen), against zandel-check on the
// same rows, alternating in one run; both against a loopback proxy that answers at once. The window's run
// carries every cell, title and log change to the user-interface thread and waits for it; the console
// writes its transcript to a file.
//   window_bench [--jobs N] [--rows R]   both check N proxies at once, R rows (1000 unless given; more raise the
//                             list's limit); the longest gap between two ticks of a 10 ms timer during the window's
//                             run tells how long the user-interface thread was held up. On a busy machine that gap
//                             is mostly the thread waiting for a core, so the longest single event the thread handled
//                             is also given in that thread's own CPU time, which the load does not inflate.
//   [--rounds N]              rounds of each (5 unless given)

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QTimer>

#include "bench/Median.h"
#include "core/settings/AppSettings.h"
#include "core/proxy/InternetSettings.h"
#include "platform/ProgramLauncher.h"
#include "platform/RecentFileList.h"
#include "support/QuickProxy.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"
#include "ui/frame/MainFrame.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "support/FakeFileDialogs.h"
#include "ui/util/MessageBoxService.h"
#include "support/RecordingServices.h"

namespace {

using namespace zandel;
using Clock = std::chrono::steady_clock;

const std::string kAccessUrl = "http://127.0.0.1:9/envchk.cgi"; // never fetched: the proxy answers itself

double ThreadCpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Times each event the user-interface thread handles at the top of its loop, in its own CPU time, when asked: the
// thread's clock is a system call, two for every event, which would weigh on the window's side of the ratio.
class TimedApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool timing = false;
    double longestEventMs = 0;

    bool notify(QObject* receiver, QEvent* event) override {
        if (!timing) {
            return QApplication::notify(receiver, event);
        }
        const double start = m_depth == 0 ? ThreadCpuMs() : 0;
        ++m_depth;
        const bool handled = QApplication::notify(receiver, event);
        if (--m_depth == 0) {
            longestEventMs = std::max(longestEventMs, ThreadCpuMs() - start);
        }
        return handled;
    }

private:
    int m_depth = 0;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication app(argc, argv);
    // A list of 1000 rows reaches the limit and says so: answered in place of the user.
    ui::MessageBoxService::SetResponder([](const std::string&, MbButtons, MbIcon) { return MbResult::Ok; });

    int jobs = 1;
    int rows = 1000;
    int rounds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        (option == "--rows" ? rows : option == "--rounds" ? rounds : jobs) = std::stoi(argv[i + 1]);
    }
    test::QuickProxy proxy;
    test::TempDir dir;
    std::string list;
    for (int i = 0; i < rows; ++i) {
        list += proxy.Address() + "\r\n";
    }
    const std::string listPath = dir.Write("list.txt", list);

    AppSettings settings;
    settings.StartDir = dir.Path();
    settings.WebPage = kAccessUrl;
    settings.ParallelChecks = jobs;
    settings.MaxRows = std::max(rows, kListRowsDefault);
    RecordingInternetSettings internet;
    RecordingLauncher launcher;
    RecentFileList recent(dir.File("Zandel.ini"));
    test::FakeFileDialogs dialogs;
    ui::CMainFrame frame(settings, internet, launcher, recent, &dialogs);
    frame.show();
    ui::ProxyListView& view = *frame.View();

    std::vector<double> window;
    std::vector<double> console;
    std::vector<double> uiCpu; // the user-interface thread's own CPU time during the window's run
    std::vector<double> consoleWithHistory;
    std::vector<double> ratios;
    std::vector<double> historyRatios;
    double longestGapMs = 0;
    // The rounds timed, then one more of the window alone that times its every event.
    for (int round = 0; round <= rounds; ++round) {
        frame.Document().OpenListFile(listPath, OpenReplace);
        view.selectAll();
        app.timing = round == rounds;
        const auto start = Clock::now();
        const double uiCpuStart = ThreadCpuMs();
        view.StartCheck();
        // Waits as the program's event loop does, without spinning: a timer wakes it to look again.
        QTimer wake;
        auto lastTick = Clock::now();
        QObject::connect(&wake, &QTimer::timeout, &wake, [&] {
            const auto now = Clock::now();
            longestGapMs = std::max(longestGapMs, std::chrono::duration<double, std::milli>(now - lastTick).count());
            lastTick = now;
        });
        wake.start(10);
        while (view.Engine().HasRunThreads() || view.IsRunning()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        if (view.Rows().GetCellText(rows - 1, 1).rfind("Anonymous", 0) != 0) {
            std::fprintf(stderr, "window run failed: %s\n", view.Rows().GetCellText(rows - 1, 1).c_str());
            return 1;
        }
        if (app.timing) {
            break;
        }
        window.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        uiCpu.push_back(ThreadCpuMs() - uiCpuStart);

        // zandel-check as it runs by default, and keeping a history of the checks as the window does.
        const auto runConsole = [&](bool history) -> double {
            std::vector<std::string> args = {ZANDEL_CHECK_BIN,
                                             "--url",
                                             kAccessUrl,
                                             "--jobs",
                                             std::to_string(jobs),
                                             "--log",
                                             dir.File("run.log"),
                                             "--max-rows",
                                             std::to_string(std::max(rows, kListRowsDefault)),
                                             "-o",
                                             dir.File("checked.txt")};
            if (history) {
                args.insert(args.end(), {"--history", dir.File("console-history.db")});
            }
            args.push_back(listPath);
            const auto consoleStart = Clock::now();
            test::Subprocess check(args, dir.Path(), dir.File("out"), dir.File("err"));
            if (check.Wait(std::chrono::minutes(5)) != 0) {
                std::fprintf(stderr, "zandel-check failed: %s\n", dir.Read("err").c_str());
                std::exit(1);
            }
            return std::chrono::duration<double, std::milli>(Clock::now() - consoleStart).count();
        };
        console.push_back(runConsole(false));
        consoleWithHistory.push_back(runConsole(true));
        ratios.push_back(window.back() / console.back());
        historyRatios.push_back(window.back() / consoleWithHistory.back());
        std::printf("  round %d: window %.1f ms, console %.1f ms, console keeping a history %.1f ms\n", round + 1,
                    window.back(), console.back(), consoleWithHistory.back());
    }

    const double windowMs = bench::Median(window);
    const double consoleMs = bench::Median(console);
    std::printf("a check run of %d rows, %d at once, against a loopback proxy that answers at once, median of %d "
                "rounds\n",
                rows, jobs, rounds);
    std::printf("  zandel-check (transcript to a file):        %8.1f ms\n", consoleMs);
    std::printf("  zandel-check keeping a history:             %8.1f ms\n", bench::Median(consoleWithHistory));
    std::printf("  main window, offscreen (cells, title, log): %8.1f ms\n", windowMs);
    std::printf(
        "  ratio window / console: %.2f, median of the rounds' own %.2f  (aim: under 2; 10 000 at once: at most "
        "1.1)\n",
        windowMs / consoleMs, bench::Median(ratios));
    std::printf("  ratio window / console keeping a history (as the window does): median of the rounds' own %.2f\n",
                bench::Median(historyRatios));
    std::printf("  the user-interface thread's own CPU time during the window's run: %.0f ms\n", bench::Median(uiCpu));
    std::printf("  longest the user-interface thread was held up: %.1f ms (aim: under 50)\n", longestGapMs);
    std::printf("  longest single event it handled (its own CPU time, in a round of the window alone): %.1f ms\n",
                app.longestEventMs);
    frame.close();
    return 0;
}
