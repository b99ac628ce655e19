// What the check engine adds to the network exchange it makes: per check, a run over 1000 rows against a
// loopback proxy that answers at once, next to the same exchanges made bare (blocking connect, send,
// receive until close, close) in the same process, alternating so that both see the same machine.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/Median.h"
#include "core/settings/AppSettings.h"
#include "core/check/CheckEngine.h"
#include "core/check/TestRequest.h"
#include "core/list/RowStore.h"
#include "support/QuickProxy.h"
#include "support/Loopback.h"
#include "support/RecordingMessageService.h"

namespace {

using namespace zandel;
using Clock = std::chrono::steady_clock;

// The console tool's host without its output: the cost measured is the engine's own.
class QuietHost final : public ICheckHost {
public:
    void AppendLog(const std::string&) override {}
    std::string GetTitle() override { return "Zandel"; }
    void SetTitle(const std::string&) override {}
    void SetStartStop(bool) override {}
    void SetLabelEditing(bool) override {}
    void StartCheckIndicator() override {}
    void StopCheckIndicator() override {}
    std::string GetProxyBarAddress() override { return {}; }
};

constexpr int kRows = 1000;
constexpr int kRounds = 7;

} // namespace

int main() {
    test::QuickProxy proxy;
    AppSettings settings;
    settings.WebPage = "http://127.0.0.1:9/envchk.cgi"; // never fetched: the fake proxy answers itself
    const TestRequest request = ComposeTestRequest(settings.WebPage, settings.HttpVer, settings.UserAgent);
    const std::string wire = "GET " + request.requestLine + "\r\n" + request.headers + "\r\n\r\n";

    MemoryRowStore rows;
    for (int i = 0; i < kRows; ++i) {
        rows.InsertRow(i, proxy.Address(), StatusUnchecked, i);
    }
    QuietHost host;
    test::RecordingMessageService messages;
    ThreadTimeoutTimer timer;
    CheckEngine engine(settings, rows, host, timer, messages);
    engine.Initialize();
    engine.BuildTestRequest();

    std::vector<double> bare;
    std::vector<double> bareThreaded;
    std::vector<double> checked;
    for (int round = 0; round < kRounds; ++round) {
        auto start = Clock::now();
        for (int i = 0; i < kRows; ++i) {
            if (test::BareExchange(proxy.Port(), wire).find("200 OK") == std::string::npos) {
                std::fprintf(stderr, "bare exchange failed\n");
                return 1;
            }
        }
        bare.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kRows);

        // The same exchange on a thread made for it and joined, as the probe's worker is made per job.
        start = Clock::now();
        for (int i = 0; i < kRows; ++i) {
            std::thread([&] { test::BareExchange(proxy.Port(), wire); }).join();
        }
        bareThreaded.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kRows);

        for (int i = 0; i < kRows; ++i) {
            rows.SetRowSelected(i, true);
        }
        start = Clock::now();
        engine.CheckSelectedThread();
        checked.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kRows);
        if (rows.GetCellText(kRows - 1, 1).rfind("Anonymous", 0) != 0) {
            std::fprintf(stderr, "engine run failed: %s\n", rows.GetCellText(kRows - 1, 1).c_str());
            return 1;
        }
    }

    const double bareMedian = bench::Median(bare);
    const double threadedMedian = bench::Median(bareThreaded);
    const double engineMedian = bench::Median(checked);
    std::printf("per check, median of %d rounds of %d rows against a loopback proxy that answers at once\n", kRounds,
                kRows);
    std::printf("  bare exchange (connect, send, receive, close): %8.1f us\n", bareMedian);
    std::printf("  bare exchange on a thread of its own:          %8.1f us\n", threadedMedian);
    std::printf("  check engine (run thread, probe, judgement):   %8.1f us\n", engineMedian);
    std::printf("  ratio engine / bare: %.2f  (engine adds %.0f%%; aim: under 30%%)\n", engineMedian / bareMedian,
                (engineMedian / bareMedian - 1.0) * 100.0);
    std::printf("  ratio engine / bare on a thread: %.2f  (what the engine adds beyond its worker thread per job)\n",
                engineMedian / threadedMedian);
    return 0;
}
