#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/check/JudgePage.h"
#include "core/check/OwnAddress.h"

namespace zandel {

// What a request made directly to the judge (no proxy) showed: whether the judge works, the address it
// sees as ours, and the variables its own server adds to every request.
struct JudgeBaseline {
    bool usable = false;
    IpBytes ourAddress{};
    std::string ourAddressText;
    JudgeVariables variables;
};
JudgeBaseline ReadJudgeBaseline(const HttpAnswerView& direct);

// Where to look for our address in a page: every variable (strict grading), or only the request's headers, the
// HTTP_ variables (the grade of every run: a proxy on this machine reaches the judge from our own address, which is
// no header of its making).
enum class AddressScope { Everything, Headers };

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
    std::string address;  // our address found there (OwnAddress)
};
// `ours` holds every address that is ours (the baselines' and this machine's); `baseline` may be unusable, which
// makes no page "not the judge's" and no header the proxy's by comparison.
StrictFinding GradeStrictly(const JudgeBaseline& baseline, const OwnAddresses& ours, const JudgeVariables& page,
                            AddressScope scope = AddressScope::Everything);

} // namespace zandel
