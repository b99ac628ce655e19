#include "core/list/ListCommands.h"

#include <gtest/gtest.h>

#include "core/util/Texts.h"
#include "core/list/RowFilter.h"
#include "core/list/RowStore.h"
#include "support/RecordingMessageService.h"

namespace zandel {
namespace {

using Texts = std::vector<std::string>;
using Rows = std::vector<int>;

std::string AddressOf(int n) {
    return "10.0." + std::to_string(n / 256) + "." + std::to_string(n % 256) + ":80";
}

class ListCommandsTest : public ::testing::Test {
protected:
    // Rows that differ in every cell and image, tagged with their index.
    void Fill(int count) {
        for (int row = m_rows.RowCount(), end = row + count; row < end; ++row) {
            m_rows.InsertRow(row, AddressOf(row), row % 4, row);
            m_rows.SetCellText(row, 1, "r" + std::to_string(row));
            m_rows.SetCellText(row, 2, std::to_string(row) + ".000");
            m_rows.SetCellText(row, 3, "d" + std::to_string(row));
        }
    }
    void Add(const std::string& address, const std::string& result, const std::string& time) {
        const int row = m_rows.RowCount();
        m_rows.InsertRow(row, address, StatusUnchecked, row);
        m_rows.SetCellText(row, 1, result);
        m_rows.SetCellText(row, 2, time);
        m_rows.SetCellText(row, 3, kUncheckedDate);
    }
    void Select(const Rows& rows) {
        for (int row : rows) {
            m_rows.SetRowSelected(row, true);
        }
    }
    Texts Column(int column) const {
        Texts texts;
        for (int row = 0; row < m_rows.RowCount(); ++row) {
            texts.push_back(m_rows.GetCellText(row, column));
        }
        return texts;
    }
    Rows Tags() const {
        Rows tags;
        for (int row = 0; row < m_rows.RowCount(); ++row) {
            tags.push_back(m_rows.GetRowTag(row));
        }
        return tags;
    }
    Rows Selected() const { return m_rows.SelectedRows(MaxListRows * 2); }

    MemoryRowStore m_rows;
    test::RecordingMessageService m_messages;
    ListCommands m_commands{m_rows, m_messages};
};

TEST_F(ListCommandsTest, AddOnAnEmptyListGivesAnUncheckedRowOpenForEditing) {
    const ListChange change = m_commands.AddAtEnd();
    ASSERT_EQ(m_rows.RowCount(), 1);
    const ProxyRow row = m_rows.GetRow(0);
    EXPECT_EQ(row.cells,
              (std::array<std::string, kColumnCount>{"0.0.0.0:0", "---", "--:---", "----/--/--(-:-:-)", "---"}));
    EXPECT_EQ(row.image, StatusUnchecked);
    EXPECT_EQ(row.tag, 0);
    EXPECT_EQ(change.editRow, 0);
    EXPECT_TRUE(change.markModified);
    EXPECT_TRUE(change.updateCounts);
}

TEST_F(ListCommandsTest, InsertGoesBeforeTheMarkedRow) {
    Fill(8);
    m_rows.SetRowSelected(5, true);
    const ListChange change = m_commands.InsertAtMark();
    ASSERT_EQ(m_rows.RowCount(), 9);
    EXPECT_EQ(m_rows.GetCellText(5, 0), kNewRowAddress);
    EXPECT_EQ(m_rows.GetRowTag(5), 5);
    EXPECT_EQ(m_rows.GetCellText(6, 0), AddressOf(5));
    EXPECT_EQ(change.editRow, 5);
    EXPECT_TRUE(change.markModified);
}

TEST_F(ListCommandsTest, InsertWithoutAMarkDoesNothing) {
    Fill(3);
    const ListChange change = m_commands.InsertAtMark();
    EXPECT_EQ(m_rows.RowCount(), 3);
    EXPECT_FALSE(change.markModified);
    EXPECT_EQ(change.editRow, -1);
}

TEST_F(ListCommandsTest, AFullListRefusesInsertAndAddWithTheLimitMessage) {
    Fill(MaxListRows);
    m_rows.SetRowSelected(10, true);
    for (const ListChange change : {m_commands.InsertAtMark(), m_commands.AddAtEnd()}) {
        EXPECT_FALSE(change.markModified);
        EXPECT_EQ(change.editRow, -1);
    }
    EXPECT_EQ(m_rows.RowCount(), MaxListRows);
    ASSERT_EQ(m_messages.Boxes().size(), 2U);
    for (const auto& box : m_messages.Boxes()) {
        EXPECT_EQ(box.text, texts::kRowLimit);
        EXPECT_EQ(box.buttons, MbButtons::Ok);
        EXPECT_EQ(box.icon, MbIcon::Warning);
    }
}

TEST_F(ListCommandsTest, DeleteRemovesExactlyTheSelectedRowsOfAFullList) {
    Fill(MaxListRows);
    Select({3, 200, 700});
    m_messages.QueueAnswer(MbResult::Ok);
    const ListChange change = m_commands.DeleteSelected();

    ASSERT_EQ(m_messages.Boxes().size(), 1U);
    EXPECT_EQ(m_messages.Boxes()[0].text, "選択されたアドレスを削除しますか？");
    EXPECT_EQ(m_messages.Boxes()[0].buttons, MbButtons::OkCancel);
    EXPECT_EQ(m_messages.Boxes()[0].icon, MbIcon::Warning);
    Texts expected;
    for (int n = 0; n < MaxListRows; ++n) {
        if (n != 3 && n != 200 && n != 700) {
            expected.push_back(AddressOf(n));
        }
    }
    EXPECT_EQ(Column(0), expected);
    EXPECT_TRUE(change.markModified);
    EXPECT_TRUE(change.updateCounts);
}

TEST_F(ListCommandsTest, DeleteAnsweredWithCancelKeepsEveryRow) {
    Fill(5);
    Select({1, 2});
    m_messages.QueueAnswer(MbResult::Cancel);
    const ListChange change = m_commands.DeleteSelected();
    EXPECT_EQ(m_rows.RowCount(), 5);
    EXPECT_FALSE(change.markModified);
}

TEST_F(ListCommandsTest, DeleteAsksEvenWhenThereIsNothingToDelete) {
    m_messages.QueueAnswer(MbResult::Ok);
    EXPECT_FALSE(m_commands.DeleteSelected().markModified);
    EXPECT_EQ(m_messages.Boxes().size(), 1U);
}

TEST_F(ListCommandsTest, MoveUpCarriesBlocksAndTheirSelection) {
    Fill(10);
    Select({2, 3, 7});
    const ListChange change = m_commands.MoveUp();

    EXPECT_EQ(Selected(), (Rows{1, 2, 6}));
    EXPECT_EQ(m_rows.SelectionMark(), 6);
    const Texts addresses = Column(0);
    EXPECT_EQ(addresses[1], AddressOf(2));
    EXPECT_EQ(addresses[2], AddressOf(3));
    EXPECT_EQ(addresses[3], AddressOf(1));
    EXPECT_EQ(addresses[6], AddressOf(7));
    EXPECT_EQ(addresses[7], AddressOf(6));
    // The swapped rows take their cells and images along and carry their new index as tag.
    EXPECT_EQ(m_rows.GetCellText(6, 2), "7.000");
    EXPECT_EQ(m_rows.GetRowImage(6), 7 % 4);
    EXPECT_EQ(m_rows.GetRowImage(7), 6 % 4);
    EXPECT_EQ(Tags(), (Rows{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(change.scrollTo, 2);
    EXPECT_TRUE(change.markModified);
}

TEST_F(ListCommandsTest, MoveDownCarriesBlocksAndTheirSelection) {
    Fill(10);
    Select({2, 3, 7});
    const ListChange change = m_commands.MoveDown();

    EXPECT_EQ(Selected(), (Rows{3, 4, 8}));
    const Texts addresses = Column(0);
    EXPECT_EQ(addresses[2], AddressOf(4));
    EXPECT_EQ(addresses[3], AddressOf(2));
    EXPECT_EQ(addresses[4], AddressOf(3));
    EXPECT_EQ(addresses[7], AddressOf(8));
    EXPECT_EQ(addresses[8], AddressOf(7));
    EXPECT_EQ(change.scrollTo, 7);
    EXPECT_TRUE(change.markModified);
}

TEST_F(ListCommandsTest, MovesStopAtTheEdgesWithoutAnyChange) {
    Fill(6);
    Select({0, 3});
    const Texts before = Column(0);
    EXPECT_FALSE(m_commands.MoveUp().markModified);
    EXPECT_EQ(Column(0), before);
    EXPECT_EQ(Selected(), (Rows{0, 3}));

    m_rows.SetRowSelected(0, false);
    m_rows.SetRowSelected(5, true);
    EXPECT_FALSE(m_commands.MoveDown().markModified);
    EXPECT_EQ(Column(0), before);
    EXPECT_EQ(Selected(), (Rows{3, 5}));

    m_rows.SetRowSelected(3, false);
    m_rows.SetRowSelected(5, false);
    EXPECT_FALSE(m_commands.MoveUp().markModified);
    EXPECT_FALSE(m_commands.MoveDown().markModified);
}

TEST_F(ListCommandsTest, SelectAllLeavesTheMarkOnTheLastRowAndTheDocumentUnchanged) {
    Fill(4);
    const ListChange change = m_commands.SelectAll();
    EXPECT_EQ(Selected(), (Rows{0, 1, 2, 3}));
    EXPECT_EQ(m_rows.SelectionMark(), 3);
    EXPECT_FALSE(change.markModified);
    EXPECT_TRUE(change.updateCounts);
}

TEST_F(ListCommandsTest, ClearResultsKeepsAddressesAndRenumbers) {
    Fill(3);
    m_rows.SetRowTag(1, 42);
    m_messages.QueueAnswer(MbResult::Ok);
    const ListChange change = m_commands.ClearResults();

    ASSERT_EQ(m_messages.Boxes().size(), 1U);
    EXPECT_EQ(m_messages.Boxes()[0].text,
              "これまでに取得した情報を削除します\n(ﾌﾟﾛｷｼの有効/無効、ﾚｽﾎﾟﾝｽﾀｲﾑ、ﾁｪｯｸ日時)\n"
              "よろしいですか？");
    EXPECT_EQ(m_messages.Boxes()[0].buttons, MbButtons::OkCancel);
    EXPECT_EQ(m_messages.Boxes()[0].icon, MbIcon::Warning);
    for (int row = 0; row < 3; ++row) {
        const ProxyRow value = m_rows.GetRow(row);
        EXPECT_EQ(value.cells,
                  (std::array<std::string, kColumnCount>{AddressOf(row), "---", "--:---", "----/--/--(-:-:-)", "---"}));
        EXPECT_EQ(value.image, StatusUnchecked);
        EXPECT_EQ(value.tag, row);
    }
    EXPECT_TRUE(change.markModified);
}

TEST_F(ListCommandsTest, ClearResultsAnsweredWithCancelKeepsTheResults) {
    Fill(3);
    m_messages.QueueAnswer(MbResult::Cancel);
    EXPECT_FALSE(m_commands.ClearResults().markModified);
    EXPECT_EQ(m_rows.GetCellText(2, 1), "r2");
}

TEST_F(ListCommandsTest, EditOpensTheMarkedRowAndCountsAsAChange) {
    Fill(3);
    EXPECT_FALSE(m_commands.Edit().markModified); // no mark yet
    m_rows.SetRowSelected(2, true);
    const ListChange change = m_commands.Edit();
    EXPECT_EQ(change.editRow, 2);
    EXPECT_TRUE(change.markModified);
    EXPECT_TRUE(change.updateCounts);
}

TEST_F(ListCommandsTest, AddressesSortAsTextIgnoringCaseInBothDirections) {
    Add("9.0.0.1:80", "NG", "--:---");
    Add("10.0.0.1:80", "ok", "1.000");
    Add("proxy.B:8080", "Non-Anonymous", "0.500");
    Add("Proxy.a:8080", "Anonymous(A)", "2.000");

    EXPECT_TRUE(m_commands.NextSortAscending(0));
    EXPECT_TRUE(m_commands.Sort(0).markModified);
    EXPECT_EQ(Column(0), (Texts{"10.0.0.1:80", "9.0.0.1:80", "Proxy.a:8080", "proxy.B:8080"}));
    EXPECT_EQ(Tags(), (Rows{1, 0, 3, 2})); // where each row stood before
    EXPECT_FALSE(m_commands.NextSortAscending(0));

    m_commands.Sort(0);
    EXPECT_EQ(Column(0), (Texts{"proxy.B:8080", "Proxy.a:8080", "9.0.0.1:80", "10.0.0.1:80"}));
    EXPECT_EQ(m_commands.SortColumn(), 0);
}

TEST_F(ListCommandsTest, ResponseTimesSortAsNumbersWithUncheckedAsZero) {
    Add("a:1", "OK", "12.000");
    Add("b:1", "NG", "--:---");
    Add("c:1", "OK", "9.500");
    Add("d:1", "OK", "0.056");
    Add("e:1", "OK", "-1");

    m_commands.Sort(0); // the address column's direction is its own
    m_commands.Sort(2);
    EXPECT_EQ(Column(2), (Texts{"-1", "--:---", "0.056", "9.500", "12.000"}));
    m_commands.Sort(2);
    EXPECT_EQ(Column(2), (Texts{"12.000", "9.500", "0.056", "--:---", "-1"}));
    EXPECT_EQ(m_commands.SortColumn(), 2);
    EXPECT_TRUE(m_commands.NextSortAscending(2));
    EXPECT_FALSE(m_commands.NextSortAscending(0));
}

TEST_F(ListCommandsTest, SelectionAndMarkFollowTheirRowsThroughASort) {
    Add("d:1", "---", "--:---");
    Add("c:1", "---", "--:---");
    Add("b:1", "---", "--:---");
    Add("a:1", "---", "--:---");
    Select({0, 1});
    m_rows.SetRowSelected(2, true);
    m_rows.SetRowSelected(2, false); // the mark rests on an unselected row
    m_commands.Sort(0);

    EXPECT_EQ(Column(0), (Texts{"a:1", "b:1", "c:1", "d:1"}));
    EXPECT_EQ(Selected(), (Rows{2, 3}));
    EXPECT_EQ(m_rows.SelectionMark(), 1);
}

TEST_F(ListCommandsTest, RowsThatCompareEqualKeepTheirOrder) {
    Add("x:1", "NG", "--:---");
    Add("y:1", "ng", "--:---");
    Add("z:1", "Ng", "--:---");
    m_commands.Sort(1);
    EXPECT_EQ(Column(0), (Texts{"x:1", "y:1", "z:1"}));
    m_commands.Sort(2);
    EXPECT_EQ(Column(0), (Texts{"x:1", "y:1", "z:1"}));
}

// Rows a filter hides as the window hides them: not shown, and never selected.
class FilteredRows final : public MemoryRowStore {
public:
    RowFilter filter;
    bool IsRowShown(int row) const override {
        return filter.Passes(GetCellText(row, 0), GetCellText(row, 1), std::nullopt);
    }
    bool IsRowSelected(int row) const override { return MemoryRowStore::IsRowSelected(row) && IsRowShown(row); }
};

// Row n of the list: even rows are plain HTTP, odd ones SOCKS5, so that a kind filter hides every other row.
const char* const kGrades[] = {"Anonymous(A)", "NG", "---", "Non-Anonymous", "NG(Tampered)",
                               "OK",           "Ng", "???", "anonymous(b)",  "ng(tampered)"};
std::string GradedAddress(int n) {
    return (n % 2 == 0 ? "127.0.0." : "socks5://127.0.0.") + std::to_string(n) + ":1080";
}

struct GradeCase {
    const char* name;
    int command; // cmd-like: 0 select live, 1 select NG, 2 delete NG, 3 select all, 4 move up, 5 move down
    KindChoice shown;
    Rows before; // selected before
    MbResult answer;
    Rows selected;  // after, as the list's rows
    Rows remaining; // after, each row by the n it was filled with
    int asked;      // the count the question named; -1: no question
};

class GradeCommandsTest : public ::testing::TestWithParam<GradeCase> {
protected:
    GradeCommandsTest() {
        for (int n = 0; n < 10; ++n) {
            m_rows.InsertRow(n, GradedAddress(n), StatusUnchecked, n);
            m_rows.SetCellText(n, 1, kGrades[n]);
        }
    }
    ListChange Run(int command) {
        switch (command) {
        case 0:
            return m_commands.SelectLive();
        case 1:
            return m_commands.SelectNg();
        case 2:
            return m_commands.DeleteNg();
        case 3:
            return m_commands.SelectAll();
        case 4:
            return m_commands.MoveUp();
        default:
            return m_commands.MoveDown();
        }
    }
    Rows Remaining() const {
        Rows left;
        for (int row = 0; row < m_rows.RowCount(); ++row) {
            const std::string address = m_rows.GetCellText(row, 0);
            left.push_back(std::stoi(address.substr(address.rfind('.') + 1)));
        }
        return left;
    }

    FilteredRows m_rows;
    test::RecordingMessageService m_messages;
    ListCommands m_commands{m_rows, m_messages};
};

TEST_P(GradeCommandsTest, ActsOnTheShownRowsOfTheGrade) {
    const GradeCase& c = GetParam();
    for (int row : c.before) {
        m_rows.SetRowSelected(row, true);
    }
    m_rows.filter.kind = c.shown;
    m_messages.QueueAnswer(c.answer);
    const ListChange change = Run(c.command);
    EXPECT_EQ(m_rows.SelectedRows(MaxListRows), c.selected);
    EXPECT_EQ(Remaining(), c.remaining);
    ASSERT_EQ(m_messages.Boxes().size(), c.asked < 0 ? 0U : 1U);
    if (c.asked >= 0) {
        EXPECT_EQ(m_messages.Boxes()[0].text, AskDeleteNgRows(c.asked));
        EXPECT_EQ(m_messages.Boxes()[0].buttons, MbButtons::OkCancel);
        EXPECT_EQ(m_messages.Boxes()[0].icon, MbIcon::Warning);
    }
    EXPECT_EQ(change.markModified, c.remaining != Rows({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

const Rows kAllRows = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
constexpr KindChoice kEvery = KindChoice::All;
constexpr KindChoice kEven = KindChoice::Http;
constexpr MbResult kOk = MbResult::Ok;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, GradeCommandsTest, ::testing::Values(
    GradeCase{"SelectLiveReplacesTheSelection", 0, kEvery, {2, 7}, kOk, {0, 3, 5, 8}, kAllRows, -1},
    GradeCase{"SelectNgTakesTamperedAndAnyCase", 1, kEvery, {0}, kOk, {1, 4, 6, 9}, kAllRows, -1},
    GradeCase{"SelectLiveLeavesHiddenRowsOut", 0, kEven, {}, kOk, {0, 8}, kAllRows, -1},
    GradeCase{"SelectNgLeavesHiddenRowsOut", 1, kEven, {}, kOk, {4, 6}, kAllRows, -1},
    GradeCase{"DeleteNgRemovesEveryNgRow", 2, kEvery, {}, kOk, {}, {0, 2, 3, 5, 7, 8}, 4},
    GradeCase{"DeleteNgKeepsHiddenNgRows", 2, kEven, {}, kOk, {}, {0, 1, 2, 3, 5, 7, 8, 9}, 2},
    GradeCase{"DeleteNgCancelledKeepsEveryRow", 2, kEvery, {}, MbResult::Cancel, {}, kAllRows, 4},
    GradeCase{"SelectAllLeavesHiddenRowsOut", 3, kEven, {}, kOk, {0, 2, 4, 6, 8}, kAllRows, -1},
    GradeCase{"MoveUpPassesOverHiddenRows", 4, kEven, {2, 6}, kOk, {0, 4}, {2, 1, 0, 3, 6, 5, 4, 7, 8, 9}, -1},
    GradeCase{"MoveDownPassesOverHiddenRows", 5, kEven, {6}, kOk, {8}, {0, 1, 2, 3, 4, 5, 8, 7, 6, 9}, -1}),
    [](const ::testing::TestParamInfo<GradeCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ListCommandsTest, DeleteNgWithoutNgRowsAsksNothing) {
    Add("127.0.0.1:80", "Anonymous(A)", "1.000");
    Add("127.0.0.2:80", "---", "--:---");
    EXPECT_FALSE(m_commands.DeleteNg().markModified);
    EXPECT_TRUE(m_messages.Boxes().empty());
    EXPECT_EQ(m_rows.RowCount(), 2);
}

struct NumberCase {
    const char* text;
    double value;
};

class LeadingNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(LeadingNumberTest, ReadsTheLongestLeadingNumber) {
    EXPECT_DOUBLE_EQ(ListCommands::LeadingNumber(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, LeadingNumberTest,
                         ::testing::Values(NumberCase{"1.234", 1.234}, NumberCase{"12.000", 12.0},
                                           NumberCase{"--:---", 0.0}, NumberCase{"---", 0.0}, NumberCase{"", 0.0},
                                           NumberCase{" 3.5s", 3.5}, NumberCase{"-2.5", -2.5}, NumberCase{".5", 0.5},
                                           NumberCase{"7.", 7.0}, NumberCase{"1e2", 100.0}, NumberCase{"2e", 2.0},
                                           NumberCase{"0e9999", 0.0}, NumberCase{"1.2.3", 1.2}, NumberCase{"+4", 4.0}));

} // namespace
} // namespace zandel
