#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/check/JudgePage.h"

namespace zandel {

// An IP address as 16 bytes (IPv4 as an IPv4-mapped IPv6 address), so that every spelling of one address
// compares equal.
using IpBytes = std::array<unsigned char, 16>;
// IPv4 dotted (leading zeros allowed), IPv6 in any of its forms (brackets, a zone, an embedded IPv4 part).
bool ParseIpBytes(std::string_view text, IpBytes& out);
// Whether `text` names the address anywhere, in any spelling, alone or with a port ("1.2.3.4:80",
// "[::1]:80"), as RFC 7239's for="[::1]" does, or in a comma-separated chain.
bool MentionsAddress(std::string_view text, const IpBytes& address);

// What a request made directly to the judge (no proxy) showed: whether the judge works, the address it
// sees as ours, and the variables its own server adds to every request.
struct JudgeBaseline {
    bool usable = false;
    IpBytes ourAddress{};
    std::string ourAddressText;
    JudgeVariables variables;
};
JudgeBaseline ReadJudgeBaseline(const HttpAnswer& direct);

// What strict grading found in a page fetched through a proxy.
struct StrictFinding {
    enum class Kind {
        OwnAddress,    // our address is in a variable: Non-Anonymous
        ProxyVariable, // a variable shows a proxy at work, not our address: Anonymous(B)
        Nothing,       // nothing added: Anonymous(A)
        NotJudgePage,  // the answer is not the judge's page: the proxy answered with a page of its own
    };
    Kind kind = Kind::Nothing;
    std::string variable; // where it was found
};
StrictFinding GradeStrictly(const JudgeBaseline& baseline, const JudgeVariables& page);

} // namespace zandel
