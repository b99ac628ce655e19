// A tunnel's relay once through, against an upstream scripted on a thread of its own: a client that stops reading
// (the upstream is not read ahead without bound), each side's end passed on while the other still talks, a reset
// passed on as a reset. Each row runs with the bytes spliced through pipes and with the copy the serve falls back on
// when pipes would not fit its descriptors.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include <dirent.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/check/ProbeAddress.h"
#include "core/serve/ProxyServer.h"
#include "core/serve/ServePool.h"
#include "support/Loopback.h"

namespace zandel {
namespace {

constexpr std::size_t kMiB = std::size_t{1024} * 1024;
constexpr std::size_t kPeriod = 251; // the byte at offset i is i % 251: a lost, doubled or swapped block shows

// What each side saw, for the rows' expectations.
struct Seen {
    std::atomic<std::size_t> upstreamSent{0};
    std::string upstreamHeard; // what the upstream read before the client's end
    std::size_t clientGot = 0;
    bool inOrder = true;
    int clientEnd = -1;       // 0 for a clean end, else the errno its read ended with
    std::size_t heldBack = 0; // bytes the upstream had sent once a client that stopped reading held it back
    int pipesBefore = 0;
    int pipesWhileHeld = 0; // pipes this process opened by then
};

bool SendPattern(int fd, std::size_t total, Seen& seen) {
    std::string block(kPeriod * 4096, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(i % kPeriod);
    }
    for (std::size_t sent = 0; sent < total;) {
        const ssize_t put = ::send(fd, block.data(), std::min(block.size(), total - sent), MSG_NOSIGNAL);
        if (put <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(put);
        seen.upstreamSent = sent;
    }
    return true;
}

// Reads until the end or `most` bytes, checking the pattern; a bound against a hang, never a measure.
void ReadPattern(int fd, Seen& seen, std::size_t most = SIZE_MAX) {
    char buffer[65536];
    pollfd wait{fd, POLLIN, 0};
    while (seen.clientGot<most&& ::poll(&wait, 1, 20000)> 0) {
        const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, most - seen.clientGot), 0);
        if (got <= 0) {
            seen.clientEnd = got == 0 ? 0 : errno;
            return;
        }
        for (ssize_t i = 0; i < got; ++i) {
            seen.inOrder = seen.inOrder && static_cast<unsigned char>(buffer[i]) == (seen.clientGot + i) % kPeriod;
        }
        seen.clientGot += static_cast<std::size_t>(got);
    }
}

std::string ReadToEnd(int fd) {
    std::string text;
    char buffer[4096];
    pollfd wait{fd, POLLIN, 0};
    while (::poll(&wait, 1, 20000) > 0) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

// The socket's owner closes it with a reset.
void ResetOnClose(int fd) {
    const linger now{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
}

int PipesOpen() {
    int pipes = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    while (const dirent* entry = dir != nullptr ? ::readdir(dir) : nullptr) {
        char target[64] = {};
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        if (::readlink(path.c_str(), target, sizeof target - 1) > 0 && std::string(target).rfind("pipe:", 0) == 0) {
            ++pipes;
        }
    }
    if (dir != nullptr) {
        ::closedir(dir);
    }
    return pipes;
}

// ---- the scripts: the upstream's once it has granted the tunnel, the client's once it has heard the grant ----

using UpstreamScript = void (*)(int fd, Seen& seen);
using ClientScript = void (*)(int fd, Seen& seen);

void FloodThenClose(int fd, Seen& seen) {
    SendPattern(fd, 64 * kMiB, seen);
}
void HearThenAnswer(int fd, Seen& seen) {
    seen.upstreamHeard = ReadToEnd(fd);
    SendPattern(fd, 8 * kMiB, seen);
}
void AnswerThenEnd(int fd, Seen& seen) {
    SendPattern(fd, 8 * kMiB, seen);
}
void SendThenReset(int fd, Seen& seen) {
    SendPattern(fd, 8 * kMiB, seen);
    ResetOnClose(fd);
}

// Reads nothing until the upstream is held back, then everything.
void StopThenReadAll(int fd, Seen& seen) {
    std::size_t before = SIZE_MAX;
    for (int turn = 0; turn < 100 && seen.upstreamSent != before; ++turn) {
        before = seen.upstreamSent;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    seen.heldBack = seen.upstreamSent;
    seen.pipesWhileHeld = PipesOpen() - seen.pipesBefore;
    ReadPattern(fd, seen);
}
void SendThenEnd(int fd, Seen& seen) {
    test::SendAll(fd, "hello");
    ::shutdown(fd, SHUT_WR);
    ReadPattern(fd, seen);
}
void ReadAll(int fd, Seen& seen) {
    ReadPattern(fd, seen);
}
void ReadSomeThenReset(int fd, Seen& seen) {
    ReadPattern(fd, seen, kMiB);
    ResetOnClose(fd);
}

struct RelayRow {
    const char* what;
    UpstreamScript upstream;
    ClientScript client;
    std::size_t clientGets; // SIZE_MAX: whatever came before the end
    int clientEnd;          // -1: not looked at
    const char* upstreamHears;
};

void PrintTo(const RelayRow& row, std::ostream* out) {
    *out << row.what;
}

class ServeRelayTest : public ::testing::TestWithParam<std::tuple<RelayRow, bool>> {};

TEST_P(ServeRelayTest, CarriesBytesEndsAndResetsBothWays) {
    const auto& [row, pipes] = GetParam();
    std::uint16_t upstreamPort = 0;
    const UniqueFd listener = test::ListenLoopback(upstreamPort, 4);
    Seen seen;
    seen.pipesBefore = PipesOpen();
    std::thread upstream([&, script = row.upstream] {
        pollfd wait{listener.Get(), POLLIN, 0};
        if (::poll(&wait, 1, 20000) <= 0) {
            return;
        }
        const UniqueFd fd(::accept(listener.Get(), nullptr, nullptr));
        const timeval patience{20, 0}; // a bound against a hang, never a measure
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        std::string head;
        char byte = 0;
        while (head.find("\r\n\r\n") == std::string::npos && ::recv(fd.Get(), &byte, 1, 0) == 1) {
            head += byte;
        }
        test::SendAll(fd.Get(), "HTTP/1.1 200 Connection established\r\n\r\n");
        script(fd.Get(), seen);
    });
    ServeConfig config;
    config.port = 0;
    config.ports = {443};
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    if (!pipes) {
        config.maxClients = static_cast<int>(files.rlim_cur); // every descriptor is a client's: no room for pipes
    }
    ServePool pool(config, 1);
    Upstream entry;
    entry.key = entry.shown = "127.0.0.1:" + std::to_string(upstreamPort);
    LiteralProbeHost("127.0.0.1", upstreamPort, entry.addresses);
    entry.responseMs = 10;
    pool.Replace({entry}, 1);
    ProxyServer server(config, pool);
    std::string error;
    ASSERT_TRUE(server.Listen(error) && server.Start()) << error;
    {
        UniqueFd client = test::ConnectLoopback(server.Port());
        test::SendAll(client.Get(), "CONNECT 127.0.0.1:443 HTTP/1.1\r\n\r\n");
        std::string grant;
        char byte = 0;
        while (grant.find("\r\n\r\n") == std::string::npos && ::recv(client.Get(), &byte, 1, 0) == 1) {
            grant += byte;
        }
        EXPECT_EQ(grant.substr(0, 12), "HTTP/1.1 200") << row.what;
        row.client(client.Get(), seen);
    }
    upstream.join();
    EXPECT_TRUE(seen.inOrder) << row.what;
    if (row.clientGets != SIZE_MAX) {
        EXPECT_EQ(seen.clientGot, row.clientGets) << row.what;
    }
    if (row.clientEnd >= 0) {
        EXPECT_EQ(seen.clientEnd, row.clientEnd) << row.what;
    }
    EXPECT_EQ(seen.upstreamHeard, row.upstreamHears) << row.what;
    if (seen.heldBack > 0) {
        // Socket buffers on both sides of the serve, and no more: a relay that reads on regardless takes it all.
        EXPECT_LT(seen.heldBack, 32 * kMiB) << row.what;
        EXPECT_EQ(seen.pipesWhileHeld > 0, pipes) << row.what;
    }
    for (int turn = 0; turn < 100 && server.Status().open > 0; ++turn) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(server.Status().open, 0) << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ServeRelayTest,
    ::testing::Combine(
        ::testing::Values(RelayRow{"client stops reading", FloodThenClose, StopThenReadAll, 64 * kMiB, 0, ""},
                          RelayRow{"client ends first", HearThenAnswer, SendThenEnd, 8 * kMiB, 0, "hello"},
                          RelayRow{"upstream ends first", AnswerThenEnd, ReadAll, 8 * kMiB, 0, ""},
                          RelayRow{"upstream resets", SendThenReset, ReadAll, SIZE_MAX, ECONNRESET, ""},
                          RelayRow{"client resets", FloodThenClose, ReadSomeThenReset, kMiB, -1, ""}),
        ::testing::Bool()));

} // namespace
} // namespace zandel
