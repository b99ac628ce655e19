#include "bench/ServeBenchClients.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include <sys/socket.h>

#include <openssl/err.h>
#include <openssl/pem.h>

#include "support/Loopback.h"

namespace zandel::bench {

double MsSince(BenchClock::time_point start) {
    return std::chrono::duration<double, std::milli>(BenchClock::now() - start).count();
}

UniqueFd Client(std::uint16_t port) {
    UniqueFd fd = test::ConnectLoopback(port);
    const timeval patience{static_cast<time_t>(kClientPatience.count()), 0};
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    return fd;
}

Sample Get(std::uint16_t proxy, std::uint16_t originPort) {
    Sample sample;
    const auto start = BenchClock::now();
    const UniqueFd fd = Client(proxy);
    const std::string authority = std::string(kOriginName) + ":" + std::to_string(originPort);
    if (!fd.IsOpen() || !SendAll(fd.Get(), "GET http://" + authority + "/ HTTP/1.1\r\nHost: " + authority +
                                               "\r\nConnection: close\r\n\r\n")) {
        return sample;
    }
    std::string answer;
    char buffer[4096];
    for (ssize_t got; (got = ::recv(fd.Get(), buffer, sizeof buffer, 0)) > 0;) {
        if (answer.empty()) {
            sample.ttfbMs = MsSince(start);
        }
        answer.append(buffer, static_cast<std::size_t>(got));
    }
    sample.totalMs = MsSince(start);
    sample.ok = answer.starts_with("HTTP/1.1 200") && answer.find(kOriginPage) != std::string::npos;
    return sample;
}

Sample Tunnel(std::uint16_t proxy, std::uint16_t tlsPort, const TlsClient& tls) {
    Sample sample;
    sample.tunnel = true;
    const auto start = BenchClock::now();
    const UniqueFd fd = Client(proxy);
    const std::string authority = std::string(kOriginName) + ":" + std::to_string(tlsPort);
    std::string head;
    std::string rest;
    if (!fd.IsOpen() || !SendAll(fd.Get(), "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n") ||
        !ReadHead(fd.Get(), head, rest, start + kClientPatience)) {
        return sample;
    }
    sample.ttfbMs = MsSince(start);
    if (head.substr(9, 3) != "200" || !rest.empty()) {
        return sample;
    }
    SSL* ssl = SSL_new(tls.context);
    SSL_set_fd(ssl, fd.Get());
    SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(kOriginName));
    SSL_set1_host(ssl, kOriginName);
    if (SSL_connect(ssl) == 1) {
        sample.handshake = true;
        X509* shown = SSL_get1_peer_certificate(ssl);
        sample.ownCertificate = shown != nullptr && X509_cmp(shown, tls.originCertificate) == 0;
        X509_free(shown);
        const std::string request = "GET / HTTP/1.1\r\nHost: origin.test\r\nConnection: close\r\n\r\n";
        std::string answer;
        char buffer[4096];
        if (SSL_write(ssl, request.data(), static_cast<int>(request.size())) > 0) {
            for (int got; (got = SSL_read(ssl, buffer, sizeof buffer)) > 0;) {
                answer.append(buffer, static_cast<std::size_t>(got));
            }
        }
        sample.ok = sample.ownCertificate && answer.find(kOriginPage) != std::string::npos;
    }
    SSL_free(ssl);
    ERR_clear_error();
    sample.totalMs = MsSince(start);
    return sample;
}

std::vector<Sample> Workload(std::uint16_t proxy, const Origin& origin, const TlsClient& tls, int gets, int tunnels,
                             double& seconds) {
    const int total = gets + tunnels;
    std::vector<Sample> samples(static_cast<std::size_t>(total));
    std::atomic<int> next{0};
    const auto start = BenchClock::now();
    std::vector<std::thread> workers;
    for (int w = 0; w < kAtOnce; ++w) {
        workers.emplace_back([&] {
            for (int i; (i = next++) < total;) {
                const bool tunnel = (i % 2 == 1 && i / 2 < tunnels) || i / 2 >= gets;
                samples[static_cast<std::size_t>(i)] =
                    tunnel ? Tunnel(proxy, origin.TlsPort(), tls) : Get(proxy, origin.HttpPort());
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    seconds = MsSince(start) / 1000;
    return samples;
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(share * static_cast<double>(values.size())))];
}

Summary Summarise(const std::vector<Sample>& samples) {
    Summary summary;
    std::vector<double> ttfb;
    int ok = 0;
    for (const Sample& sample : samples) {
        ok += sample.ok ? 1 : 0;
        if (!sample.ok) {
            ++(sample.tunnel ? summary.failedTunnels : summary.failedGets);
        } else {
            ttfb.push_back(sample.ttfbMs);
        }
        summary.handshakes += sample.handshake ? 1 : 0;
        summary.ownCertificates += sample.ownCertificate ? 1 : 0;
    }
    summary.success = samples.empty() ? 0 : static_cast<double>(ok) / static_cast<double>(samples.size());
    summary.p50 = Percentile(ttfb, 0.5);
    summary.p99 = Percentile(ttfb, 0.99);
    return summary;
}

void Print(const char* who, const Summary& summary, double seconds) {
    std::printf("  %-28s success %.2f %%  (failed: %d GETs, %d tunnels)  ttfb p50 %.1f ms p99 %.1f ms  "
                "TLS through tunnels %d, the origin's certificate %d  (%.1f s)\n",
                who, 100 * summary.success, summary.failedGets, summary.failedTunnels, summary.p50, summary.p99,
                summary.handshakes, summary.ownCertificates, seconds);
}

TlsClient MakeTlsClient(const std::string& caPem, const std::string& originPem) {
    TlsClient tls;
    tls.context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_verify(tls.context, SSL_VERIFY_PEER, nullptr);
    BIO* bio = BIO_new_mem_buf(caPem.data(), static_cast<int>(caPem.size()));
    X509* ca = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    X509_STORE_add_cert(SSL_CTX_get_cert_store(tls.context), ca);
    X509_free(ca);
    bio = BIO_new_mem_buf(originPem.data(), static_cast<int>(originPem.size()));
    tls.originCertificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return tls;
}

double Download(std::uint16_t proxy, std::uint16_t bigPort, long long& bytes) {
    const auto start = BenchClock::now();
    const UniqueFd fd = Client(proxy);
    const std::string authority = std::string(kOriginName) + ":" + std::to_string(bigPort);
    std::string head;
    std::string rest;
    bytes = 0;
    if (!SendAll(fd.Get(), "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n") ||
        !ReadHead(fd.Get(), head, rest, start + kClientPatience) || !SendAll(fd.Get(), "GET /big HTTP/1.1\r\n\r\n")) {
        return 0;
    }
    bytes = static_cast<long long>(rest.size());
    std::vector<char> buffer(std::size_t{256} * 1024);
    for (ssize_t got; (got = ::recv(fd.Get(), buffer.data(), buffer.size(), 0)) > 0;) {
        bytes += got;
    }
    return MsSince(start) / 1000;
}

} // namespace zandel::bench
