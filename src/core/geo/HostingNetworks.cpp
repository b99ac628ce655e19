#include "core/geo/HostingNetworks.h"

#include <algorithm>
#include <limits>

#include "core/util/Text.h"

namespace zandel {

extern const char* const kDefaultHostingNetworks; // the text of res/datacenter-asns.txt, made by the build

namespace {

// "AS16509 Amazon", "as16509" or "16509": the number, or 0 when the line opens with anything else.
std::uint32_t AsnOfLine(std::string_view line) {
    if (line.size() >= 2 && (line[0] == 'A' || line[0] == 'a') && (line[1] == 'S' || line[1] == 's')) {
        line.remove_prefix(2);
    }
    std::uint64_t value = 0;
    std::size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9' && digits < 10) {
        value = value * 10 + static_cast<std::uint64_t>(line[digits] - '0');
        ++digits;
    }
    const bool ended = digits == line.size() || line[digits] == ' ' || line[digits] == '\t';
    if (digits == 0 || !ended || value > std::numeric_limits<std::uint32_t>::max()) {
        return 0;
    }
    return static_cast<std::uint32_t>(value);
}

} // namespace

HostingNetworks HostingNetworks::Default() {
    HostingNetworks networks;
    std::string unused;
    networks.Read(kDefaultHostingNetworks, unused);
    return networks;
}

bool HostingNetworks::Read(std::string_view text, std::string& error) {
    std::vector<std::uint32_t> asns;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        const std::size_t first = FindNoneOf(line, " \t\r");
        if (first == std::string_view::npos || line[first] == '#') {
            continue;
        }
        line = line.substr(first, FindAnyOf(line, "\r", first) - first);
        const std::uint32_t asn = AsnOfLine(line);
        if (asn == 0) {
            error = "line " + std::to_string(number) + " is no AS number: " + std::string(line.substr(0, 60));
            return false;
        }
        asns.push_back(asn);
    }
    std::sort(asns.begin(), asns.end());
    asns.erase(std::unique(asns.begin(), asns.end()), asns.end());
    m_asns = std::move(asns);
    return true;
}

bool HostingNetworks::Contains(std::uint32_t asn) const {
    return std::binary_search(m_asns.begin(), m_asns.end(), asn);
}

} // namespace zandel
