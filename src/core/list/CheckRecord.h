#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/list/SiteClass.h"
#include "core/util/DateFields.h"

namespace zandel {

struct ProxyAddress;

// The kind of proxy a check spoke to, by its scheme's name ("http", "socks5", ...).
inline constexpr const char* kKindHttp = "http";

// One check as it is kept and exported: texts as bytes, the way the list holds them.
struct CheckRecord {
    std::string address;           // as written, without a password
    std::string kind = kKindHttp;  // the kind of proxy
    std::string result;            // one of the five result texts
    std::optional<int> responseMs; // only for a usable answer
    std::string https;             // the HTTPS cell: "OK", "NG", "MITM" or "---"
    std::string checkedAt;         // UTC, ISO 8601: "2026-12-09T05:27:06Z"
    std::string reason;            // the judgement's result lines, one line
    // Where the proxy left to the Internet: the address the judge saw (REMOTE_ADDR of the page graded), else the
    // proxy's own host as dialled. Only for a recorder that asks for it (ICheckRecorder::WantsExitAddress).
    std::string exitAddress;
    // Each site the run fetched through the proxy, when it passed; empty for any other check.
    std::vector<SiteVerdict> sites = {};
    // What the databases made of the exit address, for the history: the country's ISO code, the AS number (0: none).
    std::string country = {};
    std::uint32_t asn = 0;
};

// The address with any password taken out ("user@host:port", "host:port:user"); a scheme in front
// and a comment after the first blank are kept.
std::string AddressWithoutPassword(std::string_view address);
// The address a check of `entry` is kept and exported under: with a login, the entry as written without its
// password, as the CSV and JSON rows give it; without one, as the history has always kept it.
std::string KeptAddress(const ProxyAddress& entry);
// What the kept forms of one proxy and user have in common, so that checks kept under either group together:
// the user in front ("user@host:port", as older versions kept "host:port:user:password"), a scheme in small
// letters with its user unescaped. Any other address is its own.
std::string HistoryGroupOf(std::string_view kept);
// Every form the checks of the group of `kept` may be kept under, `kept` first.
std::vector<std::string> HistoryFormsOf(std::string_view kept);
// A check-time cell ("2026/12/09(14:27:06)", local time) as UTC ISO 8601; nothing for an unchecked or
// unreadable cell.
std::optional<std::string> CheckTimeCellToIso(std::string_view cell);
// A response-time cell ("1.234") in milliseconds; nothing for "--:---" or any other text.
std::optional<int> ResponseTimeCellToMs(std::string_view cell);
// The result lines of a judgement's transcript text, on one line without their line ends.
std::string ReasonOfJudgement(std::string_view log);
// A kept reason as the history window's 理由 column shows it: without the result mark that opens it, which the
// column's name already says ("結果：使用可能なプロキシサーバです" shows as "使用可能なプロキシサーバです").
std::string_view ReasonShown(std::string_view reason);
// Whether a result counts as a good check: any but "NG" and the unchecked "---".
bool IsGoodResult(std::string_view result);

} // namespace zandel
