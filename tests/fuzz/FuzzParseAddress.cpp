// "host:port" and a comment into the job's target, against a model written with string_view.
#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>

#include <arpa/inet.h>

#include "core/check/CheckFormat.h"
#include "core/check/ProxyProbe.h"
#include "fuzz/FuzzSupport.h"

using zandel::fuzz::Require;

namespace {

bool Ipv6(std::string_view text) {
    const std::string literal(text);
    in6_addr address{};
    return literal.find('\0') == std::string::npos && ::inet_pton(AF_INET6, literal.c_str(), &address) == 1;
}

bool PortNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && text.size() <= 5 && text.front() != '-' && text.front() != '+' &&
           end == text.data() + text.size() && error == std::errc() && value >= 1 && value <= 65535;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string address(reinterpret_cast<const char*>(data), size);
    zandel::ProbeJob job;
    job.target = {"stale.host", "1"};
    const bool ok = zandel::ParseAddress(address, job);

    // The plain form only: a scheme, a login before the host, or a port followed by two more fields is another
    // form's (FuzzProxyAddress).
    const std::string_view cut = std::string_view(address).substr(0, std::min(address.find_first_of(" \t"), size));
    const std::size_t close = !cut.empty() && cut.front() == '[' ? cut.find(']') : 0;
    const std::string_view tail = close == std::string_view::npos ? cut : cut.substr(close);
    std::size_t colons = 0;
    for (std::size_t at = tail.find(':'); at != std::string_view::npos; at = tail.find(':', at + 1)) {
        ++colons;
    }
    if (cut.find('@') != std::string_view::npos || cut.find("://") != std::string_view::npos || colons >= 3) {
        return 0;
    }

    // The model: the address ends at the first blank or tab. One that opens with a bracket is an IPv6 address in
    // brackets, which the host keeps, then a colon and a port number from 1 to 65535. Any other has its host up
    // to the first colon and its port after that colon, and no bracket anywhere.
    const std::string_view whole(address);
    const std::string_view text = whole.substr(0, std::min(whole.find_first_of(" \t"), whole.size()));
    std::string_view host;
    std::string_view port;
    bool wellFormed = false;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close != std::string_view::npos && close + 1 < text.size() && text[close + 1] == ':') {
            host = text.substr(0, close + 1);
            port = text.substr(close + 2);
            wellFormed = Ipv6(text.substr(1, close - 1)) && PortNumber(port);
        }
    } else {
        const std::size_t colon = std::min(text.find(':'), text.size());
        host = text.substr(0, colon);
        port = colon < text.size() ? text.substr(colon + 1) : std::string_view();
        wellFormed = text.find_first_of("[]") == std::string_view::npos;
    }
    const bool fits = wellFormed && !host.empty() && !port.empty() && host.size() <= zandel::kMaxTargetHost &&
                      port.size() <= zandel::kMaxTargetPort;

    Require(ok == fits, "accepted exactly when host and port are well formed, present and fit");
    if (ok) {
        // A NUL byte inside the address ends its text there, as the frame lines have always shown it.
        Require(job.target.host == host.substr(0, host.find('\0')) &&
                    job.target.port == port.substr(0, port.find('\0')),
                "the target holds the model's host and port");
        // "host:port" of the target, as the frame lines and the rewritten address show it, parses back the same.
        zandel::ProbeJob again;
        Require(job.target.host.size() != host.size() || job.target.port.size() != port.size() ||
                    (zandel::ParseAddress(job.target.host + ":" + job.target.port, again) &&
                     again.target.host == job.target.host && again.target.port == job.target.port),
                "host and port joined again give the same address");
    } else {
        Require(job.target.host.empty() && job.target.port.empty(), "a refused address leaves the target empty");
    }
    return 0;
}
