// A public list as users meet it, simulated on loopback: 70 % of the proxies accept and never answer, 20 % answer
// after 0.5 to 3 seconds, 10 % answer at once as a judge would. zandel-check runs over it at several widths; each
// wall time is given as a ratio to one time-out, with the peak memory of the run.
//   parallel_bench [--quick]   (--quick leaves out the one-at-a-time run, which takes minutes)
// Where Debian's proxycheck (a parallel open-proxy checker) is installed, it runs beside zandel-check on the same 1000
// addresses (its CONNECT check, 1000 at once, to a destination on loopback that is never reached).

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bench/ToolRun.h"
#include "support/Loopback.h"
#include "support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTimeOutSeconds = 5;

// The three kinds of proxy on one thread: black holes hold every connection, slow ones answer late, good ones
// at once with what a judge echoes for a proxy that adds nothing.
class PublicList final {
public:
    PublicList() {
        for (auto& l : m_listeners) {
            l.fd = zandel::test::ListenLoopback(l.port, 4096, SOCK_NONBLOCK);
        }
        m_thread = std::thread([this] { Serve(); });
    }
    ~PublicList() {
        m_stop = true;
        m_thread.join();
    }
    std::uint16_t Port(int kind) const { return m_listeners[static_cast<std::size_t>(kind)].port; }

private:
    struct Listener {
        zandel::UniqueFd fd;
        std::uint16_t port = 0;
    };
    struct Pending {
        int fd;
        Clock::time_point due;
    };

    void Serve() {
        const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
        for (std::size_t k = 0; k < m_listeners.size(); ++k) {
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.u64 = k;
            ::epoll_ctl(epoll, EPOLL_CTL_ADD, m_listeners[k].fd.Get(), &event);
        }
        std::mt19937 random(7);
        std::uniform_int_distribution<int> lateMs(500, 3000);
        std::vector<Pending> pending;
        std::vector<int> held;
        const std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nREMOTE_ADDR=127.0.0.9\r\n";
        while (!m_stop) {
            epoll_event events[64];
            const int count = ::epoll_wait(epoll, events, 64, 20);
            for (int i = 0; i < count; ++i) {
                const auto kind = events[i].data.u64;
                for (;;) {
                    const int client = ::accept4(m_listeners[kind].fd.Get(), nullptr, nullptr, SOCK_CLOEXEC);
                    if (client < 0) {
                        break;
                    }
                    if (kind == 0) {
                        held.push_back(client);
                    } else {
                        const int delay = kind == 1 ? lateMs(random) : 0;
                        pending.push_back({client, Clock::now() + std::chrono::milliseconds(delay)});
                    }
                }
            }
            const auto now = Clock::now();
            for (auto it = pending.begin(); it != pending.end();) {
                if (it->due <= now) {
                    [[maybe_unused]] const ssize_t sent = ::send(it->fd, answer.data(), answer.size(), MSG_NOSIGNAL);
                    ::close(it->fd);
                    it = pending.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (const int fd : held) {
            ::close(fd);
        }
        for (const Pending& p : pending) {
            ::close(p.fd);
        }
        ::close(epoll);
    }

    std::array<Listener, 3> m_listeners;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    PublicList list;
    zandel::test::TempDir dir;
    auto writeList = [&](const std::string& name, int rows) {
        std::string text;
        for (int i = 0; i < rows; ++i) {
            // Seven black holes, two slow, one good in every ten, spread through the list.
            const int slot = i % 10;
            const int kind = slot < 7 ? 0 : slot < 9 ? 1 : 2;
            text += "127.0.0.1:" + std::to_string(list.Port(kind)) + "\r\n";
        }
        dir.Write(name, text);
    };
    writeList("public1000.txt", 1000);
    writeList("public10000.txt", 10000);
    writeList("public50.txt", 50);

    const std::string url = "http://127.0.0.1:9/cgi-bin/envchk.cgi"; // never fetched: the proxies answer themselves
    const std::string timeOut = std::to_string(kTimeOutSeconds);
    struct Case {
        const char* name;
        std::vector<std::string> extra;
        const char* listName;
        double timeOuts; // the aim, in time-outs
    };
    std::vector<Case> cases = {
        {"1000 rows, --jobs 1000", {"--jobs", "1000"}, "public1000.txt", 1.2},
        {"1000 rows, --jobs 100", {"--jobs", "100"}, "public1000.txt", 0},
        {"10000 rows, --jobs 1000", {"--jobs", "1000", "--max-rows", "10000"}, "public10000.txt", 12},
    };
    if (!quick) {
        cases.push_back({"50 rows, --jobs 1", {"--jobs", "1"}, "public50.txt", 0});
    }
    if (::access("/usr/bin/proxycheck", X_OK) == 0) {
        std::vector<std::string> args = {
            "/usr/bin/proxycheck", "-d", "127.0.0.1:9", "-c", "chat:x:y", "-t", timeOut, "-m", "1000", "-M", "1000"};
        for (int i = 0; i < 1000; ++i) {
            const int slot = i % 10;
            const int kind = slot < 7 ? 0 : slot < 9 ? 1 : 2;
            args.push_back("127.0.0.1:hc:" + std::to_string(list.Port(kind)));
        }
        const zandel::bench::ToolRun peer = zandel::bench::RunTool(args, dir.Path());
        std::printf("peer: proxycheck -m 1000 on the same 1000 addresses: %.2f s (%.2f time-outs), peak %ld MB\n",
                    peer.seconds, peer.seconds / kTimeOutSeconds, peer.peakKb / 1024);
    }
    std::printf("time-out %d s; wall time as time-outs (aim), peak RSS\n", kTimeOutSeconds);
    for (const Case& c : cases) {
        std::vector<std::string> args = {ZANDEL_CHECK_BIN, "--url", url, "--timeout", timeOut};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        args.insert(args.end(), {"-o", "/dev/null", "--log", "/dev/null", c.listName});
        const zandel::bench::ToolRun run = zandel::bench::RunTool(args, dir.Path());
        const double ratio = run.seconds / kTimeOutSeconds;
        std::printf("%-26s %7.2f s  %6.2f time-outs", c.name, run.seconds, ratio);
        if (c.timeOuts > 0) {
            std::printf(" (aim <= %.1f: %s)", c.timeOuts, ratio <= c.timeOuts ? "met" : "missed");
        }
        std::printf("  peak %ld MB  exit %d\n", run.peakKb / 1024, run.exitCode);
        std::fflush(stdout);
    }
    return 0;
}
