#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "core/list/ProxyRow.h"
#include "core/util/FileIo.h"
#include "core/util/Text.h"

namespace zandel {

class IRowStore;

enum ListSaveMode : int {
    SaveWithResults = 1,      // "%s %s %s %s\r\n" for every row, " %s" before the line end for a checked HTTPS cell
    SaveAllAddresses = 2,     // "%s\r\n" for every row
    SaveNotNG = 3,            // rows whose result is not "NG"
    SaveAnonymousOnly = 4,    // "Anonymous(A)" and "Anonymous(B)"
    SaveNonAnonymousOnly = 5, // "Non-Anonymous"
    SaveHttpsOnly = 6,        // HTTPS cell "OK"
    SaveHttpProxiesOnly = 7,  // entries of HTTP proxies (a plain "host:port" among them)
    SaveSocksProxiesOnly = 8, // entries with a SOCKS scheme
};
inline constexpr int kLastSaveMode = SaveSocksProxiesOnly;

enum ListOpenMode : int {
    OpenReplace = 1,
    OpenAppend = 2,
};

// Reads a list file the way the list grammar sees it: CR LF and LF end a line, a plain entry's line is taken in
// pieces of at most 258 bytes (the rest of a longer line is read as further lines), and a NUL byte ends the text of
// its piece; a piece that begins with NUL bytes is given them written out ("\x00"), a bad line to be seen. A line
// whose entry has a scheme or a login, or whose entry runs past 258 bytes, is read whole (its text kept up to an
// entry of kMaxEntryBytes and its fields). Streams, so that a huge file costs only the rows that are kept.
class ListLineReader final {
public:
    explicit ListLineReader(std::FILE* file) : m_file(file) {}
    // The next piece without its line end, or nothing at the end of the file or on a read error.
    std::optional<std::string> Next();
    // Whether the piece returned last was followed by its line end: false when it was cut at 258 bytes, at a
    // NUL byte or by the end of the file.
    bool EndedLine() const { return m_endedLine; }
    bool Failed() const { return m_failed; }
    // Whether every byte read so far is UTF-8 text; a list file that is not is CP932 (the Windows program's).
    bool AllUtf8() const { return m_utf8.Valid(); }

private:
    struct Piece {
        std::string text;
        std::size_t taken = 0;
        bool lineEnd = false;
        bool atEnd = false;
        bool cutAtNul = false;
        std::size_t leadingNuls = 0; // the NUL bytes the line begins with
    };
    int GetByte();
    bool ReadPiece(std::size_t limit, std::size_t keep, Piece& piece);

    std::FILE* m_file;
    Utf8Check m_utf8;
    int m_pending = -2; // a byte read ahead, or -2 for none
    bool m_endedLine = false;
    bool m_failed = false;
};

inline constexpr std::size_t kListPieceBytes = 258;

// One piece of a list file into a row: up to five blank-separated fields, anything after them ignored;
// comments ("#" after leading blanks) and empty lines give nothing. Missing fields take the texts of an
// unchecked row, and so does an HTTPS field that is none of its four texts. A piece of only blanks is
// an empty line only when its line end follows (`endedLine`); otherwise it is a row with an empty address.
std::optional<ProxyRow> ParseListLine(const std::string& piece, bool endedLine = true);

// Extension of a path's file name, dot included ("" when there is none).
std::string FileExtension(const std::string& path);
// File name and extension of a path.
std::string FileNameOf(const std::string& path);

// Whether a row with this result and HTTPS cell is written in the given save mode.
bool SaveModeWrites(int saveMode, const std::string& result, const std::string& https, const std::string& address = {});
// The text a save writes for the rows of `store` in `saveMode`, byte for byte, handed to `sink` some lines at a
// time, so that a long list is never held whole; false when the sink refused a piece. With results, a row whose
// HTTPS cell holds a result gets it as a fifth field; the others keep the four fields of older lists.
// `keep`, when given, passes over the rows it refuses as well (zandel-check's --country). `cp932`: the list was
// read as CP932, and the texts a check writes go out in it.
using RowKeep = std::function<bool(int row)>;
bool StreamList(const IRowStore& store, int saveMode, const ByteSink& sink, const RowKeep& keep = {},
                bool cp932 = false);
// The same text whole.
std::string FormatList(const IRowStore& store, int saveMode);

} // namespace zandel
