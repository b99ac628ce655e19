// What the sites cost a run: zandel-check over 1000 live proxies on loopback, 1000 at once, with ten --site pages
// fetched through each, beside the judge's check alone on the same list and beside the judge's check of the list
// eleven times over (as many exchanges as the judge and ten sites make: the sites' own time), taking turns. The
// proxies answer every page at once, so what is left is the site step's own cost. The median wall and CPU time of
// each; aim: the run with sites at most 1.2 times the judge's run plus the sites' own time.
//   site_bench [--quick | --rounds N]   (--quick takes one round of each instead of five)

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "bench/Median.h"
#include "bench/ToolRun.h"
#include "support/QuickProxy.h"
#include "support/TempDir.h"

namespace {

using namespace zandel;

constexpr int kRows = 1000;
constexpr int kSites = 10;
constexpr int kProxies = 32; // each one connection at a time, its backlog 128: 1000 at once stay well inside

struct Variant {
    const char* name;
    std::vector<std::string> args;
    std::vector<double> wall;
    std::vector<double> cpu;
};

int Count(const std::string& text, const std::string& what) {
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// Rows above the window's limit, which would be told otherwise.
std::vector<std::string> RunArgs(const char* list) {
    return {ZANDEL_CHECK_BIN,
            "--url",
            "http://127.0.0.1:9/",
            "--jobs",
            "1000",
            "--max-rows",
            "100000",
            "--timeout",
            "30",
            "--format",
            "json",
            "-o",
            "out.json",
            "--log",
            "run.log",
            list};
}

} // namespace

int main(int argc, char** argv) {
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

    std::vector<std::unique_ptr<test::QuickProxy>> proxies;
    for (int i = 0; i < kProxies; ++i) {
        proxies.push_back(std::make_unique<test::QuickProxy>());
    }
    test::TempDir dir;
    std::string list;
    for (int row = 0; row < kRows * (kSites + 1); ++row) {
        list += proxies[static_cast<std::size_t>(row % kProxies)]->Address() + "\r\n";
        if (row + 1 == kRows) {
            dir.Write("list.txt", list);
        }
    }
    dir.Write("list11.txt", list);

    std::vector<Variant> variants = {{"judge only", RunArgs("list.txt"), {}, {}},
                                     {"judge and 10 sites", RunArgs("list.txt"), {}, {}},
                                     {"judge only, 11x rows", RunArgs("list11.txt"), {}, {}}};
    for (int site = 0; site < kSites; ++site) {
        // Never dialled: each proxy answers every page itself.
        variants[1].args.insert(variants[1].args.begin() + 1,
                                {"--site", "http://127.0.0.1:9/page" + std::to_string(site) + "=quick"});
    }
    for (int round = 0; round < rounds; ++round) {
        for (Variant& variant : variants) {
            const bench::ToolRun run = bench::RunTool(variant.args, dir.Path());
            if (run.exitCode != 0) {
                std::fprintf(stderr, "zandel-check ended with %d (%s)\n", run.exitCode, variant.name);
                return 1;
            }
            if (&variant == &variants[1] && Count(dir.Read("out.json"), "\":\"reached\"") != kRows * kSites) {
                std::fprintf(stderr, "not every site was reached through every proxy: the figures would mislead\n");
                return 1;
            }
            variant.wall.push_back(run.seconds);
            variant.cpu.push_back(run.cpuSeconds);
        }
    }
    std::printf("%d proxies, --jobs 1000, %d round(s)\n", kRows, rounds);
    for (const Variant& variant : variants) {
        std::printf("  %-22s %.3f s (CPU %.3f s)\n", variant.name, bench::Median(variant.wall),
                    bench::Median(variant.cpu));
    }
    const double judge = bench::Median(variants[0].wall);
    const double sites = bench::Median(variants[1].wall);
    const double own = std::max(0.0, bench::Median(variants[2].wall) - judge);
    std::printf("  sites' own time        %.3f s (the 11x run less the judge's)\n", own);
    std::printf("  with sites / (1.2 x judge + own)  %.3f (aim <= 1)\n", sites / (1.2 * judge + own));
    return 0;
}
