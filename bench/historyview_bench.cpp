// Opening the history window of a proxy with 10 000 kept checks: the window built, shown and painted whole
// (plot and table), against reading the same checks from the file alone and against a proxy with 100 checks.
// The history also holds 10 000 checks of other proxies, as a shared file does.

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include <QApplication>
#include <QPixmap>

#include "bench/Median.h"
#include "core/history/HistoryStore.h"
#include "support/TempDir.h"
#include "ui/list/HistoryPlot.h"
#include "ui/list/HistoryWindow.h"

namespace {

using namespace zandel;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 15;
constexpr std::time_t kNow = 1'800'000'000;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<CheckRecord> Checks(const std::string& address, int count) {
    std::vector<CheckRecord> checks;
    for (int i = 0; i < count; ++i) {
        CheckRecord check;
        check.address = address;
        const bool good = i % 7 != 0;
        check.result = good ? "Anonymous(A)" : "NG";
        if (good) {
            check.responseMs = 80 + (i * 37) % 900;
        }
        check.https = "---";
        check.checkedAt = IsoUtc(kNow - static_cast<std::time_t>(count - i) * 60);
        check.reason = good ? "結果：使用可能なプロキシサーバです" : "結果：タイムアウトしました";
        checks.push_back(std::move(check));
    }
    return checks;
}

double OpenWindowMs(const std::string& path, const std::string& address, int expected) {
    std::vector<double> rounds;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        ui::HistoryWindow window(path, address);
        window.show();
        QCoreApplication::processEvents();
        const QPixmap painted = window.grab(); // every child painted, as the screen would show it
        rounds.push_back(MsSince(start));
        if (painted.isNull() || window.Plot()->GoodPointCount() + window.Plot()->FailureCount() != expected) {
            std::fprintf(stderr, "the window did not show the %d checks\n", expected);
        }
    }
    return bench::Median(rounds);
}

double ReadMs(const std::string& path, const std::string& address) {
    std::vector<double> rounds;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        HistoryStore store;
        const bool read = store.OpenForReading(path) && !store.ChecksOf(address).empty();
        rounds.push_back(MsSince(start));
        if (!read) {
            std::fprintf(stderr, "the history could not be read\n");
        }
    }
    return bench::Median(rounds);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    test::TempDir dir;
    const std::string path = dir.File(kHistoryFileName);
    {
        HistoryStore store;
        if (!store.Open(path, 36500, kNow, nullptr) || !store.Add(Checks("10.0.0.1:8080", 10000)) ||
            !store.Add(Checks("10.0.0.2:8080", 100))) {
            std::fprintf(stderr, "the history could not be written\n");
            return 1;
        }
        for (int other = 0; other < 100; ++other) {
            store.Add(Checks("10.1.0." + std::to_string(other) + ":3128", 100));
        }
    }

    const double read = ReadMs(path, "10.0.0.1:8080");
    const double large = OpenWindowMs(path, "10.0.0.1:8080", 10000);
    const double small = OpenWindowMs(path, "10.0.0.2:8080", 100);
    std::printf("opening the history window (offscreen), median of %d\n", kRounds);
    std::printf("  reading 10 000 checks alone (ms)           %8.1f\n", read);
    std::printf("  window of 100 checks, shown and painted    %8.1f\n", small);
    std::printf("  window of 10 000 checks, shown and painted %8.1f   (aim: under 200 ms)\n", large);
    std::printf("  ratio 10 000 / 100 checks                  %8.1f\n", large / small);
    std::printf("  ratio window / reading alone               %8.1f\n", large / read);
    return 0;
}
