#include "core/list/ListFile.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string_view>

#include "core/list/RowStore.h"
#include "core/util/ProxyAddress.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

constexpr std::string_view kBlanks = " \t";
// Lines are handed on in pieces of about this many bytes, with room for the line that passes the mark.
constexpr std::size_t kPieceBytes = std::size_t{64} * 1024;
constexpr std::size_t kReservePerRow = 320;
// What is kept of a line read whole: an entry of the longest length and the fields a save writes after it.
constexpr std::size_t kMaxWholeLine = kMaxEntryBytes + kListPieceBytes;

// Whether a line cut at 258 bytes is to be read whole: its entry has a scheme or a login, or runs past the cut.
bool KeptWhole(std::string_view piece) {
    const std::size_t start = FindNoneOf(piece, kBlanks);
    if (start == std::string_view::npos || piece[start] == '#') {
        return false;
    }
    const std::size_t end = FindAnyOf(piece, kBlanks, start);
    if (end == std::string_view::npos) {
        return true;
    }
    const std::string_view entry = piece.substr(start, end - start);
    if (entry.find("://") != std::string_view::npos || entry.find('@') != std::string_view::npos) {
        return true;
    }
    const std::optional<ProxyAddress> parsed = ParseProxyAddress(entry);
    return parsed && parsed->form != ProxyAddress::Form::Plain;
}

std::string CellOr(const IRowStore& store, int row, int column, const char* unchecked) {
    std::string text = store.GetCellText(row, column);
    return text.empty() ? std::string(unchecked) : text;
}

} // namespace

// A CR LF pair reads as one line end, as a text-mode read on the system the lists come from does; a lone CR
// is an ordinary byte.
int ListLineReader::GetByte() {
    int c = m_pending;
    m_pending = -2;
    if (c == -2) {
        c = getc_unlocked(m_file);
        if (c != EOF) {
            m_utf8.Add(static_cast<unsigned char>(c));
        }
    }
    if (c == '\r') {
        // The byte after a CR is read ahead; when it is a CR itself it is looked at again on the next call.
        const int next = getc_unlocked(m_file);
        if (next != EOF) {
            m_utf8.Add(static_cast<unsigned char>(next));
        }
        if (next == '\n') {
            return '\n';
        }
        m_pending = next;
    }
    return c;
}

// Reads up to `limit` bytes of the line into `piece` (`taken` counts them, its line end included), keeping at most
// `keep` bytes of text; false on a read error.
bool ListLineReader::ReadPiece(std::size_t limit, std::size_t keep, Piece& piece) {
    while (piece.taken < limit) {
        const int c = GetByte();
        if (c == EOF) {
            if (std::ferror(m_file)) {
                m_failed = true;
                return false;
            }
            piece.atEnd = true;
            return true;
        }
        ++piece.taken;
        if (c == '\n') {
            piece.lineEnd = true;
            return true;
        }
        if (c == '\0') {
            piece.leadingNuls += piece.text.empty() && piece.taken == piece.leadingNuls + 1 ? 1 : 0;
            piece.cutAtNul = true;
        } else if (!piece.cutAtNul && piece.text.size() < keep) {
            piece.text.push_back(static_cast<char>(c));
        }
    }
    return true;
}

std::optional<std::string> ListLineReader::Next() {
    m_endedLine = false;
    if (m_failed) {
        return std::nullopt;
    }
    Piece piece;
    if (!ReadPiece(kListPieceBytes, kListPieceBytes, piece)) {
        return std::nullopt;
    }
    if (piece.taken == 0) {
        return std::nullopt;
    }
    // The cut at 258 bytes stays for the lines it was made for, a plain entry with its fields; an entry with a scheme
    // or a login, or one that runs past the cut, is never split: it is one row, refused when too long to check.
    if (!piece.lineEnd && !piece.atEnd && !piece.cutAtNul && KeptWhole(piece.text) &&
        !ReadPiece(std::numeric_limits<std::size_t>::max(), kMaxWholeLine, piece)) {
        return std::nullopt;
    }
    // A piece that begins with a NUL byte has no text, and a row without an address is shown as nothing and never
    // saved: it is a bad line, shown with its NUL bytes written out as a terminal shows them, within a piece's bytes.
    for (std::size_t i = 0; i < std::min(piece.leadingNuls, kListPieceBytes / 4); ++i) {
        piece.text += "\\x00";
    }
    m_endedLine = piece.lineEnd && !piece.cutAtNul;
    return std::move(piece.text);
}

std::optional<ProxyRow> ParseListLine(const std::string& piece, bool endedLine) {
    const std::string_view text(piece.c_str());
    std::size_t at = FindNoneOf(text, kBlanks);
    if (at == std::string_view::npos) {
        // Only blanks: an empty line when its line end follows; otherwise the grammar finds neither comment
        // nor line end and makes a row of it, which a save later drops for its empty address.
        if (endedLine) {
            return std::nullopt;
        }
        at = text.size();
    } else if (text[at] == '#') {
        return std::nullopt;
    }

    std::array<std::string_view, kColumnCount> fields{};
    for (std::size_t field = 0; field < fields.size() && at < text.size(); ++field) {
        std::size_t end = FindAnyOf(text, kBlanks, at);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        fields[field] = text.substr(at, end - at);
        at = FindNoneOf(text, kBlanks, end);
    }

    ProxyRow row;
    row.cells[0] = std::string(fields[0]);
    row.cells[1] = fields[1].empty() ? kUncheckedResult : std::string(fields[1]);
    row.cells[2] = fields[2].empty() ? kUncheckedTime : std::string(fields[2]);
    row.cells[3] = fields[3].empty() ? kUncheckedDate : std::string(fields[3]);
    row.cells[kHttpsColumn] = HttpsCellOrUnchecked(std::string(fields[kHttpsColumn]));
    row.image = ImageForResult(row.cells[1]);
    return row;
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FileExtension(const std::string& path) {
    const std::string name = FileNameOf(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool SaveModeWrites(int saveMode, const std::string& result, const std::string& https, const std::string& address) {
    switch (saveMode) {
    case SaveWithResults:
    case SaveAllAddresses:
        return true;
    case SaveNotNG:
        return !IsNgResult(result);
    case SaveAnonymousOnly:
        return GradeOfResult(result) == ResultGrade::AnonymousA || GradeOfResult(result) == ResultGrade::AnonymousB;
    case SaveNonAnonymousOnly:
        return GradeOfResult(result) == ResultGrade::NonAnonymous;
    case SaveHttpsOnly:
        return https == kHttpsOk;
    case SaveHttpProxiesOnly:
    case SaveSocksProxiesOnly: {
        // An entry no form reads is neither kind.
        const std::optional<ProxyAddress> entry = ParseProxyAddress(address);
        return entry && IsSocks(entry->kind) == (saveMode == SaveSocksProxiesOnly);
    }
    default:
        return false;
    }
}

bool StreamList(const IRowStore& store, int saveMode, const ByteSink& sink, const RowKeep& keep, bool cp932) {
    const int count = store.RowCount();
    std::string out;
    out.reserve(kPieceBytes + kReservePerRow);
    for (int row = 0; row < count; ++row) {
        const std::string address = store.GetCellText(row, 0);
        if (address.empty() || (keep && !keep(row))) {
            continue;
        }
        std::string result = CellOr(store, row, 1, kUncheckedResult);
        // A check writes "不安定" as UTF-8: a list read as CP932 gets it in its own encoding, or the saved file would
        // mix the two and read back garbled.
        if (cp932 && result == kUnstableResult) {
            result = kUnstableResultCp932;
        }
        const std::string https = HttpsCellOrUnchecked(store.GetCellText(row, kHttpsColumn));
        if (!SaveModeWrites(saveMode, result, https, address)) {
            continue;
        }
        out += address;
        if (saveMode == SaveWithResults) {
            out += ' ';
            out += result;
            out += ' ';
            out += CellOr(store, row, 2, kUncheckedTime);
            out += ' ';
            out += CellOr(store, row, 3, kUncheckedDate);
            if (https != kHttpsUnchecked) {
                out += ' ';
                out += https;
            }
        }
        out += "\r\n";
        if (out.size() >= kPieceBytes) {
            if (!sink(out)) {
                return false;
            }
            out.clear();
        }
    }
    return out.empty() || sink(out);
}

std::string FormatList(const IRowStore& store, int saveMode) {
    std::string whole;
    StreamList(store, saveMode, [&whole](std::string_view piece) {
        whole += piece;
        return true;
    });
    return whole;
}

} // namespace zandel
