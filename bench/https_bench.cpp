// What the HTTPS step costs, on loopback through zandel-check:
//  1. per usable proxy: a list of proxies that answer the GET and carry CONNECT to a TLS server, checked one at
//     a time with and without --https, alternating; the wall time per proxy of each and their ratio;
//  2. a 1000-proxy run with the step, 1000 at once: 700 proxies that accept and never answer, 300 usable ones;
//     its wall time as a ratio to one time-out (aim <= 1.5), beside the same run without the step.
//   https_bench [--quick]   (--quick takes one round of each instead of five)

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bench/Median.h"
#include "support/EchoJudge.h"
#include "support/FakeProxy.h"
#include "support/Loopback.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"
#include "support/TestTls.h"

namespace {

using namespace zandel;
using Clock = std::chrono::steady_clock;

constexpr int kTimeOutSeconds = 5;
constexpr int kUsableRows = 100;

double RunSeconds(const test::TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), ZANDEL_CHECK_BIN);
    const auto start = Clock::now();
    test::Subprocess run(args, dir.Path(), dir.File("out"), dir.File("err"));
    const std::optional<int> code = run.Wait(std::chrono::minutes(5));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (code != 0) {
        std::fprintf(stderr, "zandel-check ended with %d: %s\n", code.value_or(-1), dir.Read("err").c_str());
    }
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 && std::strcmp(argv[1], "--quick") == 0 ? 1 : 5;
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    test::TestCa ca;
    test::TlsServer server(ca.Issue("127.0.0.1", "IP:127.0.0.1"));
    test::EchoJudge judge;
    test::FakeProxy usable(test::fake::ForwardToJudge({}));
    // A port that takes connections into its backlog and never accepts them: a proxy that never answers, at
    // no cost to this process.
    std::uint16_t holePort = 0;
    const UniqueFd hole = test::ListenLoopback(holePort, 4096);
    test::TempDir dir;
    const std::string caFile = dir.Write("ca.pem", ca.CertificatePem());
    const std::string url = "http://127.0.0.1:" + std::to_string(judge.Port()) + "/index.html";
    const std::vector<std::string> step = {"--https", "--https-target", "127.0.0.1:" + std::to_string(server.Port()),
                                           "--ca-file", caFile};

    std::string list;
    for (int i = 0; i < kUsableRows; ++i) {
        list += usable.Address() + "\r\n";
    }
    dir.Write("usable.txt", list);
    list.clear();
    for (int i = 0; i < 1000; ++i) {
        list += (i % 10 < 7 ? test::LoopbackAddress(holePort) : usable.Address()) + "\r\n";
    }
    dir.Write("public1000.txt", list);

    std::vector<double> get;
    std::vector<double> withStep;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::string> args = {"--url", url, "--jobs", "1", "-o", "/dev/null", "--log", "/dev/null"};
        get.push_back(RunSeconds(dir, [&] {
            auto a = args;
            a.push_back("usable.txt");
            return a;
        }()));
        args.insert(args.end(), step.begin(), step.end());
        args.push_back("usable.txt");
        withStep.push_back(RunSeconds(dir, args));
    }
    const double getMs = bench::Median(get) * 1000 / kUsableRows;
    const double stepMs = bench::Median(withStep) * 1000 / kUsableRows;
    std::printf("per usable proxy, one at a time (%d proxies, median of %d): GET alone %.2f ms, GET + HTTPS step "
                "%.2f ms, ratio %.2f\n",
                kUsableRows, rounds, getMs, stepMs, stepMs / getMs);

    const std::vector<std::string> wide = {"--url",  url,        "--timeout", std::to_string(kTimeOutSeconds),
                                           "--jobs", "1000",     "-o",        "/dev/null",
                                           "--log",  "/dev/null"};
    std::vector<double> plain;
    std::vector<double> stepped;
    for (int round = 0; round < rounds; ++round) {
        auto a = wide;
        a.push_back("public1000.txt");
        plain.push_back(RunSeconds(dir, a));
        a.insert(a.end() - 1, step.begin(), step.end());
        stepped.push_back(RunSeconds(dir, a));
    }
    const double plainRatio = bench::Median(plain) / kTimeOutSeconds;
    const double steppedRatio = bench::Median(stepped) / kTimeOutSeconds;
    std::printf("1000 proxies at once (700 silent, 300 usable), time-out %d s, median of %d: without the step %.2f "
                "time-outs, with it %.2f time-outs (aim <= 1.5: %s)\n",
                kTimeOutSeconds, rounds, plainRatio, steppedRatio, steppedRatio <= 1.5 ? "met" : "missed");
    return 0;
}
