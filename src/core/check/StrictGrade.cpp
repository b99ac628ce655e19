#include "core/check/StrictGrade.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "core/check/AnswerJudge.h"

namespace zandel {

namespace {

// Headers that reveal a proxy besides the ones the plain grading knows.
constexpr std::array<const char*, 5> kMoreProxyVariables = {
    "HTTP_FORWARDED", "HTTP_X_REAL_IP", "HTTP_TRUE_CLIENT_IP", "HTTP_X_PROXY_ID", "HTTP_X_BLUECOAT_VIA",
};
// The signed judge's own lines are not the request's.
constexpr std::string_view kJudgeLinePrefix = "ZANDEL_";

// Each word of the name, split at underscores.
// Variables that carry what our own request named (the judge's host and URL) or the judge's server itself:
// the judge's address there is no leak, even where it is also ours (a judge on this machine).
bool OwnRequestVariable(std::string_view name) {
    return name == "HTTP_HOST" || name == "HTTP_X_FORWARDED_HOST" || name == "REQUEST_URI" || name == "QUERY_STRING" ||
           name.substr(0, 7) == "SERVER_" || name.substr(0, 7) == "SCRIPT_" || name.substr(0, 9) == "DOCUMENT_";
}

bool NameSaysProxy(std::string_view name) {
    if (name.substr(0, 5) != "HTTP_") {
        return false;
    }
    std::size_t start = 5;
    while (start <= name.size()) {
        std::size_t end = name.find('_', start);
        if (end == std::string_view::npos) {
            end = name.size();
        }
        const std::string_view word = name.substr(start, end - start);
        if (word == "VIA" || word.find("PROXY") != std::string_view::npos ||
            word.find("FORWARD") != std::string_view::npos) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool KnownProxyName(std::string_view name) {
    const auto in = [name](const auto& list) {
        return std::any_of(list.begin(), list.end(), [name](const char* known) { return name == known; });
    };
    return in(kAddressVariables) || in(kProxyVariables) || in(kMoreProxyVariables) || NameSaysProxy(name);
}

std::size_t ChainLength(std::string_view value) {
    return static_cast<std::size_t>(std::count(value.begin(), value.end(), ',')) + 1;
}

bool ShorterOrBefore(std::string_view a, std::string_view b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

// The baseline's variable of that name, as FindVariable finds it, or null: the names of its length, then the one.
const BaselineIndex::Entry* LookUp(const JudgeBaseline& baseline, std::string_view name) {
    const std::vector<BaselineIndex::Entry>& byName = baseline.index.byName;
    auto at = std::partition_point(byName.begin(), byName.end(), [&name](const BaselineIndex::Entry& entry) {
        return entry.name.size() < name.size();
    });
    for (; at != byName.end() && at->name.size() == name.size(); ++at) {
        if (at->name == name) {
            return &*at;
        }
    }
    return nullptr;
}

// Whether the baseline's clean marks were made for these very addresses.
bool MarksHold(const BaselineIndex& index, const OwnAddresses& ours) {
    return std::equal(index.cleanFor.begin(), index.cleanFor.end(), ours.begin(), ours.end(),
                      [](const IpBytes& marked, const OwnAddress& own) { return marked == own.bytes; });
}

} // namespace

JudgeBaseline ReadJudgeBaseline(const HttpAnswerView& direct) {
    JudgeBaseline baseline;
    if (direct.statusLine.find("200 OK") == std::string_view::npos) {
        return baseline;
    }
    baseline.variables = ParseJudgeVariables(direct.body);
    std::vector<BaselineIndex::Entry>& byName = baseline.index.byName;
    for (const auto [name, value] : baseline.variables) {
        byName.push_back({std::string(name), std::string(value), false});
        // REMOTE_HOST is a name the server may or may not find for a client.
        if (name.rfind("HTTP_", 0) != 0 && name.rfind(kJudgeLinePrefix, 0) != 0 && name != "REMOTE_HOST") {
            baseline.index.serverVariables.emplace_back(name);
        }
    }
    // Stable, so that the first of a name stays first and is the one kept.
    std::stable_sort(byName.begin(), byName.end(),
                     [](const auto& a, const auto& b) { return ShorterOrBefore(a.name, b.name); });
    byName.erase(
        std::unique(byName.begin(), byName.end(), [](const auto& a, const auto& b) { return a.name == b.name; }),
        byName.end());
    const std::optional<std::string_view> remote = FindVariable(baseline.variables, "REMOTE_ADDR");
    if (!remote || !ParseIpBytes(*remote, baseline.ourAddress)) {
        return baseline;
    }
    baseline.ourAddressText = std::string(*remote);
    // Behind a CDN or a load balancer the judge sees that server as its client on every request, and our
    // address only where that server put it: the first of the chain it forwarded.
    if (const std::optional<std::string_view> chain = FindVariable(baseline.variables, "HTTP_X_FORWARDED_FOR")) {
        std::string first(chain->substr(0, chain->find(',')));
        first.erase(0, first.find_first_not_of(" \t"));
        first.erase(first.find_last_not_of(" \t") + 1);
        IpBytes forwarded{};
        if (ParseIpBytes(first, forwarded)) {
            baseline.ourAddress = forwarded;
            baseline.ourAddressText = first;
        }
    }
    baseline.usable = true;
    return baseline;
}

void MarkCleanValues(JudgeBaseline& baseline, const OwnAddresses& ours) {
    for (BaselineIndex::Entry& entry : baseline.index.byName) {
        entry.clean = FindOwnAddress(entry.value, ours) == nullptr;
    }
    baseline.index.cleanFor.clear();
    for (const OwnAddress& own : ours) {
        baseline.index.cleanFor.push_back(own.bytes);
    }
}

StrictFinding CheckJudgePage(const JudgeBaseline& baseline, const JudgeVariables& page, AddressScope scope) {
    // The judge prints its server's own variables (REMOTE_ADDR, REQUEST_METHOD, ...) on every page: an answer
    // without one of them is not the judge's. Every run asks only for REMOTE_ADDR, which every echo page prints, as
    // the plain grading does.
    if (scope == AddressScope::Headers) {
        if (baseline.usable && !FindVariable(page, "REMOTE_ADDR")) {
            return {StrictFinding::Kind::NotJudgePage, "REMOTE_ADDR", {}};
        }
        return {};
    }
    for (const std::string& name : baseline.index.serverVariables) {
        if (!FindVariable(page, name)) {
            return {StrictFinding::Kind::NotJudgePage, name, {}};
        }
    }
    return {};
}

StrictFinding FindOurAddress(const JudgeBaseline& baseline, const OwnAddresses& ours, const JudgeVariables& page,
                             AddressScope scope) {
    const bool marksHold = MarksHold(baseline.index, ours);
    for (const auto [name, value] : page) {
        if ((scope == AddressScope::Headers && name.rfind("HTTP_", 0) != 0) || name.rfind(kJudgeLinePrefix, 0) == 0 ||
            OwnRequestVariable(name)) {
            continue;
        }
        if (const BaselineIndex::Entry* before = marksHold ? LookUp(baseline, name) : nullptr;
            before != nullptr && before->clean && before->value == value) {
            continue;
        }
        if (const OwnAddress* own = FindOwnAddress(value, ours)) {
            return {StrictFinding::Kind::OwnAddress, std::string(name), own->text};
        }
    }
    return {};
}

StrictFinding FindProxyVariable(const JudgeBaseline& baseline, const JudgeVariables& page) {
    if (!baseline.usable) {
        return {};
    }
    for (const auto [name, value] : page) {
        // Every variable a proxy adds is a request header. What the judge's own server adds (a CDN's
        // X-Forwarded-For, its Via) is no finding, unless the proxy added itself to the chain.
        if (name.rfind("HTTP_", 0) != 0) {
            continue;
        }
        const BaselineIndex::Entry* before = LookUp(baseline, name);
        if ((before != nullptr && before->value == value) || !KnownProxyName(name)) {
            continue;
        }
        if (before == nullptr || ChainLength(value) > ChainLength(before->value)) {
            return {StrictFinding::Kind::ProxyVariable, std::string(name), {}};
        }
    }
    return {};
}

StrictFinding GradeStrictly(const JudgeBaseline& baseline, const OwnAddresses& ours, const JudgeVariables& page,
                            AddressScope scope) {
    StrictFinding finding = CheckJudgePage(baseline, page, scope);
    if (finding.kind == StrictFinding::Kind::Nothing) {
        finding = FindOurAddress(baseline, ours, page, scope);
    }
    if (finding.kind == StrictFinding::Kind::Nothing) {
        finding = FindProxyVariable(baseline, page);
    }
    return finding;
}

} // namespace zandel
