// Type detection over a mixed public list on loopback: 1000 plain entries, 40 % HTTP, 30 % SOCKS4, 30 % SOCKS5, of
// which 70 % accept and never answer; zandel-check --detect at --jobs 1000, its wall time as a ratio to one time-out
// (aim: 1.3). Then the cost of a usable SOCKS5 proxy against a usable HTTP proxy, one at a time, as a ratio.
//   socks_bench

#include <cstdio>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/socket.h>

#include "bench/Median.h"
#include "bench/ToolRun.h"
#include "support/FakeProxy.h"
#include "support/Loopback.h"
#include "support/TempDir.h"

namespace {

using namespace std::string_literals;
using zandel::test::FakeProxy;
using zandel::test::FakeScript;
namespace fake = zandel::test::fake;

constexpr int kTimeOutSeconds = 5;
const std::string kAnswer = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nREMOTE_ADDR=127.0.0.9\r\n";

FakeScript OnlySocks5() {
    return {fake::ReadBytes(1),  fake::Expect("\x05"),
            fake::ReadBytes(3),  fake::Send("\x05\x00"s),
            fake::ReadBytes(13), fake::Send("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50"s),
            fake::Read(),        fake::AnswerGet(kAnswer)};
}

FakeScript OnlySocks4() {
    return {fake::ReadBytes(1), fake::Expect("\x04"),    fake::ReadBytes(9), fake::Send("\x00\x5a\0\0\0\0\0\0"s),
            fake::Read(),       fake::AnswerGet(kAnswer)};
}

} // namespace

int main() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    std::uint16_t holePort = 0;
    const zandel::UniqueFd hole = zandel::test::ListenLoopback(holePort, 4096, SOCK_NONBLOCK); // never accepts
    FakeProxy http(fake::AnswerAtOnce());
    FakeProxy socks4(OnlySocks4());
    FakeProxy socks5(OnlySocks5());
    zandel::test::TempDir dir;

    std::string mixed;
    for (int i = 0; i < 1000; ++i) {
        // In every ten: four HTTP, three SOCKS4, three SOCKS5; seven of them dead, spread over the three kinds.
        const int slot = i % 10;
        const bool dead = (i / 10) % 10 < 7;
        const FakeProxy& live = slot < 4 ? http : slot < 7 ? socks4 : socks5;
        mixed += "127.0.0.1:" + std::to_string(dead ? holePort : live.Port()) + "\r\n";
    }
    dir.Write("mixed.txt", mixed);
    std::string httpList;
    std::string socksList;
    for (int i = 0; i < 200; ++i) {
        httpList += http.Address() + "\r\n";
        socksList += "socks5://" + socks5.Address() + "\r\n";
    }
    dir.Write("http.txt", httpList);
    dir.Write("socks5.txt", socksList);

    const std::string url = "http://127.0.0.1:9/cgi-bin/envchk.cgi"; // never fetched: the proxies answer themselves
    const auto run = [&](const std::vector<std::string>& extra, const char* list) {
        std::vector<std::string> args = {ZANDEL_CHECK_BIN, "--url", url, "--timeout", std::to_string(kTimeOutSeconds)};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {"-o", "/dev/null", "--log", "/dev/null", list});
        return zandel::bench::RunTool(args, dir.Path());
    };

    const zandel::bench::ToolRun detect = run({"--detect", "--jobs", "1000", "--max-rows", "2000"}, "mixed.txt");
    const double timeOuts = detect.seconds / kTimeOutSeconds;
    std::printf("1000 mixed rows, --detect --jobs 1000: %.2f s, %.2f time-outs (aim <= 1.3: %s), exit %d\n",
                detect.seconds, timeOuts, timeOuts <= 1.3 ? "met" : "missed", detect.exitCode);

    std::vector<double> ratios;
    for (int round = 0; round < 5; ++round) {
        const double plain = run({"--jobs", "1"}, "http.txt").seconds;
        const double socks = run({"--jobs", "1"}, "socks5.txt").seconds;
        ratios.push_back(socks / plain);
    }
    std::printf("200 usable proxies one at a time: SOCKS5 / HTTP = %.2f (median of 5)\n",
                zandel::bench::Median(ratios));
    return 0;
}
