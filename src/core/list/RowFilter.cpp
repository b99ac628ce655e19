#include "core/list/RowFilter.h"

#include "core/list/ProxyRow.h"
#include "core/util/ProxyAddress.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

bool ContainsNoCase(std::string_view text, std::string_view part) {
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
        if (StartsWithNoCase(text.substr(at), part)) {
            return true;
        }
    }
    return false;
}

bool ResultPasses(ResultChoice choice, std::string_view result) {
    const ResultGrade grade = GradeOfResult(result);
    switch (choice) {
    case ResultChoice::All:
        return true;
    case ResultChoice::Live:
        return IsLiveGrade(grade);
    case ResultChoice::Ng:
        return IsNgGrade(grade);
    case ResultChoice::Ok:
        return grade == ResultGrade::Ok;
    case ResultChoice::AnonymousA:
        return grade == ResultGrade::AnonymousA;
    case ResultChoice::AnonymousB:
        return grade == ResultGrade::AnonymousB;
    case ResultChoice::NonAnonymous:
        return grade == ResultGrade::NonAnonymous;
    case ResultChoice::Tampered:
        return grade == ResultGrade::Tampered;
    case ResultChoice::Unchecked:
        return grade == ResultGrade::Unchecked;
    }
    return false;
}

bool KindPasses(KindChoice choice, std::string_view address) {
    if (choice == KindChoice::All) {
        return true;
    }
    switch (ProxyKindFromName(EntryKindName(address)).value_or(ProxyKind::Http)) {
    case ProxyKind::Http:
        return choice == KindChoice::Http;
    case ProxyKind::Socks4:
    case ProxyKind::Socks4a:
        return choice == KindChoice::Socks4;
    case ProxyKind::Socks5:
    case ProxyKind::Socks5h:
        return choice == KindChoice::Socks5;
    }
    return false;
}

} // namespace

bool RowFilter::IsOn() const {
    return !text.empty() || result != ResultChoice::All || kind != KindChoice::All || minUptime > 0;
}

bool RowFilter::Passes(std::string_view address, std::string_view resultCell, std::optional<int> uptimePercent) const {
    if (minUptime > 0 && (!uptimePercent || *uptimePercent < minUptime)) {
        return false;
    }
    return ContainsNoCase(address, text) && ResultPasses(result, resultCell) && KindPasses(kind, address);
}

} // namespace zandel
