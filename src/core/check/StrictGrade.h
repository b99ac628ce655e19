#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/check/JudgePage.h"
#include "core/check/OwnAddress.h"

namespace zandel {

// The baseline's variables by name (the first of each name, as `FindVariable` finds it), each marked whether its value
// names none of our addresses: a page's variable with the very value of a clean one is the judge's own and tells the
// grade nothing, so it is passed over without a search. The marks hold for the addresses they were made for
// (`cleanFor`), and are used only with those. Sorted by the names' length first, so that a look-up mostly compares
// lengths.
struct BaselineIndex {
    struct Entry {
        std::string name;
        std::string value;
        bool clean = false;
    };
    std::vector<Entry> byName;
    std::vector<IpBytes> cleanFor;
    // The names of the variables the judge's server prints itself (not a request header, not the signed judge's own
    // line, not REMOTE_HOST), in page order: a page of the judge's has every one of them.
    std::vector<std::string> serverVariables;
};

// What a request made directly to the judge (no proxy) showed: whether the judge works, the address it
// sees as ours, and the variables its own server adds to every request.
struct JudgeBaseline {
    bool usable = false;
    IpBytes ourAddress{};
    std::string ourAddressText;
    JudgeVariables variables;
    BaselineIndex index; // of `variables`, made by ReadJudgeBaseline; its clean values by MarkCleanValues
};
JudgeBaseline ReadJudgeBaseline(const HttpAnswerView& direct);
// Looks for `ours` in every value of the baseline once, so that no page has to look again where the judge shows what
// it showed directly. Called again whenever `ours` changes.
void MarkCleanValues(JudgeBaseline& baseline, const OwnAddresses& ours);

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
// makes no page "not the judge's" and no header the proxy's by comparison. The first finding of three looks, in turn:
StrictFinding GradeStrictly(const JudgeBaseline& baseline, const OwnAddresses& ours, const JudgeVariables& page,
                            AddressScope scope = AddressScope::Everything);
// 1. whether the page is the judge's at all (NotJudgePage);
StrictFinding CheckJudgePage(const JudgeBaseline& baseline, const JudgeVariables& page, AddressScope scope);
// 2. our address in a variable (OwnAddress), the first in page order;
StrictFinding FindOurAddress(const JudgeBaseline& baseline, const OwnAddresses& ours, const JudgeVariables& page,
                             AddressScope scope);
// 3. a proxy's variable the judge did not show directly (ProxyVariable), only against a usable baseline.
// Each finds Kind::Nothing where it finds nothing.
StrictFinding FindProxyVariable(const JudgeBaseline& baseline, const JudgeVariables& page);

} // namespace zandel
