// CSV and JSON as other tools read them: every export is parsed back by a real parser (Python's csv, jq) and
// compared cell by cell, with the cells a list can hold at its worst.
#include "core/list/CheckExport.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/list/CheckRecord.h"
#include "core/list/ListFile.h"
#include "core/list/RowStore.h"
#include "core/util/ProxyAddress.h"
#include "support/TempDir.h"

namespace zandel {
namespace {

// The standard output of a shell command.
std::string Capture(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, got);
        }
        ::pclose(pipe);
    }
    return out;
}

// Records split on U+001E, fields on U+001F: characters no cell here holds.
std::vector<std::vector<std::string>> Split(const std::string& text) {
    std::vector<std::vector<std::string>> records;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\x1e', start), text.size());
        std::vector<std::string> fields;
        std::size_t fieldStart = start;
        for (;;) {
            const std::size_t sep = text.find('\x1f', fieldStart);
            if (sep == std::string::npos || sep > end) {
                fields.push_back(text.substr(fieldStart, end - fieldStart));
                break;
            }
            fields.push_back(text.substr(fieldStart, sep - fieldStart));
            fieldStart = sep + 1;
        }
        records.push_back(fields);
        start = end + 1;
    }
    return records;
}

std::string Export(const IRowStore& rows, int saveMode, ExportFormat format, const RowReason& reasons) {
    std::string out;
    EXPECT_TRUE(StreamExport(rows, saveMode, format, reasons, [&out](std::string_view piece) {
        out += piece;
        return true;
    }));
    return out;
}

class CheckExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The check-time cells are local time: Tokyo's, nine hours ahead, with no summer time.
        const char* tz = std::getenv("TZ");
        m_oldTz = tz == nullptr ? std::nullopt : std::optional<std::string>(tz);
        ::setenv("TZ", "JST-9", 1);
        ::tzset();
        AddRow({"user:secret@127.0.0.1:8080", "Anonymous(A)", "1.234", "2026/12/09(14:27:06)", "OK"});
        AddRow({"\x83\x76\x83\x8d\x83\x4c\x83\x56:80", "NG", "--:---", "2026/12/09(09:00:00)", "NG"}); // CP932
        AddRow({"a,\"b\":1", "say \"hi\", then\r\nleave\n", "9.999", "----/--/--(-:-:-)", "---"});
        AddRow({"tab\there:2", "OK", "0.050", "2026/01/01(08:59:59)", "MITM"});
        m_reasons = {"結果：使用可能なプロキシサーバです", "bad \x81\x40 \"line\"\r\nnext,\\end", "", "\x01\x7f"};
    }
    void TearDown() override {
        if (m_oldTz) {
            ::setenv("TZ", m_oldTz->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    void AddRow(const std::vector<std::string>& cells) {
        const int row = m_rows.RowCount();
        m_rows.InsertRow(row, cells[0], 0, row);
        for (int column = 1; column < kColumnCount; ++column) {
            m_rows.SetCellText(row, column, cells[static_cast<std::size_t>(column)]);
        }
    }
    RowReason Reasons() const {
        return [this](int row) { return m_reasons[static_cast<std::size_t>(row)]; };
    }

    // What a reader should find: the cells as UTF-8, the password gone, times in UTC.
    // clang-format off
    const std::vector<std::vector<std::string>> m_expected = {
        {"user@127.0.0.1:8080", "http", "Anonymous(A)", "1234", "OK", "2026-12-09T05:27:06Z", "結果：使用可能なプロキシサーバです"},
        {"プロキシ:80", "http", "NG", "", "NG", "2026-12-09T00:00:00Z", "bad \u3000 \"line\"\r\nnext,\\end"},
        {"a,\"b\":1", "http", "say \"hi\", then\r\nleave\n", "9999", "---", "", ""},
        {"tab\there:2", "http", "OK", "50", "MITM", "2025-12-31T23:59:59Z", "\x01\x7f"},
    };
    // clang-format on
    MemoryRowStore m_rows;
    std::vector<std::string> m_reasons;
    std::optional<std::string> m_oldTz;
    test::TempDir m_dir;
};

TEST_F(CheckExportTest, CsvReadsBackThroughPythonsCsvReader) {
    const std::string csv = Export(m_rows, SaveWithResults, ExportFormat::Csv, Reasons());
    EXPECT_EQ(csv.find("secret"), std::string::npos);
    m_dir.Write("out.csv", csv);
    m_dir.Write("read.py", "import csv, sys\n"
                           "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                           "    rows = list(csv.reader(f, strict=True))\n"
                           "sys.stdout.write('\\x1e'.join('\\x1f'.join(r) for r in rows))\n");
    const auto records = Split(Capture("python3 " + m_dir.File("read.py") + " " + m_dir.File("out.csv")));
    ASSERT_EQ(records.size(), m_expected.size() + 1) << csv;
    EXPECT_EQ(records[0],
              (std::vector<std::string>{"address", "kind", "result", "response_ms", "https", "checked_at", "reason"}));
    for (std::size_t i = 0; i < m_expected.size(); ++i) {
        EXPECT_EQ(records[i + 1], m_expected[i]) << "row " << i;
    }
}

TEST_F(CheckExportTest, JsonReadsBackThroughJq) {
    const std::string json = Export(m_rows, SaveWithResults, ExportFormat::Json, Reasons());
    EXPECT_EQ(json.find("secret"), std::string::npos);
    m_dir.Write("out.json", json);
    const std::string fields = Capture(
        "jq -j '.[] | [.address, .kind, .result, (.response_ms // \"\" | tostring), .https, (.checked_at // \"\"), "
        ".reason] | join(\"\\u001f\") + \"\\u001e\"' " +
        m_dir.File("out.json"));
    const auto records = Split(fields);
    ASSERT_EQ(records.size(), m_expected.size()) << json;
    for (std::size_t i = 0; i < m_expected.size(); ++i) {
        EXPECT_EQ(records[i], m_expected[i]) << "row " << i;
    }
    // Missing values are JSON nulls, numbers are numbers.
    EXPECT_EQ(Capture("jq -c '[.[1].response_ms, .[2].checked_at, .[0].response_ms]' " + m_dir.File("out.json")),
              "[null,null,1234]\n");
}

// A list from a hostile URL plants formulas in every cell it controls: a spreadsheet opening the CSV must read them as
// text, while what the program writes itself ("---", numbers) and the JSON stay as they are.
TEST(CheckExportFormulaTest, CsvCellsNeverStartAFormula) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"=HYPERLINK(\"http://127.0.0.1/\",\"x\")", "'=HYPERLINK(\"http://127.0.0.1/\",\"x\")"},
        {"+1+cmd|' /C calc'!A0", "'+1+cmd|' /C calc'!A0"},
        {"@SUM(1,2)", "'@SUM(1,2)"},
        {"-2+3", "'-2+3"},     // a dash that starts a sum, not a number
        {"-1.5e3", "'-1.5e3"}, // not a plain number either
        {"--1", "'--1"},       // a double negation is still a formula
        {"\t=1+2", "'\t=1+2"}, // a tab or CR before it are dropped by some readers
        {"\r=1+2", "'\r=1+2"},
        {"=", "'="},
        {"---", "---"}, // the unchecked mark
        {"-", "-"},
        {"-12", "-12"}, // a negative number stays a number
        {"-0.25", "-0.25"},
        {"OK", "OK"},
        {"a=1", "a=1"}, // only the first character counts
    };
    MemoryRowStore rows;
    for (const auto& [cell, expected] : cases) {
        const int row = rows.RowCount();
        rows.InsertRow(row, "=" + std::to_string(row) + ":80", 0, row); // an address from the same list
        rows.SetCellText(row, 1, cell);
    }
    const RowReason reasons = [&cases](int row) { return cases[static_cast<std::size_t>(row)].first; };
    test::TempDir dir;
    dir.Write("out.csv", Export(rows, SaveWithResults, ExportFormat::Csv, reasons));
    dir.Write("read.py", "import csv, sys\n"
                         "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                         "    rows = list(csv.reader(f, strict=True))[1:]\n"
                         "sys.stdout.write('\\x1e'.join('\\x1f'.join([r[0], r[2], r[6]]) for r in rows))\n");
    const auto records = Split(Capture("python3 " + dir.File("read.py") + " " + dir.File("out.csv")));
    ASSERT_EQ(records.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& [cell, expected] = cases[i];
        const std::string address = "'=" + std::to_string(i) + ":80";
        EXPECT_EQ(records[i], (std::vector<std::string>{address, expected, expected})) << cell;
    }
    dir.Write("out.json", Export(rows, SaveWithResults, ExportFormat::Json, reasons));
    const auto exact =
        Split(Capture("jq -j '.[] | [.result, .reason] | join(\"\\u001f\") + \"\\u001e\"' " + dir.File("out.json")));
    ASSERT_EQ(exact.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string& cell = cases[i].first;
        EXPECT_EQ(exact[i], (std::vector<std::string>{cell, cell})) << cell;
    }
}

TEST_F(CheckExportTest, SaveModeChoosesTheRowsAndTxtIsTheListFile) {
    // Only the usable rows; an empty list is still a well-formed document.
    const std::string json = Export(m_rows, SaveNotNG, ExportFormat::Json, Reasons());
    m_dir.Write("some.json", json);
    EXPECT_EQ(Capture("jq -c '[.[].address]' " + m_dir.File("some.json")),
              "[\"user@127.0.0.1:8080\",\"a,\\\"b\\\":1\",\"tab\\there:2\"]\n");
    MemoryRowStore empty;
    EXPECT_EQ(Export(empty, SaveWithResults, ExportFormat::Json, nullptr), "[]\n");
    EXPECT_EQ(Export(empty, SaveWithResults, ExportFormat::Csv, nullptr),
              "address,kind,result,response_ms,https,checked_at,reason\r\n");
    EXPECT_EQ(Export(m_rows, SaveAllAddresses, ExportFormat::Txt, Reasons()), FormatList(m_rows, SaveAllAddresses));
}

// Where each proxy leaves, after the other fields, only for the databases given; a row whose place is unknown reads
// empty (null in JSON), and --country's rule drops rows from every format alike.
TEST_F(CheckExportTest, PlacesFollowTheOtherFieldsForTheDatabasesGiven) {
    ExportPlaces places;
    places.placeOf = [](int row, GeoPlace& place) {
        const GeoPlace known[] = {{"JP", "Japan", 16509, "Amazon.com, Inc.", true},
                                  {},
                                  {"US", "United States", 0, "", false},
                                  {"", "", 64500, "Ex, \"Net\"", false}};
        place = known[row];
        return row != 1;
    };
    const auto readCsv = [this](const std::string& csv) {
        m_dir.Write("out.csv", csv);
        return Capture(
            "python3 -c \"import csv,sys; print([r[7:] for r in csv.reader(open(sys.argv[1], newline=''))])\" " +
            m_dir.File("out.csv"));
    };
    const auto readJson = [this](const std::string& json) {
        m_dir.Write("out.json", json);
        return Capture("jq -c '[.[] | del(.address, .kind, .result, .response_ms, .https, .checked_at, .reason)]' " +
                       m_dir.File("out.json"));
    };
    const auto exportWith = [this](ExportFormat format, const ExportPlaces* with, const RowKeep& keep) {
        std::string out;
        EXPECT_TRUE(StreamExport(
            m_rows, SaveWithResults, format, Reasons(),
            [&out](std::string_view piece) {
                out += piece;
                return true;
            },
            with, keep));
        return out;
    };
    places.country = true;
    places.asn = true;
    EXPECT_EQ(readCsv(exportWith(ExportFormat::Csv, &places, {})),
              "[['country', 'country_name', 'asn', 'as_name', 'datacenter'], "
              "['JP', 'Japan', '16509', 'Amazon.com, Inc.', 'true'], ['', '', '', '', ''], "
              "['US', 'United States', '', '', ''], ['', '', '64500', 'Ex, \"Net\"', 'false']]\n");
    EXPECT_EQ(readJson(exportWith(ExportFormat::Json, &places, {})),
              "[{\"country\":\"JP\",\"country_name\":\"Japan\",\"asn\":16509,\"as_name\":\"Amazon.com, Inc.\","
              "\"datacenter\":true},"
              "{\"country\":null,\"country_name\":null,\"asn\":null,\"as_name\":null,\"datacenter\":null},"
              "{\"country\":\"US\",\"country_name\":\"United States\",\"asn\":null,\"as_name\":null,"
              "\"datacenter\":null},"
              "{\"country\":null,\"country_name\":null,\"asn\":64500,\"as_name\":\"Ex, \\\"Net\\\"\","
              "\"datacenter\":false}]\n");
    places.asn = false;
    EXPECT_EQ(readCsv(exportWith(ExportFormat::Csv, &places, {})),
              "[['country', 'country_name'], ['JP', 'Japan'], ['', ''], ['US', 'United States'], ['', '']]\n");
    places.country = false;
    places.asn = true;
    EXPECT_EQ(readJson(exportWith(ExportFormat::Json, &places, {})),
              "[{\"asn\":16509,\"as_name\":\"Amazon.com, Inc.\",\"datacenter\":true},"
              "{\"asn\":null,\"as_name\":null,\"datacenter\":null},{\"asn\":null,\"as_name\":null,\"datacenter\":null},"
              "{\"asn\":64500,\"as_name\":\"Ex, \\\"Net\\\"\",\"datacenter\":false}]\n");
    // Without databases, byte for byte what it always was.
    EXPECT_EQ(exportWith(ExportFormat::Csv, nullptr, {}),
              Export(m_rows, SaveWithResults, ExportFormat::Csv, Reasons()));

    const RowKeep japanOnly = [](int row) { return row == 0; };
    EXPECT_EQ(readJson(exportWith(ExportFormat::Json, nullptr, japanOnly)), "[{}]\n");
    EXPECT_EQ(exportWith(ExportFormat::Csv, nullptr, japanOnly).find("127.0.0.1:8080,http"),
              std::string("address,kind,result,response_ms,https,checked_at,reason\r\nuser@").size());
    EXPECT_EQ(exportWith(ExportFormat::Txt, nullptr, japanOnly),
              "user:secret@127.0.0.1:8080 Anonymous(A) 1.234 2026/12/09(14:27:06) OK\r\n");
}

// The sites' classes come last, after any place; a row whose proxy was not checked on them has empty cells and null.
TEST_F(CheckExportTest, SitesFollowEveryOtherFieldAndReadBack) {
    ExportSites sites;
    sites.urls = {"https://shop.example/a?b=1,2", "http://news.example/"};
    sites.classOf = [](int row, std::vector<SiteClass>& classes) {
        classes = {row == 0 ? SiteClass::Reached : SiteClass::BlockRedirect, SiteClass::Captcha};
        return row % 2 == 0;
    };
    ExportPlaces places;
    places.country = true;
    places.placeOf = [](int row, GeoPlace& place) {
        place.country = row == 0 ? "JP" : "";
        return row == 0;
    };
    const auto exportWith = [this, &sites, &places](ExportFormat format) {
        std::string out;
        EXPECT_TRUE(StreamExport(
            m_rows, SaveWithResults, format, Reasons(),
            [&out](std::string_view piece) {
                out += piece;
                return true;
            },
            &places, {}, &sites));
        return out;
    };
    m_dir.Write("out.csv", exportWith(ExportFormat::Csv));
    EXPECT_EQ(
        Capture("python3 -c \"import csv,sys; print([r[7:] for r in csv.reader(open(sys.argv[1], newline=''))])\" " +
                m_dir.File("out.csv")),
        "[['country', 'country_name', 'https://shop.example/a?b=1,2', 'http://news.example/'], "
        "['JP', '', 'reached', 'captcha'], ['', '', '', ''], ['', '', 'block-redirect', 'captcha'], "
        "['', '', '', '']]\n");
    m_dir.Write("out.json", exportWith(ExportFormat::Json));
    EXPECT_EQ(Capture("jq -c '[.[] | .sites]' " + m_dir.File("out.json")),
              "[{\"https://shop.example/a?b=1,2\":\"reached\",\"http://news.example/\":\"captcha\"},null,"
              "{\"https://shop.example/a?b=1,2\":\"block-redirect\",\"http://news.example/\":\"captcha\"},null]\n");
}

TEST(CheckRecordTest, AddressesLoseTheirPasswordOnly) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"127.0.0.1:8080", "127.0.0.1:8080"},
        {"user:pw@host:80", "user@host:80"},
        {"user:p@ss:w@host:80 comment", "user@host:80 comment"}, // a password holding "@" and ":"
        {"http://u:p@host:80", "http://u@host:80"},
        {"user@host:80", "user@host:80"},                       // no password to take
        {"host:80 mail:me@example", "host:80 mail:me@example"}, // a comment is no user part
        {"[2001:db8::1]:80", "[2001:db8::1]:80"},
        {"host:80:user:secret comment", "host:80:user comment"}, // the sellers' form, password last
        {"socks5://u:p%40ss@[::1]:1080", "socks5://u@[::1]:1080"},
    };
    for (const auto& [written, kept] : cases) {
        EXPECT_EQ(AddressWithoutPassword(written), kept) << written;
    }
    EXPECT_STREQ(EntryKindName("socks5h://u:p@[::1]:1080"), "socks5h");
    EXPECT_STREQ(EntryKindName("host:80:user:pw"), "http");
}

TEST(CheckRecordTest, CellsAndTimesReadOnlyInTheirOwnShape) {
    EXPECT_EQ(ResponseTimeCellToMs("12.345"), 12345);
    for (const char* bad : {"--:---", "", ".123", "1.23", "1.2345", "1,234", "-1.000", "1.2x3"}) {
        EXPECT_FALSE(ResponseTimeCellToMs(bad)) << bad;
    }
    EXPECT_EQ(ParseIsoUtc(IsoUtc(1'800'000'000)), 1'800'000'000);
    for (const char* bad : {"2026-12-09T05:27:06", "2026-13-09T05:27:06Z", "2026/12/09T05:27:06Z"}) {
        EXPECT_FALSE(ParseIsoUtc(bad)) << bad;
    }
    for (const char* bad : {"----/--/--(-:-:-)", "2026/12/09 14:27:06", "2026/12/09(25:00:00)"}) {
        EXPECT_FALSE(CheckTimeCellToIso(bad)) << bad;
    }
    EXPECT_EQ(ReasonOfJudgement("\r\nHTTP_VIA=1.1 x\r\n理由：HTTP_VIA\r\n結果：使用可能なプロキシサーバです\r\n"
                                "HTTPS結果：証明書を確認できません\r\n"),
              "理由：HTTP_VIA 結果：使用可能なプロキシサーバです HTTPS結果：証明書を確認できません");
}

} // namespace
} // namespace zandel
