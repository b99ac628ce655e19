// A list file read piece by piece and each piece into a row, against a model of the list grammar.
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "core/list/ListFile.h"
#include "core/util/ProxyAddress.h"
#include "fuzz/FuzzSupport.h"

using zandel::fuzz::Require;

namespace {

struct Piece {
    std::string text;
    bool endedLine = false;
};

// Whether a line cut at 258 bytes is read whole: its first field runs past the cut, or has a scheme or a login.
bool ModelWhole(std::string_view piece) {
    const std::size_t start = piece.find_first_not_of(" \t");
    if (start == std::string_view::npos || piece[start] == '#') {
        return false;
    }
    const std::size_t end = piece.find_first_of(" \t", start);
    if (end == std::string_view::npos) {
        return true;
    }
    const std::string_view entry = piece.substr(start, end - start);
    const std::optional<zandel::ProxyAddress> parsed = zandel::ParseProxyAddress(entry);
    return entry.find("://") != std::string_view::npos || entry.find('@') != std::string_view::npos ||
           (parsed && parsed->form != zandel::ProxyAddress::Form::Plain);
}

// CR LF folds into LF first; then a piece is at most 258 bytes, its line end included, and a NUL ends its text;
// a line read whole keeps at most an entry's bound and a piece of text.
std::vector<Piece> ModelPieces(std::string bytes) {
    std::string folded;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;
        }
        folded.push_back(bytes[i]);
    }
    std::vector<Piece> pieces;
    for (std::size_t at = 0; at < folded.size();) {
        const std::size_t lf = folded.find('\n', at);
        const std::size_t line = lf == std::string::npos ? folded.size() - at : lf - at + 1;
        std::size_t take = std::min(line, zandel::kListPieceBytes);
        const std::string_view first(folded.data() + at, take);
        if (take == zandel::kListPieceBytes && first.back() != '\n' && first.find('\0') == std::string_view::npos &&
            at + take < folded.size() && ModelWhole(first)) {
            take = line;
        }
        std::string_view raw(folded.data() + at, take);
        const bool lineEnd = raw.back() == '\n';
        if (lineEnd) {
            raw.remove_suffix(1);
        }
        const std::size_t nul = raw.find('\0');
        std::string text(raw.substr(0, nul));
        text.resize(std::min(text.size(), zandel::kMaxEntryBytes + zandel::kListPieceBytes));
        // A piece that begins with NUL bytes has them written out, as many as fit in a piece.
        const std::size_t nuls = nul == 0 ? std::min(raw.find_first_not_of('\0'), raw.size()) : 0;
        for (std::size_t i = 0; i < std::min(nuls, zandel::kListPieceBytes / 4); ++i) {
            text += "\\x00";
        }
        pieces.push_back({std::move(text), lineEnd && nul == std::string_view::npos});
        at += take;
    }
    return pieces;
}

// Blank-separated fields; blanks only, a comment or nothing give no row unless the line end is missing.
std::optional<std::vector<std::string>> ModelFields(const Piece& piece) {
    std::vector<std::string> fields;
    std::string field;
    for (const char c : piece.text + ' ') {
        if (c == ' ' || c == '\t') {
            if (!field.empty()) {
                fields.push_back(field);
            }
            field.clear();
        } else {
            field.push_back(c);
        }
    }
    if (fields.empty()) {
        if (piece.endedLine) {
            return std::nullopt;
        }
        fields.emplace_back();
    } else if (fields[0][0] == '#') {
        return std::nullopt;
    }
    fields.resize(std::min<std::size_t>(fields.size(), zandel::kColumnCount));
    return fields;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<std::FILE, FileCloser> file(fmemopen(bytes.data(), std::max<std::size_t>(bytes.size(), 1), "rb"));
    Require(file != nullptr, "fmemopen");
    if (bytes.empty()) {
        std::fgetc(file.get()); // an empty memory file is opened on one byte and read past it
    }
    zandel::ListLineReader reader(file.get());
    const std::vector<Piece> model = ModelPieces(bytes);
    std::size_t index = 0;
    while (const std::optional<std::string> text = reader.Next()) {
        Require(index < model.size(), "no more pieces than the model");
        Require(*text == model[index].text, "piece text as the model's");
        Require(reader.EndedLine() == model[index].endedLine, "line end as the model's");

        const std::optional<zandel::ProxyRow> row = zandel::ParseListLine(*text, reader.EndedLine());
        const auto fields = ModelFields(model[index]);
        Require(row.has_value() == fields.has_value(), "a row exactly where the model makes one");
        if (row) {
            const char* const unchecked[] = {"", zandel::kUncheckedResult, zandel::kUncheckedTime,
                                             zandel::kUncheckedDate, zandel::kHttpsUnchecked};
            for (std::size_t column = 0; column < zandel::kColumnCount; ++column) {
                std::string expected = column < fields->size() ? (*fields)[column] : unchecked[column];
                if (column == zandel::kHttpsColumn && expected != "OK" && expected != "NG" && expected != "MITM") {
                    expected = zandel::kHttpsUnchecked;
                }
                Require(row->cells[column] == expected, "cell as the model's field or the unchecked text");
            }
            Require(row->image == zandel::ImageForResult(row->cells[1]), "image follows the result");
        }
        ++index;
    }
    Require(!reader.Failed(), "a memory file does not fail");
    Require(index == model.size(), "every piece of the model read");
    return 0;
}
