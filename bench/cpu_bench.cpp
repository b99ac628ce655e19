// The CPU a check costs, and a long public list at ten thousand at once. A simulated public list (70 % of the
// proxies accept and never answer, 20 % answer after 0.5 to 3 seconds, 10 % at once) is served on loopback, every
// row with a loopback address of its own (127.x.y.z), so that a checker that checks each host:port once sees as
// many proxies as rows. zandel-check's CPU seconds per row are set beside Debian's proxycheck's on the same
// addresses when it is installed, and beside another build of zandel-check when one is given.
//   cpu_bench [--quick] [--rows N] [--rounds N] [--ours-only] [--baseline PATH-OF-ANOTHER-ZANDEL-CHECK] [--geo]
//             [--wrap PROGRAM ARG...]
// --quick leaves out the 100 000 rows; --rows runs one size alone; --rounds takes the middle of N rounds of every
// size (the CPU of one short run varies by a tenth and more from one run to the next), and as the ratio to ours the
// middle of the rounds' own ratios; --ours-only leaves out the other checkers; --wrap runs each checker under a
// profiler (perf, strace, valgrind), all the arguments after it being the profiler's; --geo also runs zandel-check with
// a country and an ASN database of 50 000 networks each (support/make-test-mmdb.pl), every row looked up in both.
// The bench runs in a network namespace of its own, where the loopback device is the only one: its listeners take
// every port on every address there, and nothing outside can reach them or be reached.

#include <sched.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <queue>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <net/if.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bench/Median.h"
#include "bench/ToolRun.h"
#include "core/util/UniqueFd.h"
#include "support/TempDir.h"
#include "support/TestMmdb.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTimeOutSeconds = 5;

bool WriteProcFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written;
}

// A network namespace with only its loopback device, up. Unprivileged, through a user namespace of its own.
bool EnterLoopbackNamespace() {
    if (::unshare(CLONE_NEWNET) != 0) {
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
            return false;
        }
        WriteProcFile("/proc/self/setgroups", "deny");
        WriteProcFile("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1");
        WriteProcFile("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1");
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    const bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    if (fd >= 0) {
        ::close(fd);
    }
    // Ten thousand connects at once must not overflow the accept queue (SYNs dropped would be retried a second later).
    WriteProcFile("/proc/sys/net/core/somaxconn", "65535");
    WriteProcFile("/proc/sys/net/ipv4/tcp_max_syn_backlog", "65535");
    return up;
}

// The proxies of the list on one thread: black holes hold a connection until the checker lets it go, slow ones
// answer late, good ones at once with what a judge echoes for a proxy that adds nothing.
class PublicList final {
public:
    PublicList() {
        for (Listener& l : m_listeners) {
            l.fd.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            const int one = 1;
            ::setsockopt(l.fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_ANY); // the namespace's loopback is all there is
            socklen_t length = sizeof address;
            if (::bind(l.fd.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
                ::listen(l.fd.Get(), 65535) != 0 ||
                ::getsockname(l.fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
                l.fd.Reset();
            }
            l.port = ntohs(address.sin_port);
        }
        m_thread = std::thread([this] { Serve(); });
    }
    ~PublicList() {
        m_stop = true;
        m_thread.join();
    }
    bool IsOpen() const {
        return m_listeners[0].fd.IsOpen() && m_listeners[1].fd.IsOpen() && m_listeners[2].fd.IsOpen();
    }
    std::uint16_t Port(int kind) const { return m_listeners[static_cast<std::size_t>(kind)].port; }

private:
    struct Listener {
        zandel::UniqueFd fd;
        std::uint16_t port = 0;
    };
    // The key of an accepted connection in epoll: its descriptor with its kind above.
    static constexpr std::uint64_t kListenerBit = 1ULL << 40;

    void Answer(int fd) {
        char drain[2048];
        while (::recv(fd, drain, sizeof drain, MSG_DONTWAIT) > 0) {
        }
        static const std::string answer =
            "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nREMOTE_ADDR=127.0.0.9\r\n";
        [[maybe_unused]] const ssize_t sent = ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(fd);
    }

    void Serve() {
        const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
        for (std::size_t k = 0; k < m_listeners.size(); ++k) {
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.u64 = kListenerBit | k;
            ::epoll_ctl(epoll, EPOLL_CTL_ADD, m_listeners[k].fd.Get(), &event);
        }
        std::mt19937 random(7);
        std::uniform_int_distribution<int> lateMs(500, 3000);
        using Due = std::pair<Clock::time_point, int>;
        std::priority_queue<Due, std::vector<Due>, std::greater<>> late;
        std::vector<epoll_event> events(1024);
        while (!m_stop) {
            int waitMs = 20;
            if (!late.empty()) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(late.top().first - Clock::now());
                waitMs = static_cast<int>(std::clamp<long long>(left.count() + 1, 0, 20));
            }
            const int count = ::epoll_wait(epoll, events.data(), static_cast<int>(events.size()), waitMs);
            for (int i = 0; i < count; ++i) {
                const std::uint64_t key = events[i].data.u64;
                if ((key & kListenerBit) != 0) {
                    const auto kind = static_cast<std::size_t>(key & 3);
                    for (;;) {
                        const int client =
                            ::accept4(m_listeners[kind].fd.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                        if (client < 0) {
                            break;
                        }
                        if (kind == 1) {
                            late.emplace(Clock::now() + std::chrono::milliseconds(lateMs(random)), client);
                            continue;
                        }
                        // Black holes wait for the checker's close; good ones for the request.
                        epoll_event event{};
                        event.events = EPOLLIN | EPOLLRDHUP;
                        event.data.u64 = (static_cast<std::uint64_t>(kind) << 32) | static_cast<unsigned>(client);
                        ::epoll_ctl(epoll, EPOLL_CTL_ADD, client, &event);
                    }
                    continue;
                }
                const int fd = static_cast<int>(key & 0xFFFFFFFFu);
                if ((key >> 32) == 2 && (events[i].events & EPOLLIN) != 0 && (events[i].events & EPOLLRDHUP) == 0) {
                    Answer(fd);
                    continue;
                }
                char drain[2048];
                const ssize_t got = ::recv(fd, drain, sizeof drain, MSG_DONTWAIT);
                if (got == 0 || (got < 0 && errno != EAGAIN) || (events[i].events & (EPOLLRDHUP | EPOLLHUP)) != 0) {
                    ::close(fd);
                }
            }
            const auto now = Clock::now();
            while (!late.empty() && late.top().first <= now) {
                Answer(late.top().second);
                late.pop();
            }
        }
        ::close(epoll);
    }

    std::array<Listener, 3> m_listeners;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

// Row i of a list: a loopback address of its own, and seven black holes, two slow ones and one good one in ten.
std::string RowHost(int i) {
    const int n = i + 65536 + 1;
    return "127." + std::to_string((n >> 16) & 255) + "." + std::to_string((n >> 8) & 255) + "." +
           std::to_string(n & 255);
}
int RowKind(int i) {
    const int slot = i % 10;
    return slot < 7 ? 0 : slot < 9 ? 1 : 2;
}

struct Figures {
    double seconds = 0;
    double cpuMsPerRow = 0;
    double userShare = 0; // of the CPU, the part spent outside the kernel
    long peakMb = 0;
    int exitCode = 0;
};

// The checker's own output (proxycheck's one line per proxy) goes nowhere.
Figures Measure(const std::vector<std::string>& args, const std::string& folder, int rows) {
    std::fflush(stdout);
    const int saved = ::dup(1);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(null, 1);
    const zandel::bench::ToolRun run = zandel::bench::RunTool(args, folder);
    ::dup2(saved, 1);
    ::close(saved);
    ::close(null);
    return {run.seconds, run.cpuSeconds * 1000.0 / rows, run.cpuSeconds > 0 ? run.userSeconds / run.cpuSeconds : 0,
            run.peakKb / 1024, run.exitCode};
}

void Print(const char* who, const Figures& f, double toOurs) {
    std::printf(
        "  %-30s %7.2f s %6.2f time-outs  %7.4f ms CPU/row (%5.2fx ours, %2.0f %% user)  peak %4ld MB  exit %d\n", who,
        f.seconds, f.seconds / kTimeOutSeconds, f.cpuMsPerRow, toOurs, f.userShare * 100, f.peakMb, f.exitCode);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    bool oursOnly = false;
    int onlyRows = 0;
    int rounds = 0;
    std::string baseline;
    bool geo = false;
    std::vector<std::string> wrap;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--ours-only") == 0) {
            oursOnly = true;
        } else if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc) {
            onlyRows = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--baseline") == 0 && i + 1 < argc) {
            baseline = argv[++i];
        } else if (std::strcmp(argv[i], "--geo") == 0) {
            geo = true;
        } else if (std::strcmp(argv[i], "--wrap") == 0) {
            wrap.assign(argv + i + 1, argv + argc);
            break;
        }
    }
    if (!EnterLoopbackNamespace()) {
        std::fprintf(stderr, "cpu_bench: no network namespace of its own to be had (unshare): %s\n",
                     std::strerror(errno));
        return 1;
    }
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    // proxycheck takes its proxies as arguments: 100 000 of them need more room than the usual quarter of 8 MB.
    ::getrlimit(RLIMIT_STACK, &limit);
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, rlim_t{256} << 20);
    ::setrlimit(RLIMIT_STACK, &limit);

    PublicList list;
    if (!list.IsOpen()) {
        std::fprintf(stderr, "cpu_bench: the listeners could not be had\n");
        return 1;
    }
    zandel::test::TempDir dir;
    const bool peer = !oursOnly && ::access("/usr/bin/proxycheck", X_OK) == 0;
    const std::string url = "http://127.0.0.1:9/cgi-bin/envchk.cgi"; // never fetched: the proxies answer themselves
    const std::string timeOut = std::to_string(kTimeOutSeconds);
    std::vector<std::string> geoArgs;
    if (geo) {
        std::string error;
        const std::string country = zandel::test::MakeTestMmdb(dir.Path(), "c.mmdb", "GeoLite2-Country", "bulk", error);
        const std::string asn = zandel::test::MakeTestMmdb(dir.Path(), "a.mmdb", "GeoLite2-ASN", "bulkasn", error);
        if (country.empty() || asn.empty()) {
            std::fprintf(stderr, "cpu_bench: %s\n", error.c_str());
            return 1;
        }
        geoArgs = {"--geo-country", country, "--geo-asn", asn};
    }

    struct Case {
        int rows;
        int jobs;
        int peerJobs;
        int rounds; // the checkers take turns; each one's middle round counts
    };
    std::vector<Case> cases = {{1000, 1000, 1000, 5}, {10000, 1000, 1000, 1}};
    if (!quick) {
        cases.push_back({100000, 10000, 10000, 1});
    }
    std::printf("time-out %d s; CPU = user + system of the checker alone\n", kTimeOutSeconds);
    for (const Case& c : cases) {
        if (onlyRows != 0 && c.rows != onlyRows) {
            continue;
        }
        const std::string name = "list" + std::to_string(c.rows) + ".txt";
        std::string text;
        std::vector<std::string> peerArgs = {
            "/usr/bin/proxycheck",      "-d", "127.0.0.1:9", "-c", "chat:x:y", "-t", timeOut, "-m",
            std::to_string(c.peerJobs), "-M", "1000"};
        for (int i = 0; i < c.rows; ++i) {
            const std::string port = std::to_string(list.Port(RowKind(i)));
            text += RowHost(i) + ":" + port + "\r\n";
            peerArgs.push_back(RowHost(i) + ":hc:" + port);
        }
        dir.Write(name, text);
        auto ours = [&](const std::string& program, const std::vector<std::string>& extra = {}) {
            std::vector<std::string> args = wrap;
            args.insert(args.end(),
                        {program, "--url", url, "--timeout", timeOut, "--jobs", std::to_string(c.jobs), "--max-rows",
                         std::to_string(c.rows + 1), "-o", "/dev/null", "--log", "/dev/null", name});
            args.insert(args.end(), extra.begin(), extra.end());
            return args;
        };
        std::vector<std::pair<std::string, std::vector<std::string>>> checkers = {
            {"zandel-check", ours(ZANDEL_CHECK_BIN)}};
        if (geo) {
            checkers.emplace_back("zandel-check --geo-country --geo-asn", ours(ZANDEL_CHECK_BIN, geoArgs));
        }
        if (!baseline.empty() && !oursOnly) {
            checkers.emplace_back("zandel-check (baseline)", ours(baseline));
        }
        if (peer) {
            std::vector<std::string> args = wrap;
            args.insert(args.end(), peerArgs.begin(), peerArgs.end());
            checkers.emplace_back("proxycheck -m " + std::to_string(c.peerJobs), args);
        }
        const int roundCount = rounds != 0 ? rounds : c.rounds;
        std::vector<std::vector<Figures>> figures(checkers.size());
        for (int round = 0; round < roundCount; ++round) {
            // Each round starts with the next checker, so that no one of them always runs right after another.
            for (std::size_t turn = 0; turn < checkers.size(); ++turn) {
                const std::size_t k = (static_cast<std::size_t>(round) + turn) % checkers.size();
                figures[k].push_back(Measure(checkers[k].second, dir.Path(), c.rows));
            }
        }
        auto middle = [](std::vector<Figures> figures) {
            std::sort(figures.begin(), figures.end(),
                      [](const Figures& a, const Figures& b) { return a.cpuMsPerRow < b.cpuMsPerRow; });
            return figures[figures.size() / 2];
        };
        std::printf("%d rows, --jobs %d (%d round%s):\n", c.rows, c.jobs, roundCount, roundCount > 1 ? "s" : "");
        // The ratio is the middle of the rounds' own ratios: a round on a busy moment slows every checker in it.
        auto toOurs = [&](std::size_t k) {
            std::vector<double> ratios;
            for (std::size_t round = 0; round < figures[k].size(); ++round) {
                ratios.push_back(figures[k][round].cpuMsPerRow / figures[0][round].cpuMsPerRow);
            }
            return zandel::bench::Median(ratios);
        };
        const Figures mine = middle(figures[0]);
        for (std::size_t k = 0; k < checkers.size(); ++k) {
            Print(checkers[k].first.c_str(), middle(figures[k]), toOurs(k));
        }
        if (c.rows == 100000) {
            std::printf("  aim: <= 11 time-outs (%s), peak <= 200 MB (%s)\n",
                        mine.seconds / kTimeOutSeconds <= 11 ? "met" : "missed", mine.peakMb <= 200 ? "met" : "missed");
        }
    }
    return 0;
}
