#include "core/list/ProxyRow.h"

#include "core/util/Text.h"

namespace zandel {

namespace {

struct ResultImage {
    const char* result;
    ProxyStatusImage image;
};

constexpr ResultImage kResultImages[] = {
    {"OK", StatusAnonymous},
    {"Anonymous(A)", StatusAnonymous},
    {"Anonymous(B)", StatusAnonymous},
    {"Non-Anonymous", StatusNonAnonymous},
    {"NG", StatusNG},
    {kTamperedResult, StatusTampered},
};

} // namespace

ProxyStatusImage ImageForResult(const std::string& result) {
    for (const ResultImage& entry : kResultImages) {
        if (EqualsNoCase(result, entry.result)) {
            return entry.image;
        }
    }
    return StatusUnchecked;
}

bool IsNgResult(std::string_view result) {
    return EqualsNoCase(result, "NG") || EqualsNoCase(result, kTamperedResult);
}

std::string HttpsCellOrUnchecked(const std::string& text) {
    for (const char* known : {kHttpsOk, kHttpsNg, kHttpsMitm}) {
        if (text == known) {
            return text;
        }
    }
    return kHttpsUnchecked;
}

bool ResultWritesColumn(const ProxyRow& result, int column) {
    return column != kHttpsColumn || result.cells[kHttpsColumn] != kHttpsUnchecked;
}

} // namespace zandel
