#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/geo/GeoDatabase.h"
#include "core/list/ListFile.h"
#include "core/list/SiteClass.h"
#include "core/util/FileIo.h"

namespace zandel {

class IRowStore;

// How a checked list leaves the program: the list file as ever, or CSV or JSON for other tools.
enum class ExportFormat { Txt, Csv, Json };
// "txt", "csv" or "json".
std::optional<ExportFormat> ParseExportFormat(std::string_view name);

// Text as UTF-8, the one encoding CSV and JSON readers agree on: bytes that are UTF-8 stay as they are, any
// other text is CP932 and converted, and a byte CP932 has no character for becomes U+FFFD. `cp932`: the bytes are
// known to be CP932 (a cell of a list file that is not UTF-8 as a whole), even where they would read as UTF-8.
std::string TextAsUtf8(std::string_view bytes, bool cp932 = false);

// The rows the save mode writes, as CSV (a header row, then one record per row, RFC 4180 quoting, CR LF) or as
// a JSON array of objects, with the fields address, kind, result, response_ms, https, checked_at and reason. No
// password leaves: the address is written without one. `reasonOf` gives a row's reason from this run ("" when
// it has none). A CSV cell that a spreadsheet would run as a formula begins with "'"; JSON is exact. Handed to the sink
// a piece at a time, so that a long list is never held whole; false when the sink refused a piece.
using RowReason = std::function<std::string(int row)>;
// Where the rows' proxies leave to the Internet, when offline databases were given: the columns of the databases
// given (country and country_name; asn, as_name and datacenter), after the others, and each row's place (false
// when none is known, which leaves its cells empty, null in JSON).
struct ExportPlaces {
    bool country = false;
    bool asn = false;
    std::function<bool(int row, GeoPlace& place)> placeOf;
};
// The sites the user named, when any: a CSV column each, headed by its URL as given, and in JSON "sites", an object
// from each URL to its class; a row whose proxy was not checked on them has empty cells and "sites":null.
// `classOf` gives a row's classes in the order of `urls`, false for such a row.
struct ExportSites {
    std::vector<std::string> urls;
    std::function<bool(int row, std::vector<SiteClass>& classes)> classOf;
};
bool StreamExport(const IRowStore& store, int saveMode, ExportFormat format, const RowReason& reasonOf,
                  const ByteSink& sink, const ExportPlaces* places = nullptr, const RowKeep& keep = {},
                  const ExportSites* sites = nullptr);

} // namespace zandel
