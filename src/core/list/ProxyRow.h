#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/settings/SettingRanges.h"
#include "core/util/ProxyAddress.h"

namespace zandel {

// Index into the list's status images.
enum ProxyStatusImage : int {
    StatusAnonymous = 0,    // green ball
    StatusNonAnonymous = 1, // light-blue ball
    StatusNG = 2,           // red ball
    StatusUnchecked = 3,    // grey ball
    StatusTampered = 4,     // orange ball: the proxy answered, but not with the page asked for
};
inline constexpr int kStatusImageCount = 5;

inline constexpr int MaxListRows = 1000;
inline constexpr int kColumnCount = 5;

// The texts of a row that has not been checked; also what stands in for an empty or missing cell.
inline constexpr const char* kUncheckedResult = "---";
inline constexpr const char* kUncheckedTime = "--:---";
inline constexpr const char* kUncheckedDate = "----/--/--(-:-:-)";
// The result of a proxy that answered with another page than the one asked for (its own, a rewritten or a cached
// one): unusable like "NG", and kept apart from a dead proxy's. ASCII like every result, so that a list file in
// any encoding reads it back.
inline constexpr const char* kTamperedResult = "NG(Tampered)";
// The result of a proxy that passed, then failed when asked again a little later on a fresh connection (a second
// look, zandel-check's --twice): unusable like "NG", and kept apart from a dead proxy's.
inline constexpr const char* kUnstableResult = "不安定";
// The same word as a list file in CP932 holds it (saved by an editor or a program of that code page): unlike the
// ASCII results it has other bytes there, and must still read as the failed check it is.
inline constexpr const char* kUnstableResultCp932 = "\x95\x73\x88\xC0\x92\xE8";
// The result cell of a row while it is being checked.
inline constexpr const char* kCheckingText = "ﾁｪｯｸ中…";
// The HTTPS column after the check time: whether a TLS connection through the proxy's CONNECT tunnel
// verified for the target. A row never checked this way keeps "---".
inline constexpr int kHttpsColumn = 4;
inline constexpr const char* kHttpsOk = "OK";
inline constexpr const char* kHttpsNg = "NG";
inline constexpr const char* kHttpsMitm = "MITM";
inline constexpr const char* kHttpsUnchecked = kUncheckedResult;
// The kind column after the HTTPS one: the kind of proxy the address names. It is shown only, never stored, and
// read from the address whenever that is written.
inline constexpr int kKindColumn = kColumnCount;
// The uptime and median response time of the address over the kept history, shown on request; never stored.
inline constexpr int kUptimeColumn = kColumnCount + 1;
inline constexpr int kMedianColumn = kColumnCount + 2;
// Where the proxy left to the Internet as its last check found it (the offline databases of [Geo]), shown on
// request; never stored either.
inline constexpr int kCountryColumn = kColumnCount + 3;
inline constexpr int kAsnColumn = kColumnCount + 4;
// Each site's class ([Sites], in their order) as the row's last check found it, shown on request; never stored. A
// column for every site there may be, those without a site always hidden.
inline constexpr int kFirstSiteColumn = kColumnCount + 5;
inline constexpr int kShownColumnCount = kFirstSiteColumn + static_cast<int>(kMaxSites);
constexpr bool IsSiteColumn(int column) {
    return column >= kFirstSiteColumn && column < kShownColumnCount;
}
// The address cell holds one byte more than the longest entry, so that a line too long to check still reads as such.
inline constexpr std::size_t kMaxAddressCell = kMaxEntryBytes + 1;
// The address of a row the user inserts.
inline constexpr const char* kNewRowAddress = "0.0.0.0:0";

// One row of the proxy list: address, result, response time, check time, HTTPS.
// What a check found beside its grade, in the codes of the store that keeps it (the window's place and sites'
// columns): carried with the row when it is moved, cleared with its results. A check's own, never stored in a list
// file.
struct RowFindings {
    std::uint32_t sites = 0;
    std::uint32_t asn = 0;
    std::uint16_t country = 0;
    bool datacenter = false;
};

struct ProxyRow {
    std::array<std::string, kColumnCount> cells{"", kUncheckedResult, kUncheckedTime, kUncheckedDate, kHttpsUnchecked};
    int image = StatusUnchecked;
    int tag = 0;
    // Why a check graded the row as it did, for the result cell's tip; a check's own, never stored in a list file.
    std::string reason;
    // Per cell: the bytes came from a list file that is not UTF-8 as a whole, so they are CP932 text even
    // where they would also read as UTF-8.
    std::array<bool, kColumnCount> cp932{};
    RowFindings findings;
};

// What a check made of a row, read from its result cell with letter case ignored; any other text (the unchecked
// "---", a row being checked) is Unchecked. The one reading of a result that the images, the saves, the
// selections and the filter share.
enum class ResultGrade { Unchecked, Ok, AnonymousA, AnonymousB, NonAnonymous, Ng, Tampered, Unstable };
ResultGrade GradeOfResult(std::string_view result);
// The proxy answered with the page asked for: "OK" and the three anonymity grades.
bool IsLiveGrade(ResultGrade grade);
// A failed check: "NG", "NG(Tampered)" and "不安定" alike.
bool IsNgGrade(ResultGrade grade);

// Result text to status image, letter case ignored.
ProxyStatusImage ImageForResult(const std::string& result);
// Whether a result is a failed check's: "NG", "NG(Tampered)" or "不安定", letter case ignored.
bool IsNgResult(std::string_view result);

// The HTTPS texts a cell may hold: "OK", "NG", "MITM" or "---", exactly. Any other text is "---".
std::string HttpsCellOrUnchecked(const std::string& text);
// Whether a check's result writes this column of a row. The HTTPS cell is written only with a result of
// its own, so that a check without that step leaves the cell of an earlier one alone.
bool ResultWritesColumn(const ProxyRow& result, int column);

} // namespace zandel
