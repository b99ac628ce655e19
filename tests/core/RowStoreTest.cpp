#include "core/list/RowStore.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace zandel {
namespace {

// An address keeps a long login entry whole (and one byte past the longest, which marks a line too long to check).
TEST(MemoryRowStoreTest, CellsAreCutToTheirBounds) {
    MemoryRowStore store;
    store.InsertRow(0, std::string(2000, 'a'), StatusNG, 0);
    store.SetCellText(0, 3, std::string(260, 'b'));
    EXPECT_EQ(store.GetCellText(0, 0), std::string(kMaxEntryBytes + 1, 'a'));
    EXPECT_EQ(store.GetCellText(0, 3), std::string(259, 'b'));
    store.SetCellText(0, 0, std::string(600, 'c'));
    EXPECT_EQ(store.GetCellText(0, 0), std::string(600, 'c'));
}

TEST(MemoryRowStoreTest, MarkFollowsItsRowThroughInsertsAndRemovals) {
    MemoryRowStore store;
    for (int row = 0; row < 6; ++row) {
        store.InsertRow(row, "10.0.0." + std::to_string(row) + ":80", StatusUnchecked, row);
    }
    store.SetRowSelected(5, true);
    store.SetRowSelected(3, true);
    store.SetRowSelected(5, false); // taking the state away sets no mark
    EXPECT_EQ(store.SelectionMark(), 3);
    store.InsertRow(0, "new:1", StatusUnchecked, 0);
    EXPECT_EQ(store.SelectionMark(), 4);
    EXPECT_EQ(store.SelectedRows(1000), std::vector<int>{4});
    store.RemoveRow(0);
    store.RemoveRow(5); // after the mark
    EXPECT_EQ(store.SelectionMark(), 3);
    store.RemoveRow(3); // the marked row itself: its successor takes the mark
    EXPECT_EQ(store.SelectionMark(), 3);
    EXPECT_EQ(store.GetCellText(3, 0), "10.0.0.4:80");
    store.RemoveRow(3); // now the last row: the mark moves back into the list
    EXPECT_EQ(store.SelectionMark(), 2);
    while (store.RowCount() > 0) {
        store.RemoveRow(0);
        EXPECT_LT(store.SelectionMark(), store.RowCount());
    }
    EXPECT_EQ(store.SelectionMark(), -1);
}

// A run's addresses come a batch at a time: each row's own, whatever batch it falls in, one fetch per batch.
TEST(RowCellReaderTest, ReadsEachRowsTextOneBatchAtATime) {
    class CountingRows final : public MemoryRowStore {
    public:
        std::vector<std::string> CellTexts(const std::vector<int>& rows, int column) const override {
            ++fetches;
            return MemoryRowStore::CellTexts(rows, column);
        }
        mutable int fetches = 0;
    };
    CountingRows store;
    std::vector<int> rows;
    for (int row = 0; row < 2 * static_cast<int>(RowCellReader::kBatch) + 10; ++row) {
        store.InsertRow(row, "10.0." + std::to_string(row / 256) + "." + std::to_string(row % 256) + ":80", 3, row);
        if (row % 2 == 1) {
            rows.push_back(row);
        }
    }
    RowCellReader reader(store, rows, 0);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        ASSERT_EQ(reader.At(k), store.GetCellText(rows[k], 0)) << k;
    }
    EXPECT_EQ(store.fetches, 2);
}

// The compact rows against the plainest store there is, over random inserts, removals and writes of texts that
// have codes and texts that only look as if they had: every cell reads back what was written, byte for byte.
TEST(MemoryRowStoreTest, EveryCellReadsBackAsWritten) {
    // clang-format off
    const std::vector<std::string> texts[kColumnCount] = {
        {"", "1.2.3.4:80", "0.0.0.0:0", "255.255.255.255:65535", "01.2.3.4:80", "1.2.3.4:080", "1.2.3.4:65536", "1.2.3.4", "1.2.3.4.5:80", "256.1.1.1:80", "host.example:8080", "[2001:db8::1]:8080", "h:1", std::string(259, 'n'), "1.2.3.4:80 ", "-1.2.3.4:80"},
        {"", "---", "NG", "OK", "Anonymous(A)", "Anonymous(B)", "Non-Anonymous", "ng", "ok", "Anonymous", "ﾁｪｯｸ中…", "NG ", "NG(Tampered)", "NG(tampered)"},
        {"", "--:---", "0.000", "1.234", "600.001", "4294967.293", "4294967.294", "4294967.295", "9999999.999", "01.000", "1.00", "1.0000", "-1.000", "+1.000", ".123", "1.", "--:--"},
        {"", "----/--/--(-:-:-)", "2024/01/02(03:04:05)", "1970/01/01(00:00:00)", "2024/02/29(23:59:59)", "2106/02/07(06:28:13)", "2106/02/07(06:28:14)", "2023/02/29(00:00:00)", "1969/12/31(23:59:59)", "2024/01/02(24:00:00)", "2024/01/02(23:60:00)", "2024/1/2(3:4:5)", "2024-01-02(03:04:05)", "2024/01/02 03:04:05", "2024/13/01(00:00:00)"},
        {"", "---", "OK", "NG", "MITM", "ok", "Mitm", "OK "},
    };
    // clang-format on
    std::mt19937 random(18);
    auto pick = [&](int column) {
        const auto& pool = texts[column];
        return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(random)];
    };
    MemoryRowStore store;
    std::vector<ProxyRow> model;
    for (int step = 0; step < 4000; ++step) {
        const int action = std::uniform_int_distribution<int>(0, 9)(random);
        const int count = static_cast<int>(model.size());
        if (action == 0 || count == 0) {
            const int index = std::uniform_int_distribution<int>(0, count)(random);
            ProxyRow row;
            row.cells = {pick(0), "", "", "", ""};
            row.image = step % 4;
            row.tag = step;
            store.InsertRow(index, row.cells[0], row.image, row.tag);
            model.insert(model.begin() + index, row);
        } else if (action == 1 && count > 20) {
            const int index = std::uniform_int_distribution<int>(0, count - 1)(random);
            store.RemoveRow(index);
            model.erase(model.begin() + index);
        } else {
            const int index = std::uniform_int_distribution<int>(0, count - 1)(random);
            const int column = std::uniform_int_distribution<int>(0, kColumnCount - 1)(random);
            const std::string text = pick(column);
            store.SetCellText(index, column, text);
            model[static_cast<std::size_t>(index)].cells[static_cast<std::size_t>(column)] = text;
        }
        ASSERT_EQ(store.RowCount(), static_cast<int>(model.size()));
        for (int row = 0; row < store.RowCount(); ++row) {
            const ProxyRow& expected = model[static_cast<std::size_t>(row)];
            ASSERT_EQ(store.GetRow(row).cells, expected.cells) << "step " << step << ", row " << row;
            ASSERT_EQ(store.GetRowImage(row), expected.image);
            ASSERT_EQ(store.GetRowTag(row), expected.tag);
        }
    }
}

} // namespace
} // namespace zandel
