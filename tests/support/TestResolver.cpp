#include "support/TestResolver.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string_view>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace zandel::test {

namespace {

std::atomic<int> g_calls{0};
std::mutex g_mutex;
std::condition_variable g_released;
bool g_hanging = true;

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

sockaddr_storage Loopback(int family, std::uint16_t port) {
    sockaddr_storage address{};
    if (family == AF_INET6) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
        in6.sin6_family = AF_INET6;
        in6.sin6_addr = in6addr_loopback;
        in6.sin6_port = htons(port);
    } else {
        auto& in4 = reinterpret_cast<sockaddr_in&>(address);
        in4.sin_family = AF_INET;
        in4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        in4.sin_port = htons(port);
    }
    return address;
}

} // namespace

ProbeAddresses TestResolve(const char* host, std::uint16_t port) {
    ++g_calls;
    const std::string_view name(host);
    if (EndsWith(name, ".v4.test")) {
        return {Loopback(AF_INET, port)};
    }
    if (EndsWith(name, ".v6.test")) {
        return {Loopback(AF_INET6, port)};
    }
    if (EndsWith(name, ".v6v4.test")) {
        return {Loopback(AF_INET6, port), Loopback(AF_INET, port)};
    }
    if (EndsWith(name, ".hang.test")) {
        std::unique_lock lock(g_mutex);
        g_released.wait_for(lock, std::chrono::seconds(60), [] { return !g_hanging; });
    }
    return {};
}

int TestResolverCalls() {
    return g_calls.load();
}

void ReleaseHangingLookups() {
    {
        std::lock_guard lock(g_mutex);
        g_hanging = false;
    }
    g_released.notify_all();
}

void ArmHangingLookups() {
    std::lock_guard lock(g_mutex);
    g_hanging = true;
}

} // namespace zandel::test
