// The peak memory of zandel-check over a long list: proxies on loopback that refuse at once (ports held
// without listening, so that nothing answers), checked 1000 at once and written to a file. It gives the peak
// of a 1000-row run, of the long run, the memory each further row costs, and, given another build of
// zandel-check (say, of an older commit), the ratio of this build's peak to that one's on the same list.
//   memory_bench [--rows N] [--baseline PATH]   (N defaults to 1000000)

#include <array>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include "bench/ToolRun.h"
#include "core/util/UniqueFd.h"
#include "support/TempDir.h"

namespace {

using namespace zandel;

constexpr double kAimMb = 60;

// A port that no one can listen on while it is held: connections to it on any loopback address are refused.
UniqueFd HoldPort(std::uint16_t& port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t length = sizeof address;
    if (fd.Get() < 0 || ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return UniqueFd();
    }
    port = ntohs(address.sin_port);
    return fd;
}

double Mb(long kb) {
    return static_cast<double>(kb) / 1024.0;
}

} // namespace

int main(int argc, char** argv) {
    int rows = 1000000;
    std::string baseline;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rows") == 0) {
            rows = std::max(1000, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--baseline") == 0) {
            baseline = argv[i + 1];
        }
    }
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    std::array<std::uint16_t, 4> ports{};
    std::array<UniqueFd, 4> held;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        held[i] = HoldPort(ports[i]);
        if (!held[i].IsOpen()) {
            std::fprintf(stderr, "memory_bench: no port could be held\n");
            return 1;
        }
    }
    // Addresses of the lengths a public list has, all on loopback.
    test::TempDir dir;
    std::mt19937 random(18);
    std::uniform_int_distribution<int> octet(0, 255);
    std::string list;
    for (int i = 0; i < rows; ++i) {
        list += "127." + std::to_string(octet(random)) + "." + std::to_string(octet(random)) + "." +
                std::to_string(1 + octet(random) % 254) + ":" + std::to_string(ports[static_cast<std::size_t>(i) % 4]) +
                "\r\n";
        if (i + 1 == 1000) {
            dir.Write("short.txt", list);
        }
    }
    dir.Write("long.txt", list);
    list = std::string();

    struct Build {
        const char* name;
        std::string path;
        bench::ToolRun shortRun;
        bench::ToolRun longRun;
    };
    std::vector<Build> builds = {{"this build", ZANDEL_CHECK_BIN, {}, {}}};
    if (!baseline.empty()) {
        builds.push_back({"baseline", baseline, {}, {}});
    }
    const std::string rowText = std::to_string(rows);
    std::printf("zandel-check, --jobs 1000, over loopback proxies that refuse at once; peak resident memory\n");
    std::printf("%-12s %12s %14s %10s %10s %10s\n", "", "1000 rows", (rowText + " rows").c_str(), "per row", "wall",
                "cpu");
    for (Build& build : builds) {
        auto run = [&](const char* listName) {
            return bench::RunTool({build.path, "--url", "http://127.0.0.1:9/cgi-bin/envchk.cgi", "--timeout", "5",
                                   "--jobs", "1000", "--max-rows", rowText, "-o", "out.txt", "--log", "/dev/null",
                                   listName},
                                  dir.Path());
        };
        build.shortRun = run("short.txt");
        build.longRun = run("long.txt");
        const double perRow =
            static_cast<double>(build.longRun.peakKb - build.shortRun.peakKb) * 1024.0 / (rows - 1000);
        std::printf("%-12s %9.1f MB %11.1f MB %8.0f B %8.1f s %8.1f s", build.name, Mb(build.shortRun.peakKb),
                    Mb(build.longRun.peakKb), perRow, build.longRun.seconds, build.longRun.cpuSeconds);
        if (build.shortRun.exitCode != 0 || build.longRun.exitCode != 0) {
            std::printf("  exit %d/%d", build.shortRun.exitCode, build.longRun.exitCode);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    const double peak = Mb(builds[0].longRun.peakKb);
    std::printf("peak at %s rows: %.1f MB", rowText.c_str(), peak);
    if (rows == 1000000) {
        std::printf(" (aim <= %.0f MB: %s)", kAimMb, peak <= kAimMb ? "met" : "missed");
    }
    std::printf("\n");
    if (builds.size() > 1) {
        std::printf("this build / baseline: %.3f\n", peak / Mb(builds[1].longRun.peakKb));
    }
    return 0;
}
