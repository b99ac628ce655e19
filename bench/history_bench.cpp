// What recording the history costs: zandel-check over a list of 10 000 rows, 1000 at once, against proxies on
// loopback that answer at once (the worst case for the history: nothing else takes time), with and without
// --history, alternating. The median wall time of each and their ratio (aim: at most 1.05).
//   history_bench [--quick] [--geo]   (--quick takes one round of each instead of five; --geo gives both runs the
//   test databases, so that the history keeps each check's place)

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "bench/Median.h"
#include "bench/ToolRun.h"
#include "support/QuickProxy.h"
#include "support/TempDir.h"
#include "support/TestMmdb.h"

namespace {

using namespace zandel;

constexpr int kRows = 10000;
constexpr int kProxies = 8;

} // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    bool geo = false;
    for (int i = 1; i < argc; ++i) {
        rounds = std::strcmp(argv[i], "--quick") == 0 ? 1 : rounds;
        geo = geo || std::strcmp(argv[i], "--geo") == 0;
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
    for (int row = 0; row < kRows; ++row) {
        list += proxies[static_cast<std::size_t>(row % kProxies)]->Address() + "\r\n";
    }
    dir.Write("list.txt", list);
    std::vector<std::string> base = {ZANDEL_CHECK_BIN,
                                     "--url",
                                     "http://127.0.0.1:9/",
                                     "--jobs",
                                     "1000",
                                     "--max-rows",
                                     std::to_string(kRows),
                                     "--timeout",
                                     "30",
                                     "-o",
                                     "out.txt",
                                     "--log",
                                     "run.log",
                                     "list.txt"};
    if (geo) {
        std::string error;
        const std::string country = test::MakeTestMmdb(dir.Path(), "c.mmdb", "GeoLite2-Country", "country", error);
        const std::string asn = test::MakeTestMmdb(dir.Path(), "a.mmdb", "GeoLite2-ASN", "asn", error);
        if (country.empty() || asn.empty()) {
            std::fprintf(stderr, "history_bench: %s\n", error.c_str());
            return 1;
        }
        base.insert(base.begin() + 1, {"--geo-country", country, "--geo-asn", asn});
    }
    std::vector<double> without;
    std::vector<double> with;
    std::vector<double> withoutCpu;
    std::vector<double> withCpu;
    for (int round = 0; round < rounds; ++round) {
        const bench::ToolRun plain = bench::RunTool(base, dir.Path());
        std::vector<std::string> recording = base;
        recording.insert(recording.begin() + 1, {"--history", "history.sqlite"});
        ::unlink(dir.File("history.sqlite").c_str());
        const bench::ToolRun recorded = bench::RunTool(recording, dir.Path());
        if (plain.exitCode != 0 || recorded.exitCode != 0) {
            std::fprintf(stderr, "zandel-check ended with %d and %d\n", plain.exitCode, recorded.exitCode);
            return 1;
        }
        without.push_back(plain.seconds);
        with.push_back(recorded.seconds);
        withoutCpu.push_back(plain.cpuSeconds);
        withCpu.push_back(recorded.cpuSeconds);
    }
    const double plainSeconds = bench::Median(without);
    const double recordedSeconds = bench::Median(with);
    std::printf("%d rows, --jobs 1000, %d round(s)%s\n", kRows, rounds, geo ? ", with the test databases" : "");
    std::printf("  without --history  %.3f s (CPU %.3f s)\n", plainSeconds, bench::Median(withoutCpu));
    std::printf("  with --history     %.3f s (CPU %.3f s)\n", recordedSeconds, bench::Median(withCpu));
    std::printf("  ratio              %.3f (aim <= 1.05)\n", recordedSeconds / plainSeconds);
    return 0;
}
