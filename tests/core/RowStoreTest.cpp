#include "core/list/RowStore.h"

#include <gtest/gtest.h>

namespace zandel {
namespace {

TEST(MemoryRowStoreTest, CellsAreCutTo259Bytes) {
    MemoryRowStore store;
    store.InsertRow(0, std::string(300, 'a'), StatusNG, 0);
    store.SetCellText(0, 3, std::string(260, 'b'));
    EXPECT_EQ(store.GetCellText(0, 0), std::string(259, 'a'));
    EXPECT_EQ(store.GetCellText(0, 3), std::string(259, 'b'));
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

} // namespace
} // namespace zandel
