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

} // namespace zandel
