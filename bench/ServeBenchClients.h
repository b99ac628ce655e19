#pragma once

// serve_bench's clients: a GET and a CONNECT tunnel with TLS through a proxy, each timed; many at once; a large
// download through a tunnel.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <openssl/ssl.h>

#include "bench/ServeBenchPeers.h"
#include "core/util/UniqueFd.h"

namespace zandel::bench {

inline constexpr int kAtOnce = 50;
inline constexpr auto kClientPatience = std::chrono::seconds(30);

struct Sample {
    bool tunnel = false;
    bool ok = false;
    bool handshake = false; // TLS through the tunnel was made
    bool ownCertificate = false;
    double ttfbMs = 0;
    double totalMs = 0;
};

// The origin's CA to verify with, and its certificate to compare with the one a tunnel shows.
struct TlsClient {
    SSL_CTX* context = nullptr;
    X509* originCertificate = nullptr;
};

struct Summary {
    double success = 0; // share of all requests
    int failedGets = 0;
    int failedTunnels = 0;
    int handshakes = 0;
    int ownCertificates = 0;
    double p50 = 0; // time to first byte of the successful requests, ms
    double p99 = 0;
};

double MsSince(BenchClock::time_point start);
// A blocking connection to 127.0.0.1:port that gives up reading or writing after kClientPatience.
UniqueFd Client(std::uint16_t port);
TlsClient MakeTlsClient(const std::string& caPem, const std::string& originPem);

// A GET of the origin's page through `proxy`, in absolute form.
Sample Get(std::uint16_t proxy, std::uint16_t originPort);
// CONNECT to the origin's TLS port through `proxy`, the handshake verified against the origin's CA, and its page.
Sample Tunnel(std::uint16_t proxy, std::uint16_t tlsPort, const TlsClient& tls);
// `gets` GETs and `tunnels` tunnels, alternating, kAtOnce at a time.
std::vector<Sample> Workload(std::uint16_t proxy, const Origin& origin, const TlsClient& tls, int gets, int tunnels,
                             double& seconds);
double Percentile(std::vector<double> values, double share);
Summary Summarise(const std::vector<Sample>& samples);
void Print(const char* who, const Summary& summary, double seconds);
// Bytes of the large download through a tunnel of `proxy`, and the seconds they took.
double Download(std::uint16_t proxy, std::uint16_t bigPort, long long& bytes);

} // namespace zandel::bench
