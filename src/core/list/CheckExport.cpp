#include "core/list/CheckExport.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include <iconv.h>

#include "core/list/CheckRecord.h"
#include "core/list/ListFile.h"
#include "core/list/RowStore.h"
#include "core/util/ProxyAddress.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

constexpr std::size_t kPieceBytes = std::size_t{64} * 1024;
constexpr const char* kReplacement = "\xEF\xBF\xBD";
constexpr const char* kCsvHeader = "address,kind,result,response_ms,https,checked_at,reason\r\n";

// One converter for the whole export: opening one per cell would cost more than the conversion.
class Cp932Converter final {
public:
    Cp932Converter() : m_cd(iconv_open("UTF-8", "CP932")), m_open(reinterpret_cast<std::intptr_t>(m_cd) != -1) {}
    ~Cp932Converter() {
        if (m_open) {
            iconv_close(m_cd);
        }
    }
    Cp932Converter(const Cp932Converter&) = delete;
    Cp932Converter& operator=(const Cp932Converter&) = delete;

    std::string Convert(std::string_view bytes) const {
        std::string out;
        if (!m_open) {
            // No converter on this system: keep what is ASCII, mark the rest.
            for (const char c : bytes) {
                out += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : std::string(kReplacement);
            }
            return out;
        }
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string input(bytes);
        char* in = input.data();
        std::size_t inLeft = input.size();
        char buffer[1024];
        while (inLeft > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t done = iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
                // A byte without a character, or a lead byte cut off at the end: one replacement, then on.
                out += kReplacement;
                ++in;
                --inLeft;
                iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
            }
        }
        return out;
    }

private:
    iconv_t m_cd;
    bool m_open;
};

// A dash alone or in a row (an unchecked cell) and a plain negative number are read as themselves.
bool HarmlessDashCell(std::string_view text) {
    if (text.find_first_not_of('-') == std::string_view::npos) {
        return true;
    }
    const std::string_view digits = text.substr(1);
    const auto point = digits.find('.');
    const auto isDigits = [](std::string_view part) {
        return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return point == std::string_view::npos ? isDigits(digits)
                                           : isDigits(digits.substr(0, point)) && isDigits(digits.substr(point + 1));
}

// A spreadsheet runs a cell that begins like a formula; a list fetched from anywhere may hold one. The apostrophe
// that spreadsheets read as "text follows" keeps it a text.
bool LooksLikeFormula(std::string_view text) {
    if (text.empty() || std::string_view("=+-@\t\r").find(text.front()) == std::string_view::npos) {
        return false;
    }
    return text.front() != '-' || !HarmlessDashCell(text);
}

void CsvField(std::string& out, std::string_view text) {
    const std::string_view mark = LooksLikeFormula(text) ? "'" : "";
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += mark;
        out += text;
        return;
    }
    out += '"';
    out += mark;
    for (const char c : text) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
}

void JsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void JsonTextOrNull(std::string& out, const std::string& text) {
    if (text.empty()) {
        out += "null";
    } else {
        JsonString(out, TextAsUtf8(text));
    }
}

std::string CsvHeader(const ExportPlaces* places, const ExportSites* sites) {
    std::string header = kCsvHeader;
    if (places == nullptr && sites == nullptr) {
        return header;
    }
    header.resize(header.size() - 2);
    if (places != nullptr) {
        header += places->country ? ",country,country_name" : "";
        header += places->asn ? ",asn,as_name,datacenter" : "";
    }
    for (std::size_t i = 0; sites != nullptr && i < sites->urls.size(); ++i) {
        header += ',';
        CsvField(header, TextAsUtf8(sites->urls[i]));
    }
    return header + "\r\n";
}

// A row's class of each site, after its place.
void AppendSites(std::string& out, bool csv, const ExportSites& sites, int row) {
    std::vector<SiteClass> classes;
    const bool checked = sites.classOf && sites.classOf(row, classes) && classes.size() == sites.urls.size();
    if (csv) {
        for (std::size_t i = 0; i < sites.urls.size(); ++i) {
            out += ',';
            out += checked ? SiteClassName(classes[i]) : "";
        }
        return;
    }
    out += ",\"sites\":";
    if (!checked) {
        out += "null";
        return;
    }
    out += '{';
    for (std::size_t i = 0; i < sites.urls.size(); ++i) {
        out += i == 0 ? "" : ",";
        JsonString(out, TextAsUtf8(sites.urls[i]));
        out += ':';
        JsonString(out, SiteClassName(classes[i]));
    }
    out += '}';
}

// A row's place after its other fields: what is not known stays empty (null in JSON).
void AppendPlace(std::string& out, bool csv, const ExportPlaces& places, int row) {
    GeoPlace place;
    const bool known = places.placeOf && places.placeOf(row, place);
    const std::string asn = known && place.asn != 0 ? std::to_string(place.asn) : std::string();
    const std::string datacenter = asn.empty() ? std::string() : place.datacenter ? "true" : "false";
    if (csv) {
        if (places.country) {
            out += ',';
            CsvField(out, TextAsUtf8(place.country));
            out += ',';
            CsvField(out, TextAsUtf8(place.countryName));
        }
        if (places.asn) {
            out += ',' + asn + ',';
            CsvField(out, TextAsUtf8(place.asName));
            out += ',' + datacenter;
        }
        return;
    }
    if (places.country) {
        out += ",\"country\":";
        JsonTextOrNull(out, place.country);
        out += ",\"country_name\":";
        JsonTextOrNull(out, place.countryName);
    }
    if (places.asn) {
        out += ",\"asn\":" + (asn.empty() ? std::string("null") : asn) + ",\"as_name\":";
        JsonTextOrNull(out, place.asName);
        out += ",\"datacenter\":" + (datacenter.empty() ? std::string("null") : datacenter);
    }
}

} // namespace

std::optional<ExportFormat> ParseExportFormat(std::string_view name) {
    if (name == "txt") {
        return ExportFormat::Txt;
    }
    if (name == "csv") {
        return ExportFormat::Csv;
    }
    if (name == "json") {
        return ExportFormat::Json;
    }
    return std::nullopt;
}

std::string TextAsUtf8(std::string_view bytes, bool cp932) {
    Utf8Check check;
    check.Add(bytes);
    if (check.Valid() && !cp932) {
        return std::string(bytes);
    }
    static thread_local const Cp932Converter converter;
    return converter.Convert(bytes);
}

bool StreamExport(const IRowStore& store, int saveMode, ExportFormat format, const RowReason& reasonOf,
                  const ByteSink& sink, const ExportPlaces* places, const RowKeep& keep, const ExportSites* sites) {
    if (format == ExportFormat::Txt) {
        return StreamList(store, saveMode, sink, keep);
    }
    const bool csv = format == ExportFormat::Csv;
    std::string out = csv ? CsvHeader(places, sites) : "[";
    bool first = true;
    const int count = store.RowCount();
    for (int row = 0; row < count; ++row) {
        const ProxyRow cells = store.GetRow(row);
        const std::string& address = cells.cells[0];
        if (address.empty() || (keep && !keep(row))) {
            continue;
        }
        const std::string result = cells.cells[1].empty() ? kUncheckedResult : cells.cells[1];
        const std::string https = HttpsCellOrUnchecked(cells.cells[kHttpsColumn]);
        if (!SaveModeWrites(saveMode, result, https)) {
            continue;
        }
        const std::optional<int> ms = ResponseTimeCellToMs(cells.cells[2]);
        const std::optional<std::string> checkedAt = CheckTimeCellToIso(cells.cells[3]);
        const std::string reason = reasonOf ? reasonOf(row) : std::string();
        const std::string msText = ms ? std::to_string(*ms) : std::string();
        if (csv) {
            CsvField(out, TextAsUtf8(AddressWithoutPassword(address), cells.cp932[0]));
            out += ',';
            CsvField(out, EntryKindName(address));
            out += ',';
            CsvField(out, TextAsUtf8(result, cells.cp932[1]));
            out += ',';
            out += msText;
            out += ',';
            CsvField(out, https);
            out += ',';
            out += checkedAt.value_or("");
            out += ',';
            CsvField(out, TextAsUtf8(reason));
            if (places != nullptr) {
                AppendPlace(out, true, *places, row);
            }
            if (sites != nullptr) {
                AppendSites(out, true, *sites, row);
            }
            out += "\r\n";
        } else {
            out += first ? "\n{" : ",\n{";
            out += "\"address\":";
            JsonString(out, TextAsUtf8(AddressWithoutPassword(address), cells.cp932[0]));
            out += ",\"kind\":";
            JsonString(out, EntryKindName(address));
            out += ",\"result\":";
            JsonString(out, TextAsUtf8(result, cells.cp932[1]));
            out += ",\"response_ms\":";
            out += ms ? msText : "null";
            out += ",\"https\":";
            JsonString(out, https);
            out += ",\"checked_at\":";
            if (checkedAt) {
                JsonString(out, *checkedAt);
            } else {
                out += "null";
            }
            out += ",\"reason\":";
            JsonString(out, TextAsUtf8(reason));
            if (places != nullptr) {
                AppendPlace(out, false, *places, row);
            }
            if (sites != nullptr) {
                AppendSites(out, false, *sites, row);
            }
            out += '}';
        }
        first = false;
        if (out.size() >= kPieceBytes) {
            if (!sink(out)) {
                return false;
            }
            out.clear();
        }
    }
    if (!csv) {
        out += first ? "]\n" : "\n]\n";
    }
    return sink(out);
}

} // namespace zandel
