#include "core/list/RowFilter.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace zandel {
namespace {

struct FilterCase {
    const char* name;
    RowFilter filter;
    const char* address;
    const char* result;
    std::optional<int> uptime;
    bool passes;
};

class RowFilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(RowFilterTest, PassesExactlyTheRowsItDescribes) {
    const FilterCase& c = GetParam();
    EXPECT_EQ(c.filter.Passes(c.address, c.result, c.uptime), c.passes);
}

using R = ResultChoice;
using K = KindChoice;
constexpr auto kAll = R::All;
constexpr auto kAny = K::All;
constexpr std::optional<int> kNoHistory;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, RowFilterTest, ::testing::Values(
    FilterCase{"TextIgnoresLetterCase", {"SOCKS5://127.0.0", kAll, kAny, 0}, "socks5://127.0.0.1:1080", "---", kNoHistory, true},
    FilterCase{"TextMissing", {"127.0.0.2", kAll, kAny, 0}, "127.0.0.1:8080", "---", kNoHistory, false},
    FilterCase{"TextLongerThanAddress", {"127.0.0.1:80800", kAll, kAny, 0}, "127.0.0.1:8080", "---", kNoHistory, false},
    FilterCase{"LiveTakesAnonymousA", {"", R::Live, kAny, 0}, "127.0.0.1:80", "Anonymous(A)", kNoHistory, true},
    FilterCase{"LiveIgnoresLetterCase", {"", R::Live, kAny, 0}, "127.0.0.1:80", "anonymous(b)", kNoHistory, true},
    FilterCase{"LiveTakesNonAnonymous", {"", R::Live, kAny, 0}, "127.0.0.1:80", "Non-Anonymous", kNoHistory, true},
    FilterCase{"LiveTakesPlainOk", {"", R::Live, kAny, 0}, "127.0.0.1:80", "OK", kNoHistory, true},
    FilterCase{"LiveRefusesNg", {"", R::Live, kAny, 0}, "127.0.0.1:80", "NG", kNoHistory, false},
    FilterCase{"LiveRefusesTampered", {"", R::Live, kAny, 0}, "127.0.0.1:80", "NG(Tampered)", kNoHistory, false},
    FilterCase{"LiveRefusesUnchecked", {"", R::Live, kAny, 0}, "127.0.0.1:80", "---", kNoHistory, false},
    FilterCase{"LiveRefusesARowBeingChecked", {"", R::Live, kAny, 0}, "127.0.0.1:80", "ﾁｪｯｸ中…", kNoHistory, false},
    FilterCase{"LiveRefusesAnUnknownText", {"", R::Live, kAny, 0}, "127.0.0.1:80", "Anonymous(A)x", kNoHistory, false},
    FilterCase{"NgTakesTampered", {"", R::Ng, kAny, 0}, "127.0.0.1:80", "ng(tampered)", kNoHistory, true},
    FilterCase{"NgTakesNg", {"", R::Ng, kAny, 0}, "127.0.0.1:80", "NG", kNoHistory, true},
    FilterCase{"NgRefusesUnchecked", {"", R::Ng, kAny, 0}, "127.0.0.1:80", "---", kNoHistory, false},
    FilterCase{"TamperedRefusesPlainNg", {"", R::Tampered, kAny, 0}, "127.0.0.1:80", "NG", kNoHistory, false},
    FilterCase{"NonAnonymousIsNoAnonymousGrade", {"", R::AnonymousA, kAny, 0}, "127.0.0.1:80", "Non-Anonymous", kNoHistory, false},
    FilterCase{"AnonymousIsNoNonAnonymousGrade", {"", R::NonAnonymous, kAny, 0}, "127.0.0.1:80", "Anonymous(A)", kNoHistory, false},
    FilterCase{"GradeAIsNotGradeB", {"", R::AnonymousB, kAny, 0}, "127.0.0.1:80", "Anonymous(A)", kNoHistory, false},
    FilterCase{"OkIsItsOwnGrade", {"", R::Ok, kAny, 0}, "127.0.0.1:80", "OK", kNoHistory, true},
    FilterCase{"UncheckedTakesAnyOtherText", {"", R::Unchecked, kAny, 0}, "127.0.0.1:80", "", kNoHistory, true},
    FilterCase{"UncheckedRefusesNg", {"", R::Unchecked, kAny, 0}, "127.0.0.1:80", "NG", kNoHistory, false},
    FilterCase{"HttpTakesAPlainAddress", {"", kAll, K::Http, 0}, "127.0.0.1:80", "---", kNoHistory, true},
    FilterCase{"HttpTakesASellersLogin", {"", kAll, K::Http, 0}, "127.0.0.1:80:user:pa@ss", "---", kNoHistory, true},
    FilterCase{"HttpRefusesSocks5", {"", kAll, K::Http, 0}, "socks5://127.0.0.1:1080", "---", kNoHistory, false},
    FilterCase{"HttpReadsNoSchemeInTheComment", {"", kAll, K::Http, 0}, "127.0.0.1:80 socks5://x:1", "---", kNoHistory, true},
    FilterCase{"Socks4TakesSocks4a", {"", kAll, K::Socks4, 0}, "socks4a://127.0.0.1:1080", "---", kNoHistory, true},
    FilterCase{"Socks4RefusesSocks5", {"", kAll, K::Socks4, 0}, "socks5://127.0.0.1:1080", "---", kNoHistory, false},
    FilterCase{"Socks5TakesSocks5h", {"", kAll, K::Socks5, 0}, "SOCKS5H://127.0.0.1:1080", "---", kNoHistory, true},
    FilterCase{"Socks5RefusesPlain", {"", kAll, K::Socks5, 0}, "127.0.0.1:1080", "---", kNoHistory, false},
    FilterCase{"UptimeAtTheBound", {"", kAll, kAny, 80}, "127.0.0.1:80", "---", 80, true},
    FilterCase{"UptimeBelowTheBound", {"", kAll, kAny, 80}, "127.0.0.1:80", "---", 79, false},
    FilterCase{"UptimeWithoutHistory", {"", kAll, kAny, 1}, "127.0.0.1:80", "---", kNoHistory, false},
    FilterCase{"NoUptimeBoundTakesRowsWithoutHistory", {"", kAll, kAny, 0}, "127.0.0.1:80", "---", kNoHistory, true},
    FilterCase{"EveryConditionHolds", {"127.0.0", R::Live, K::Socks5, 50}, "socks5://127.0.0.1:1080", "OK", 50, true},
    FilterCase{"OneConditionFails", {"127.0.0", R::Live, K::Socks5, 50}, "socks5://127.0.0.1:1080", "NG", 50, false}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST(RowFilterTest, IsOnWithAnyConditionAndOffWithNone) {
    EXPECT_FALSE(RowFilter{}.IsOn());
    EXPECT_TRUE((RowFilter{"1", kAll, kAny, 0}.IsOn()));
    EXPECT_TRUE((RowFilter{"", R::Ng, kAny, 0}.IsOn()));
    EXPECT_TRUE((RowFilter{"", kAll, K::Socks4, 0}.IsOn()));
    EXPECT_TRUE((RowFilter{"", kAll, kAny, 1}.IsOn()));
}

} // namespace
} // namespace zandel
