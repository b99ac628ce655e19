#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zandel {

// The networks whose addresses are servers in a data centre (clouds, hosting companies): a proxy that leaves from
// one is no home or office line, which is what a user choosing between proxies often wants to know.
class HostingNetworks final {
public:
    // The program's own list (res/datacenter-asns.txt, built in).
    static HostingNetworks Default();

    // A list of ASNs, one a line ("AS16509 Amazon" or "16509"), blank lines and lines opening with '#' passed
    // over: false, with `error` naming the first line that is neither, and nothing taken.
    bool Read(std::string_view text, std::string& error);
    bool Contains(std::uint32_t asn) const;
    std::size_t size() const { return m_asns.size(); }

private:
    std::vector<std::uint32_t> m_asns; // sorted
};

} // namespace zandel
