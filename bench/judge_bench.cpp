// What the judge's checks cost a run: the direct request of every run with the search for our address by value in
// every page (the default), and strict grading, each beside a run without either (--no-baseline). A 1000-proxy
// list checked 1000 at once through zandel-check on loopback, the three taking turns; the median wall and CPU time
// of each and their ratios to the run without (aim <= 1.02 for the default and for --strict).
//   judge_bench [--quick | --rounds N]   (--quick takes one round of each instead of five; a busy machine needs
//                                         ten or more for a median that holds still)

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    int rounds = 5;
    if (argc > 1 && std::strcmp(argv[1], "--quick") == 0) {
        rounds = 1;
    } else if (argc > 2 && std::strcmp(argv[1], "--rounds") == 0) {
        rounds = std::max(1, std::atoi(argv[2]));
    }
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
    struct Variant {
        const char* name;
        std::vector<std::string> options;
        std::vector<double> wall;
        std::vector<double> cpu;
    };
    Variant variants[] = {
        {"--no-baseline", {"--no-baseline"}, {}, {}}, {"default", {}, {}, {}}, {"--strict", {"--strict"}, {}, {}}};
    for (int round = 0; round < rounds; ++round) {
        for (Variant& variant : variants) {
            auto a = args;
            a.insert(a.end(), variant.options.begin(), variant.options.end());
            a.push_back("list.txt");
            const bench::ToolRun run = bench::RunTool(a, dir.Path());
            if (run.exitCode != 0) {
                std::fprintf(stderr, "zandel-check %s ended with %d\n", variant.name, run.exitCode);
                return 1;
            }
            variant.wall.push_back(run.seconds);
            variant.cpu.push_back(run.cpuSeconds);
        }
    }
    const Variant& without = variants[0];
    std::printf("1000 proxies at once, median of %d rounds:\n", rounds);
    for (const Variant& variant : variants) {
        const double wall = bench::Median(variant.wall) / bench::Median(without.wall);
        const double cpu = bench::Median(variant.cpu) / bench::Median(without.cpu);
        std::printf("  %-14s wall %.3f s (%.3fx), CPU %.3f s (%.3fx)\n", variant.name, bench::Median(variant.wall),
                    wall, bench::Median(variant.cpu), cpu);
    }
    return 0;
}
