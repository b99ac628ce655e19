#include "core/list/ListFile.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/list/CheckRecord.h"

#include "core/list/RowStore.h"

namespace zandel {
namespace {

using Piece = std::pair<std::string, bool>; // text, followed by its line end

struct ReaderCase {
    const char* name;
    std::string bytes;
    std::vector<Piece> pieces;
};

class ListLineReaderTest : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(ListLineReaderTest, CutsLinesLikeTheListGrammar) {
    std::string buffer = GetParam().bytes + "x"; // fmemopen wants a non-empty buffer
    std::FILE* file = ::fmemopen(buffer.data(), GetParam().bytes.size(), "r");
    ListLineReader reader(file);
    std::vector<Piece> pieces;
    while (const auto piece = reader.Next()) {
        pieces.emplace_back(*piece, reader.EndedLine());
    }
    std::fclose(file);
    EXPECT_EQ(pieces, GetParam().pieces);
}

const std::string k257(257, 'a');
const std::string k258(258, 'b');
// A plain entry whose fields run past the cut: still taken in pieces, as lists have always been read.
const std::string kPlain257 = "1.2.3.4:80 " + std::string(246, 'a');
const std::string kPlain258 = "1.2.3.4:80 " + std::string(247, 'b');
// Entries with a login longer than a piece, and a run of one character, are one line each.
const std::string kLongLogin = "socks5://u:" + std::string(400, 'p') + "@h:1080 OK";
const std::string kLongSeller = "10.0.0.1:8000:u:" + std::string(300, '@');

INSTANTIATE_TEST_SUITE_P(
    Pieces, ListLineReaderTest,
    ::testing::Values(ReaderCase{"MixedLineEnds", "a\r\nb\nc", {{"a", true}, {"b", true}, {"c", false}}},
                      ReaderCase{"LoneCrIsText", "a\rb\r\r\n", {{"a\rb\r", true}}},
                      ReaderCase{"CrLfCountsAsOneByte", kPlain257 + "\r\nz", {{kPlain257, true}, {"z", false}}},
                      ReaderCase{"LineEndAfterFullPiece", kPlain258 + "\n", {{kPlain258, false}, {"", true}}},
                      ReaderCase{"CrAtPieceBoundary", kPlain257 + "\rA\n", {{kPlain257 + "\r", false}, {"A", true}}},
                      ReaderCase{"PlainEntryLongComment", kPlain258 + "c d\n", {{kPlain258, false}, {"c d", true}}},
                      ReaderCase{"LongLoginIsOneLine", kLongLogin + "\r\nz", {{kLongLogin, true}, {"z", false}}},
                      ReaderCase{"LongSellersLoginIsOneLine", kLongSeller + "\n", {{kLongSeller, true}}},
                      ReaderCase{"RunPastTheCutIsOneLine", k258 + "\rA\n", {{k258 + "\rA", true}}},
                      ReaderCase{"HugeRunIsOneLineKeptShort",
                                 std::string(70000, 'x') + "\ny",
                                 {{std::string(kMaxEntryBytes + kListPieceBytes, 'x'), true}, {"y", false}}},
                      ReaderCase{"NulEndsTheText", std::string("ab\0cd\nef\n", 9), {{"ab", false}, {"ef", true}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A file is UTF-8 only as a whole: a character cut by a piece still counts, one bad byte anywhere does not.
TEST(ListLineReaderTest, DecidesUtf8ForTheWholeFile) {
    const std::pair<std::string, bool> cases[] = {{k257 + "\xe3\x81\x82\r\n", true},
                                                  {"a\r\xc3\xbd\n\xc3\xbd", true},
                                                  {"\xc3\xbd:80\r\n\x83\x76:81\r\n", false},
                                                  {"\xc3\r\n", false},
                                                  {"x\n\xe3\x81", false}};
    for (const auto& [bytes, utf8] : cases) {
        std::string buffer = bytes;
        std::FILE* file = ::fmemopen(buffer.data(), buffer.size(), "r");
        ListLineReader reader(file);
        while (reader.Next()) {
        }
        std::fclose(file);
        EXPECT_EQ(reader.AllUtf8(), utf8) << bytes;
    }
}

class FormatListTest : public ::testing::TestWithParam<int> {};

// Results in every letter case, an empty address and empty cells, against the files each save mode writes.
TEST_P(FormatListTest, MatchesGolden) {
    const std::vector<std::array<std::string, kColumnCount>> rows = {
        {"1.1.1.1:80", "Anonymous(A)", "0.123", "2024/01/02(03:04:05)"},
        {"2.2.2.2:80", "anonymous(b)", "1.500", "2024/01/02(03:04:06)"},
        {"3.3.3.3:80", "NON-ANONYMOUS", "2.000", "2024/01/02(03:04:07)"},
        {"4.4.4.4:80", "ng", "--:---", "2024/01/02(03:04:08)"},
        {"5.5.5.5:80", "", "", ""},
        {"", "OK", "0.100", "2024/01/02(03:04:09)"},
        {"7.7.7.7:8080", "ok", "0.250", "2024/01/02(03:04:10)"},
        {"8.8.8.8:3128", "NG", "--:---", "2024/01/02(03:04:11)"},
        {"host.invalid:8000", "Anonymous", "0.500", "2024/01/02(03:04:12)"},
    };
    MemoryRowStore store;
    for (const auto& cells : rows) {
        const int row = store.RowCount();
        store.InsertRow(row, cells[0], ImageForResult(cells[1]), row);
        for (int column = 1; column < kColumnCount; ++column) {
            store.SetCellText(row, column, cells[static_cast<std::size_t>(column)]);
        }
    }
    const std::string name = "save_mode" + std::to_string(GetParam()) + ".txt";
    std::ifstream golden(std::string(ZANDEL_TEST_DATA_DIR) + "/list/" + name, std::ios::binary);
    ASSERT_TRUE(golden.good()) << name;
    EXPECT_EQ(FormatList(store, GetParam()),
              std::string(std::istreambuf_iterator<char>(golden), std::istreambuf_iterator<char>()));
}

INSTANTIATE_TEST_SUITE_P(SaveModes, FormatListTest, ::testing::Range(1, 6));

// A row checked for HTTPS carries its cell as a fifth field and gets it back; an unchecked one keeps the four
// fields of older lists, whatever its cell held.
TEST(HttpsFieldTest, WrittenOnlyWhereCheckedAndReadBack) {
    struct Row {
        const char* address;
        const char* result;
        const char* https;
        const char* readBack;
    };
    const Row rows[] = {
        {"1.1.1.1:80", "Anonymous(A)", "OK", "OK"},
        {"2.2.2.2:80", "NG", "NG", "NG"},
        {"3.3.3.3:80", "Non-Anonymous", "MITM", "MITM"},
        {"4.4.4.4:80", "Anonymous(B)", "---", "---"},
        {"5.5.5.5:80", "OK", "", "---"},
        {"6.6.6.6:80", "OK", "ok", "---"},
        {"7.7.7.7:80", "NG(Tampered)", "---", "---"},
    };
    MemoryRowStore store;
    for (const Row& row : rows) {
        const int index = store.RowCount();
        store.InsertRow(index, row.address, ImageForResult(row.result), index);
        store.SetCellText(index, 1, row.result);
        store.SetCellText(index, 2, "0.100");
        store.SetCellText(index, 3, "2024/01/02(03:04:05)");
        store.SetCellText(index, kHttpsColumn, row.https);
    }
    const std::string saved = FormatList(store, SaveWithResults);
    EXPECT_EQ(saved, "1.1.1.1:80 Anonymous(A) 0.100 2024/01/02(03:04:05) OK\r\n"
                     "2.2.2.2:80 NG 0.100 2024/01/02(03:04:05) NG\r\n"
                     "3.3.3.3:80 Non-Anonymous 0.100 2024/01/02(03:04:05) MITM\r\n"
                     "4.4.4.4:80 Anonymous(B) 0.100 2024/01/02(03:04:05)\r\n"
                     "5.5.5.5:80 OK 0.100 2024/01/02(03:04:05)\r\n"
                     "6.6.6.6:80 OK 0.100 2024/01/02(03:04:05)\r\n"
                     "7.7.7.7:80 NG(Tampered) 0.100 2024/01/02(03:04:05)\r\n");
    EXPECT_EQ(FormatList(store, SaveHttpsOnly), "1.1.1.1:80\r\n");
    // A tampering proxy is no live one: it goes where "NG" goes, and reads back with its own image.
    EXPECT_EQ(FormatList(store, SaveNotNG), "1.1.1.1:80\r\n3.3.3.3:80\r\n4.4.4.4:80\r\n5.5.5.5:80\r\n6.6.6.6:80\r\n");
    EXPECT_EQ(ImageForResult("ng(tampered)"), StatusTampered);
    EXPECT_FALSE(IsGoodResult("NG(Tampered)"));
    EXPECT_EQ(FormatList(store, SaveSocksProxiesOnly), "");

    MemoryRowStore reloaded;
    std::size_t at = 0;
    for (const Row& row : rows) {
        const std::size_t end = saved.find("\r\n", at);
        const std::optional<ProxyRow> parsed = ParseListLine(saved.substr(at, end - at));
        at = end + 2;
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->cells[kHttpsColumn], row.readBack) << row.address;
        const int index = reloaded.RowCount();
        reloaded.InsertRow(index, parsed->cells[0], parsed->image, index);
        for (int column = 1; column < kColumnCount; ++column) {
            reloaded.SetCellText(index, column, parsed->cells[static_cast<std::size_t>(column)]);
        }
    }
    EXPECT_EQ(FormatList(reloaded, SaveWithResults), saved);
}

// Addresses of every form read as their field and save byte for byte: an IPv6 address keeps its brackets and
// its colons split nothing.
// A proxy that failed its second look is no live one: every save mode and grade puts it where "NG" goes, and its
// cell reads back byte for byte from the compact rows of the console.
TEST(ListFileTest, AnUnstableProxyGoesWhereNgGoes) {
    MemoryRowStore store;
    store.InsertRow(0, "1.1.1.1:80", StatusAnonymous, 0);
    store.SetCellText(0, 1, "Anonymous(A)");
    store.InsertRow(1, "2.2.2.2:80", ImageForResult(kUnstableResult), 1);
    store.SetCellText(1, 1, kUnstableResult);
    EXPECT_EQ(store.GetCellText(1, 1), "不安定");
    EXPECT_EQ(FormatList(store, SaveNotNG), "1.1.1.1:80\r\n");
    EXPECT_EQ(FormatList(store, SaveAnonymousOnly), "1.1.1.1:80\r\n");
    EXPECT_EQ(FormatList(store, SaveWithResults), "1.1.1.1:80 Anonymous(A) --:--- ----/--/--(-:-:-)\r\n"
                                                  "2.2.2.2:80 不安定 --:--- ----/--/--(-:-:-)\r\n");
    EXPECT_EQ(ImageForResult(kUnstableResult), StatusNG);
    EXPECT_TRUE(IsNgResult(kUnstableResult));
    EXPECT_FALSE(IsGoodResult(kUnstableResult));
}

TEST(ListFileTest, KindSavesSplitHttpFromSocksEntries) {
    MemoryRowStore store;
    const char* const entries[] = {"1.1.1.1:80 comment",     "socks5://u:p@2.2.2.2:1080", "u:p@3.3.3.3:8080",
                                   "SOCKS4A://4.4.4.4:1080", "http://5.5.5.5:3128",       "not an address",
                                   "6.6.6.6:80:user:pass"};
    for (const char* entry : entries) {
        store.InsertRow(store.RowCount(), entry, StatusUnchecked, store.RowCount());
    }
    EXPECT_EQ(FormatList(store, SaveHttpProxiesOnly),
              "1.1.1.1:80 comment\r\nu:p@3.3.3.3:8080\r\nhttp://5.5.5.5:3128\r\n6.6.6.6:80:user:pass\r\n");
    EXPECT_EQ(FormatList(store, SaveSocksProxiesOnly), "socks5://u:p@2.2.2.2:1080\r\nSOCKS4A://4.4.4.4:1080\r\n");
}

TEST(ListFileTest, AddressesOfEveryFormSaveAsRead) {
    const std::string file = "[2001:db8::1]:8080 NG --:--- 2024/01/02(03:04:05)\r\n"
                             "[::1]:3128 Anonymous(A) 0.120 2024/01/02(03:04:06) OK\r\n"
                             "10.0.0.1:80 --- --:--- ----/--/--(-:-:-)\r\n"
                             "proxy.example.com:8000 OK 1.000 2024/01/02(03:04:07)\r\n";
    MemoryRowStore store;
    for (std::size_t at = 0; at < file.size();) {
        const std::size_t end = file.find("\r\n", at);
        const std::optional<ProxyRow> row = ParseListLine(file.substr(at, end - at));
        at = end + 2;
        ASSERT_TRUE(row.has_value());
        const int index = store.RowCount();
        store.InsertRow(index, row->cells[0], row->image, index);
        for (int column = 1; column < kColumnCount; ++column) {
            store.SetCellText(index, column, row->cells[static_cast<std::size_t>(column)]);
        }
    }
    EXPECT_EQ(store.GetCellText(0, 0), "[2001:db8::1]:8080");
    EXPECT_EQ(FormatList(store, SaveWithResults), file);
}

} // namespace
} // namespace zandel
