// The serve (zandel-check --serve's ProxyServer, in a process of its own) over a pool of 100 loopback upstreams,
// 20 healthy and 80 gone bad since their check (black holes, resetters, slow, tampering, intercepting): GETs and
// CONNECT tunnels with TLS to the origin, 50 at once. Its success rate, whether every tunnel shows the origin's own
// certificate, whether a spoiling upstream gets any connection after its first failure, and the lookups the serve
// made; then Debian's squid over the same pool, as ratios. Then the serve's overhead against one healthy upstream
// reached straight (per request, and a large download through a tunnel, straight and through in turn for some rounds:
// on a shared machine only a ratio taken side by side means much; beside them the same download through a bare splice
// hop, the least any relay between client and upstream costs on loopback, where every hop's TCP work is CPU; then the
// same download with the origin paced as over a 10 Gbit/s link), and the serving process's memory with thousands of
// idle tunnels. Not a timed test: figures to read.
//   serve_bench [GETS TUNNELS [DOWNLOAD_MIB [IDLE_TUNNELS [ROUNDS]]]]   (2000 2000 1024 10000 5; 0 leaves a part out)

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include "bench/Median.h"
#include "bench/ServeBenchClients.h"
#include "bench/ServeBenchPeers.h"
#include "core/check/ProbeAddress.h"
#include "core/serve/ProxyServer.h"
#include "core/serve/ServePool.h"
#include "support/Loopback.h"
#include "support/TempDir.h"
#include "support/TestTls.h"

extern char** environ;

namespace {

// The serve must never look a name up: every call of the resolver in its process is counted, and answered with
// nothing, so that not even a mistake can ask the machine's name server.
std::atomic<int> g_lookups{0};

} // namespace

extern "C" int getaddrinfo(const char* /*name*/, const char* /*service*/, const addrinfo* /*hints*/,
                           addrinfo** /*found*/) {
    ++g_lookups;
    return EAI_NONAME;
}

namespace {

using namespace zandel;
using bench::Behaviour;
using bench::BenchClock;

using namespace zandel::bench;

constexpr std::uint16_t kSquidPort = 19340;

void RaiseFileLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

long FileLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    return static_cast<long>(limit.rlim_max);
}

// The CPU time this process has had, user and system, ms.
long long CpuMsOfSelf() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& time) { return time.tv_sec * 1000LL + time.tv_usec / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// VmRSS and VmHWM of this process, kB.
std::string MemoryOfSelf() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    std::string rss = "?";
    std::string hwm = "?";
    char line[256];
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        long kb = 0;
        if (std::sscanf(line, "VmRSS: %ld", &kb) == 1) {
            rss = std::to_string(kb);
        } else if (std::sscanf(line, "VmHWM: %ld", &kb) == 1) {
            hwm = std::to_string(kb);
        }
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    return rss + " " + hwm;
}

// ---- the serve's process: "serve MAXCLIENTS STICKY PORTS UPSTREAM..." ----

int ServeChild(char** args, int count) {
    RaiseFileLimit();
    ServeConfig config;
    config.port = 0;
    config.maxClients = std::atoi(args[0]);
    config.stickyMinutes = std::atoi(args[1]);
    config.ports = *ParseServePorts(args[2]);
    config.timeOutSeconds = 10;
    std::vector<Upstream> upstreams;
    for (int i = 3; i < count; ++i) {
        Upstream upstream;
        upstream.key = upstream.shown = std::string("127.0.0.1:") + args[i];
        LiteralProbeHost("127.0.0.1", static_cast<std::uint16_t>(std::atoi(args[i])), upstream.addresses);
        upstream.responseMs = 50; // what their check measured, the bad ones' before they went bad
        upstreams.push_back(std::move(upstream));
    }
    ServePool pool(config, 1);
    pool.Replace(std::move(upstreams), count - 3);
    ProxyServer server(config, pool);
    std::string error;
    if (!server.Listen(error) || !server.Start()) {
        std::fprintf(stderr, "serve: %s\n", error.c_str());
        return 1;
    }
    std::printf("%u\n", server.Port());
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        const ServeStatus status = server.Status();
        std::printf("%s %d %d %lld %lld %lld\n", MemoryOfSelf().c_str(), g_lookups.load(), status.open, status.accepted,
                    status.failures, CpuMsOfSelf());
        std::fflush(stdout);
    }
    server.Stop();
    return 0;
}

// ---- the idle tunnels' upstream: "hold" ----

int HoldChild() {
    RaiseFileLimit();
    const bench::IdleHolder holder;
    std::printf("%u\n", holder.Port());
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
    }
    return 0;
}

// This program again, as one of the children above, its standard input and output pipes of ours.
class Child final {
public:
    explicit Child(const std::vector<std::string>& args) {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        ::posix_spawn(&m_pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        m_out = ::fdopen(out[0], "r");
    }
    ~Child() {
        ::close(m_in);
        if (m_out != nullptr) {
            std::fclose(m_out);
        }
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    std::string Line() {
        char line[256] = {};
        if (m_out == nullptr || std::fgets(line, sizeof line, m_out) == nullptr) {
            return {};
        }
        std::string text = line;
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        return text;
    }
    // "RSS HWM LOOKUPS OPEN ACCEPTED FAILURES CPU_MS".
    std::string Stats() {
        [[maybe_unused]] const ssize_t written = ::write(m_in, "stats\n", 6);
        return Line();
    }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    std::FILE* m_out = nullptr;
};

long long CpuMsOf(Child& serve) {
    long long cpuMs = 0;
    std::sscanf(serve.Stats().c_str(), "%*d %*d %*d %*d %*d %*d %lld", &cpuMs);
    return cpuMs;
}

std::unique_ptr<Child> StartServe(int maxClients, int sticky, const std::string& ports,
                                  const std::vector<std::uint16_t>& upstreams, std::uint16_t& port) {
    std::vector<std::string> args{"/proc/self/exe", "serve", std::to_string(maxClients), std::to_string(sticky), ports};
    for (const std::uint16_t upstream : upstreams) {
        args.push_back(std::to_string(upstream));
    }
    auto child = std::make_unique<Child>(args);
    port = static_cast<std::uint16_t>(std::atoi(child->Line().c_str()));
    return child;
}

std::string SquidConfig(const std::string& dir, const std::vector<std::uint16_t>& upstreams) {
    std::string config = "http_port 127.0.0.1:" + std::to_string(kSquidPort) + "\npid_filename none\ncache_log " + dir +
                         "/squid-cache.log\naccess_log none\ncache deny all\ncache_mem 8 MB\n"
                         "dns_nameservers 127.0.0.1\nvisible_hostname zandel-bench\npinger_enable off\n"
                         "shutdown_lifetime 0 seconds\nmax_filedescriptors 8192\nnever_direct allow all\n"
                         "peer_connect_timeout 1 second\nconnect_timeout 1 second\nread_timeout 10 seconds\n"
                         "forward_max_tries 3\nacl here src 127.0.0.1\nhttp_access allow here\nhttp_access deny all\n"
                         "coredump_dir " +
                         dir + "\n";
    for (std::size_t i = 0; i < upstreams.size(); ++i) {
        config += "cache_peer 127.0.0.1 parent " + std::to_string(upstreams[i]) +
                  " 0 no-query no-digest round-robin connect-fail-limit=1 name=peer" + std::to_string(i) + "\n";
    }
    return config;
}

pid_t StartSquid(const test::TempDir& dir, const std::vector<std::uint16_t>& upstreams) {
    dir.Write("squid.conf", SquidConfig(dir.Path(), upstreams));
    const std::string conf = dir.File("squid.conf");
    const std::string out = dir.File("squid.out");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const char* argv[] = {"/usr/sbin/squid", "-N", "-f", conf.c_str(), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    for (int turn = 0; pid > 0 && turn < 150; ++turn) {
        if (test::ConnectLoopback(kSquidPort).IsOpen()) {
            return pid;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return -1;
}

// 100 upstreams: 20 healthy, 16 of each way of going bad, in an order of their own.
std::vector<std::unique_ptr<bench::BenchUpstream>> MakePool(const std::string& interceptPem) {
    std::vector<Behaviour> kinds(20, Behaviour::Healthy);
    for (const Behaviour bad :
         {Behaviour::BlackHole, Behaviour::Resetter, Behaviour::Slow, Behaviour::Tampering, Behaviour::Intercepting}) {
        kinds.insert(kinds.end(), 16, bad);
    }
    std::mt19937 random(42);
    std::shuffle(kinds.begin(), kinds.end(), random);
    std::vector<std::unique_ptr<bench::BenchUpstream>> pool;
    for (const Behaviour kind : kinds) {
        pool.push_back(std::make_unique<bench::BenchUpstream>(kind, interceptPem));
    }
    return pool;
}

// Connections a tampering or intercepting upstream took after its first spoilt one ended, in all.
int AfterFirstSpoilt(const std::vector<std::unique_ptr<bench::BenchUpstream>>& pool) {
    int after = 0;
    for (const auto& upstream : pool) {
        if (upstream->Kind() == Behaviour::Tampering || upstream->Kind() == Behaviour::Intercepting) {
            after += upstream->AcceptedAfterFirstSpoilt();
        }
    }
    return after;
}

int AcceptedBy(const std::vector<std::unique_ptr<bench::BenchUpstream>>& pool, Behaviour kind) {
    int accepted = 0;
    for (const auto& upstream : pool) {
        accepted += upstream->Kind() == kind ? upstream->Accepted() : 0;
    }
    return accepted;
}

// One pool, each workload against the serve (sticky as by default, then off) and against squid.
void PoolRuns(const bench::Origin& origin, const TlsClient& tls, const std::string& interceptPem, int gets, int tunnels,
              const test::TempDir& dir) {
    std::printf("pool: 100 upstreams (20 healthy; 16 each black hole, resetter, slow, tampering, intercepting), "
                "%d GETs and %d tunnels with TLS, %d at once\n",
                gets, tunnels, kAtOnce);
    const std::string ports = std::to_string(origin.HttpPort()) + "," + std::to_string(origin.TlsPort());
    Summary ours{};
    for (const int sticky : {kServeDefaultStickyMinutes, 0}) {
        const auto pool = MakePool(interceptPem);
        std::vector<std::uint16_t> upstreamPorts;
        for (const auto& upstream : pool) {
            upstreamPorts.push_back(upstream->Port());
        }
        std::uint16_t port = 0;
        const auto serve = StartServe(kServeMaxClients, sticky, ports, upstreamPorts, port);
        double seconds = 0;
        const Summary summary = Summarise(Workload(port, origin, tls, gets, tunnels, seconds));
        const std::string label = "serve, --serve-sticky " + std::to_string(sticky);
        Print(label.c_str(), summary, seconds);
        int lookups = 0;
        std::sscanf(serve->Stats().c_str(), "%*d %*d %d", &lookups);
        std::printf("    connections a spoiling upstream took after its first spoilt one: %d; tampering %d and "
                    "intercepting %d in all; the serve's name lookups: %d\n",
                    AfterFirstSpoilt(pool), AcceptedBy(pool, Behaviour::Tampering),
                    AcceptedBy(pool, Behaviour::Intercepting), lookups);
        if (sticky == 0) {
            ours = summary;
        }
    }
    const auto pool = MakePool(interceptPem);
    std::vector<std::uint16_t> upstreamPorts;
    for (const auto& upstream : pool) {
        upstreamPorts.push_back(upstream->Port());
    }
    const pid_t squid = StartSquid(dir, upstreamPorts);
    if (squid <= 0) {
        std::printf("  squid could not be started: %s\n", dir.Read("squid.out").c_str());
        return;
    }
    double seconds = 0;
    const Summary theirs = Summarise(Workload(kSquidPort, origin, tls, gets, tunnels, seconds));
    ::kill(squid, SIGTERM);
    int status = 0;
    ::waitpid(squid, &status, 0);
    Print("squid, 100 round-robin peers", theirs, seconds);
    std::printf("    connections a spoiling upstream took after its first spoilt one: %d\n", AfterFirstSpoilt(pool));
    std::printf("  ours/squid (sticky off): success %.3f, ttfb p50 %.2f, p99 %.2f\n",
                theirs.success > 0 ? ours.success / theirs.success : 0.0, theirs.p50 > 0 ? ours.p50 / theirs.p50 : 0.0,
                theirs.p99 > 0 ? ours.p99 / theirs.p99 : 0.0);
}

// Downloads of the origin's big answer through each of `ports` in turn, for some rounds, each first in turn so that
// none always meets the machine as another left it: each round's seconds by leg, and each leg's rates in MiB/s.
// `around(leg, true)` and `around(leg, false)` come just before and after each download.
struct LegTimes {
    std::vector<std::vector<double>> seconds; // [round][leg]
    std::vector<std::vector<double>> rates;   // [leg][round]
    bool complete = true;                     // every download had every byte
};
LegTimes TimeDownloads(const bench::Origin& origin, const std::vector<std::uint16_t>& ports, long long downloadBytes,
                       int rounds, const std::function<void(std::size_t, bool)>& around = {}) {
    LegTimes times;
    times.rates.resize(ports.size());
    for (int round = 0; round < rounds; ++round) {
        std::vector<double>& seconds = times.seconds.emplace_back(ports.size());
        for (std::size_t turn = 0; turn < ports.size(); ++turn) {
            const std::size_t leg = (turn + static_cast<std::size_t>(round)) % ports.size();
            long long bytes = 0;
            if (around) {
                around(leg, true);
            }
            seconds[leg] = Download(ports[leg], origin.BigPort(), bytes);
            if (around) {
                around(leg, false);
            }
            times.complete = times.complete && bytes == downloadBytes;
            times.rates[leg].push_back(static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds[leg]);
        }
    }
    return times;
}

// The same download when the bytes come over a link, as they do from any public proxy: the origin paced at a fast
// link's rate. What the serve's hop costs the user then, where loopback's own cost no longer sets the pace.
void LinkRuns(bench::Origin& origin, std::uint16_t upstreamPort, std::uint16_t servePort, long long downloadBytes,
              int rounds) {
    constexpr std::uint64_t kLinkBitsPerSecond = 10'000'000'000;
    origin.SetBigPace(kLinkBitsPerSecond / 8);
    const LegTimes times = TimeDownloads(origin, {upstreamPort, servePort}, downloadBytes, rounds);
    origin.SetBigPace(0);
    std::vector<double> ratios;
    for (const std::vector<double>& seconds : times.seconds) {
        ratios.push_back(seconds[1] / seconds[0]);
    }
    if (rounds > 0) {
        std::printf("the same download over a link of %.1f Gbit/s (the origin paced), %d rounds: straight %.0f MiB/s, "
                    "through the serve %.0f MiB/s (medians); time ratio serve/straight median %.2f (%.2f to %.2f)%s\n",
                    static_cast<double>(kLinkBitsPerSecond) / 1e9, rounds, Median(times.rates[0]),
                    Median(times.rates[1]), Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                    *std::max_element(ratios.begin(), ratios.end()), times.complete ? "" : " (INCOMPLETE)");
    }
}

// Through the serve with one healthy upstream against that upstream reached straight.
void OverheadRuns(bench::Origin& origin, long long downloadBytes, int rounds, const std::string& interceptPem) {
    const bench::BenchUpstream upstream(Behaviour::Healthy, interceptPem);
    std::uint16_t port = 0;
    const std::string ports = std::to_string(origin.HttpPort()) + "," + std::to_string(origin.BigPort());
    const auto serve = StartServe(kServeMaxClients, kServeDefaultStickyMinutes, ports, {upstream.Port()}, port);
    constexpr int kRounds = 1000;
    std::vector<double> straight;
    std::vector<double> through;
    for (int i = 0; i < kRounds; ++i) {
        straight.push_back(Get(upstream.Port(), origin.HttpPort()).totalMs);
        through.push_back(Get(port, origin.HttpPort()).totalMs);
    }
    std::printf("overhead, %d GETs one at a time each way: straight p50 %.3f p99 %.3f ms, through the serve p50 "
                "%.3f p99 %.3f ms: added p50 %.3f ms, p99 %.3f ms\n",
                kRounds, Percentile(straight, 0.5), Percentile(straight, 0.99), Percentile(through, 0.5),
                Percentile(through, 0.99), Percentile(through, 0.5) - Percentile(straight, 0.5),
                Percentile(through, 0.99) - Percentile(straight, 0.99));
    origin.SetBigBytes(downloadBytes);
    // The same hop with nothing in it but the kernel's splice: what any relay between client and upstream costs here.
    const bench::BareHop bare(upstream.Port());
    enum Leg : std::size_t { kStraight, kServe, kBare }; // in the order of the ports below
    long long serveCpuMs = 0;
    long long cpuBefore = 0;
    const LegTimes times = TimeDownloads(origin, {upstream.Port(), port, bare.Port()}, downloadBytes, rounds,
                                         [&](std::size_t leg, bool before) {
                                             if (leg != kServe) {
                                                 return;
                                             }
                                             if (before) {
                                                 cpuBefore = CpuMsOf(*serve);
                                             } else {
                                                 serveCpuMs += CpuMsOf(*serve) - cpuBefore;
                                             }
                                         });
    std::vector<double> ratios;
    std::vector<double> bareRatios;
    for (std::size_t round = 0; round < times.seconds.size(); ++round) {
        const std::vector<double>& seconds = times.seconds[round];
        ratios.push_back(seconds[kServe] / seconds[kStraight]);
        bareRatios.push_back(seconds[kServe] / seconds[kBare]);
        std::printf(
            "  download round %zu: straight %.2f s, through the serve %.2f s, through a bare splice hop %.2f s: "
            "ratio %.2f\n",
            round + 1, seconds[kStraight], seconds[kServe], seconds[kBare], ratios.back());
    }
    if (rounds == 0) {
        return;
    }
    const double mib = 1024.0 * 1024.0;
    std::printf("download of %.0f MiB through a tunnel, %d rounds: straight %.0f MiB/s, through the serve %.0f MiB/s, "
                "through a bare splice hop %.0f MiB/s (medians); time ratio serve/straight median %.2f (%.2f to "
                "%.2f), serve/bare hop median %.2f (%.2f to %.2f); the serve's CPU %.0f ms a GiB%s\n",
                static_cast<double>(downloadBytes) / mib, rounds, Median(times.rates[kStraight]),
                Median(times.rates[kServe]), Median(times.rates[kBare]), Median(ratios),
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                Median(bareRatios), *std::min_element(bareRatios.begin(), bareRatios.end()),
                *std::max_element(bareRatios.begin(), bareRatios.end()),
                static_cast<double>(serveCpuMs) / rounds / (static_cast<double>(downloadBytes) / (mib * 1024)),
                times.complete ? "" : " (INCOMPLETE)");
    LinkRuns(origin, upstream.Port(), port, downloadBytes, rounds);
}

// Idle tunnels held open through the serve; its memory before and with them.
void IdleRuns(int wanted) {
    // Two descriptors a tunnel in the serve's process, and a few of its own.
    const long limit = FileLimit();
    const int tunnels = static_cast<int>(std::min<long>(wanted, (limit - 16) / 2));
    Child holder({"/proc/self/exe", "hold"});
    const auto holderPort = static_cast<std::uint16_t>(std::atoi(holder.Line().c_str()));
    std::uint16_t port = 0;
    const auto serve = StartServe(tunnels + 100, kServeDefaultStickyMinutes, "443", {holderPort}, port);
    const std::string before = serve->Stats();
    std::vector<UniqueFd> clients;
    int open = 0;
    constexpr int kBatch = 250;
    for (int at = 0; at < tunnels; at += kBatch) {
        const int end = std::min(tunnels, at + kBatch);
        for (int i = at; i < end; ++i) {
            clients.push_back(Client(port));
            bench::SendAll(clients.back().Get(), "CONNECT origin.test:443 HTTP/1.1\r\nHost: origin.test:443\r\n\r\n");
        }
        for (int i = at; i < end; ++i) {
            std::string head;
            std::string rest;
            const bool through = bench::ReadHead(clients[static_cast<std::size_t>(i)].Get(), head, rest,
                                                 BenchClock::now() + kClientPatience);
            open += through && head.substr(9, 3) == "200" ? 1 : 0;
        }
    }
    const std::string with = serve->Stats();
    long rssBefore = 0;
    long rssWith = 0;
    long hwmWith = 0;
    std::sscanf(before.c_str(), "%ld", &rssBefore);
    std::sscanf(with.c_str(), "%ld %ld", &rssWith, &hwmWith);
    std::printf("idle tunnels: %d asked, %d open (descriptors a process may have here: %ld); the serving process's "
                "RSS %.1f MB before, %.1f MB with them (peak %.1f MB): %.2f kB a tunnel\n",
                wanted, open, limit, static_cast<double>(rssBefore) / 1024, static_cast<double>(rssWith) / 1024,
                static_cast<double>(hwmWith) / 1024, open > 0 ? static_cast<double>(rssWith - rssBefore) / open : 0.0);
}

int Bench(int argc, char** argv) {
    RaiseFileLimit();
    ::signal(SIGPIPE, SIG_IGN);
    const int gets = argc > 2 ? std::atoi(argv[1]) : 2000;
    const int tunnels = argc > 2 ? std::atoi(argv[2]) : 2000;
    const long long downloadMib = argc > 3 ? std::atoll(argv[3]) : 1024;
    const int idle = argc > 4 ? std::atoi(argv[4]) : 10000;
    const int rounds = argc > 5 ? std::atoi(argv[5]) : 5;
    const test::TestCa ca;
    const std::string originPem = ca.Issue(bench::kOriginName, std::string("DNS:") + bench::kOriginName);
    const std::string interceptPem =
        test::TestCa::SelfSigned(bench::kOriginName, std::string("DNS:") + bench::kOriginName);
    const TlsClient tls = MakeTlsClient(ca.CertificatePem(), originPem);
    bench::Origin origin(originPem);
    const test::TempDir dir;
    if (gets + tunnels > 0) {
        PoolRuns(origin, tls, interceptPem, gets, tunnels, dir);
    }
    OverheadRuns(origin, downloadMib * 1024 * 1024, downloadMib > 0 ? rounds : 0, interceptPem);
    if (idle > 0) {
        IdleRuns(idle);
    }
    std::printf("name lookups in the bench's own process: %d\n", g_lookups.load());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "serve") {
        return ServeChild(argv + 2, argc - 2);
    }
    if (argc > 1 && std::string(argv[1]) == "hold") {
        return HoldChild();
    }
    return Bench(argc, argv);
}
