// What the judge's checks cost a run: the direct request of every run with the search for our address by value in
// every page (the default), and strict grading, each beside a run without either (--no-baseline). A 1000-proxy
// list checked 1000 at once through zandel-check on loopback, the three taking turns; the median wall and CPU time
// of each and their ratios to the run without (aim <= 1.02 for the default and for --strict).
//   judge_bench [--quick | --rounds N]   (--quick takes one round of each instead of five; a busy machine needs
//                                         ten or more for a median that holds still)
//   judge_bench --instructions           (one run of each under callgrind: the instructions the program itself
//                                         executes. The run's CPU is ~70 ms, mostly the kernel's socket work, and
//                                         moves by more than the 2 % asked between rounds; the count holds still
//                                         to a few tenths of a percent, so it is the figure that settles the aim)

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "bench/Median.h"
#include "bench/ToolRun.h"
#include "support/EchoJudge.h"
#include "support/FakeProxy.h"
#include "support/TempDir.h"

namespace {

// The total of executed instructions callgrind wrote for the run ("summary:" or, in newer versions, "totals:").
long long CallgrindTotal(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    long long total = -1;
    while (std::getline(in, line)) {
        for (const char* key : {"summary: ", "totals: "}) {
            if (line.rfind(key, 0) == 0) {
                total = std::atoll(line.c_str() + std::strlen(key));
            }
        }
    }
    return total;
}

} // namespace

int main(int argc, char** argv) {
    using namespace zandel;
    int rounds = 5;
    bool instructions = false;
    if (argc > 1 && std::strcmp(argv[1], "--quick") == 0) {
        rounds = 1;
    } else if (argc > 1 && std::strcmp(argv[1], "--instructions") == 0) {
        rounds = 1;
        instructions = true;
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
        long long instructions = 0;
    };
    Variant variants[] = {
        {"--no-baseline", {"--no-baseline"}, {}, {}}, {"default", {}, {}, {}}, {"--strict", {"--strict"}, {}, {}}};
    for (int round = 0; round < rounds; ++round) {
        for (Variant& variant : variants) {
            std::vector<std::string> a;
            const std::string counts = dir.Path() + "/" + std::to_string(&variant - variants) + ".callgrind";
            if (instructions) {
                a = {"/usr/bin/valgrind", "-q", "--tool=callgrind", "--callgrind-out-file=" + counts};
            }
            a.insert(a.end(), args.begin(), args.end());
            a.insert(a.end(), variant.options.begin(), variant.options.end());
            a.push_back("list.txt");
            const bench::ToolRun run = bench::RunTool(a, dir.Path());
            if (run.exitCode != 0) {
                std::fprintf(stderr, "zandel-check %s ended with %d\n", variant.name, run.exitCode);
                return 1;
            }
            variant.wall.push_back(run.seconds);
            variant.cpu.push_back(run.cpuSeconds);
            if (instructions && (variant.instructions = CallgrindTotal(counts)) <= 0) {
                std::fprintf(stderr, "no instruction count from callgrind (is valgrind installed?)\n");
                return 1;
            }
        }
    }
    const Variant& without = variants[0];
    if (instructions) {
        std::printf("1000 proxies at once, instructions executed by zandel-check (callgrind):\n");
        for (const Variant& variant : variants) {
            std::printf("  %-14s %lld (%.4fx), %.0f per proxy more\n", variant.name, variant.instructions,
                        static_cast<double>(variant.instructions) / static_cast<double>(without.instructions),
                        static_cast<double>(variant.instructions - without.instructions) / 1000.0);
        }
        return 0;
    }
    std::printf("1000 proxies at once, median of %d rounds:\n", rounds);
    for (const Variant& variant : variants) {
        const double wall = bench::Median(variant.wall) / bench::Median(without.wall);
        const double cpu = bench::Median(variant.cpu) / bench::Median(without.cpu);
        std::printf("  %-14s wall %.3f s (%.3fx), CPU %.3f s (%.3fx)\n", variant.name, bench::Median(variant.wall),
                    wall, bench::Median(variant.cpu), cpu);
    }
    return 0;
}
