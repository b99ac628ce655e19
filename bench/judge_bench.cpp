// What strict grading costs a run: one direct request to the judge per run, and the grading of each page. A
// 1000-proxy list checked 1000 at once through zandel-check on loopback, with and without --strict, alternating;
// the median wall time of each and their ratio (aim <= 1.05).
//   judge_bench [--quick]   (--quick takes one round of each instead of five)

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "bench/Median.h"
#include "bench/ToolRun.h"
#include "support/EchoJudge.h"
#include "support/FakeProxy.h"
#include "support/TempDir.h"

int main(int argc, char** argv) {
    using namespace zandel;
    const int rounds = argc > 1 && std::strcmp(argv[1], "--quick") == 0 ? 1 : 5;
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    test::EchoJudge judge;
    // Half the proxies add a forwarding header, half add nothing: both kinds of page are graded.
    test::FakeProxy telling(test::fake::ForwardToJudge({"X-Forwarded-For: 127.0.0.1"}));
    test::FakeProxy quiet(test::fake::ForwardToJudge({}));
    test::TempDir dir;
    std::string list;
    for (int i = 0; i < 1000; ++i) {
        list += (i % 2 == 0 ? telling.Address() : quiet.Address()) + "\r\n";
    }
    dir.Write("list.txt", list);

    const std::vector<std::string> args = {ZANDEL_CHECK_BIN, "--url", judge.Url(), "--jobs",    "1000", "-o",
                                           "/dev/null",      "--log", "/dev/null", "--timeout", "20"};
    std::vector<double> plain;
    std::vector<double> strict;
    for (int round = 0; round < rounds; ++round) {
        auto a = args;
        a.push_back("list.txt");
        const bench::ToolRun without = bench::RunTool(a, dir.Path());
        a.insert(a.end() - 1, "--strict");
        const bench::ToolRun with = bench::RunTool(a, dir.Path());
        if (without.exitCode != 0 || with.exitCode != 0) {
            std::fprintf(stderr, "zandel-check ended with %d / %d\n", without.exitCode, with.exitCode);
            return 1;
        }
        plain.push_back(without.seconds);
        strict.push_back(with.seconds);
    }
    const double ratio = bench::Median(strict) / bench::Median(plain);
    std::printf("1000 proxies at once, median of %d: without --strict %.3f s, with it %.3f s, ratio %.3f "
                "(aim <= 1.05: %s)\n",
                rounds, bench::Median(plain), bench::Median(strict), ratio, ratio <= 1.05 ? "met" : "missed");
    return 0;
}
