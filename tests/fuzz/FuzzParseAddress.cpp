// "host:port" and a comment into the job's fixed fields, against a model written with string_view.
#include <cstring>
#include <string_view>

#include "core/check/CheckFormat.h"
#include "core/check/ProxyProbe.h"
#include "fuzz/FuzzSupport.h"

using zandel::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string address(reinterpret_cast<const char*>(data), size);
    zandel::ProbeJob job;
    std::memset(job.szHost, 'x', sizeof job.szHost);
    std::memset(job.szPort, 'x', sizeof job.szPort);
    const bool ok = zandel::ParseAddress(address, job);

    // The model: the host runs to the first colon or blank, the port from after one colon to the next blank.
    const std::string_view text(address);
    const std::size_t hostEnd = std::min(text.find_first_of(": \t"), text.size());
    std::size_t portStart = hostEnd;
    if (portStart < text.size() && text[portStart] == ':') {
        ++portStart;
    }
    const std::size_t portEnd = std::min(text.find_first_of(" \t", portStart), text.size());
    const std::string_view host = text.substr(0, hostEnd);
    const std::string_view port = text.substr(portStart, portEnd - portStart);
    const bool fits =
        !host.empty() && !port.empty() && host.size() < sizeof job.szHost && port.size() < sizeof job.szPort;

    Require(ok == fits, "accepted exactly when host and port are present and fit");
    Require(std::memchr(job.szHost, '\0', sizeof job.szHost) != nullptr, "host field terminated");
    Require(std::memchr(job.szPort, '\0', sizeof job.szPort) != nullptr, "port field terminated");
    if (ok) {
        // Compared by length: a NUL byte inside the address is carried into the field as it is.
        Require(std::memcmp(job.szHost, host.data(), host.size()) == 0 && job.szHost[host.size()] == '\0' &&
                    std::memcmp(job.szPort, port.data(), port.size()) == 0 && job.szPort[port.size()] == '\0',
                "fields hold the model's host and port");
    } else {
        Require(job.szHost[0] == '\0' && job.szPort[0] == '\0', "a refused address leaves both fields empty");
    }
    return 0;
}
