#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zandel {

// Which results pass: every row, the live or the NG ones (as the selections count them), one grade alone, or the
// rows not checked yet.
enum class ResultChoice { All, Live, Ng, Ok, AnonymousA, AnonymousB, NonAnonymous, Tampered, Unchecked };
// Which kinds of proxy pass, by the kind the address names: socks4 takes socks4a in, socks5 socks5h.
enum class KindChoice { All, Http, Socks4, Socks5 };

// The list's filter: a row shows when it meets every condition set. The rows that do not are hidden, never removed,
// and a save writes them as any other.
struct RowFilter {
    std::string text; // bytes the address contains, ASCII letter case ignored; empty: any address
    ResultChoice result = ResultChoice::All;
    KindChoice kind = KindChoice::All;
    int minUptime = 0; // the uptime column's whole percent at least; 0: any row, one without history too

    // Whether a condition is set at all: a filter that lets every row through is off.
    bool IsOn() const;
    // `uptimePercent`: the figure the uptime column shows for the row, none without history.
    bool Passes(std::string_view address, std::string_view resultCell, std::optional<int> uptimePercent) const;

    bool operator==(const RowFilter&) const = default;
};

} // namespace zandel
