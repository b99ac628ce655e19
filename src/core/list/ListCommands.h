#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/list/ColumnFigures.h"
#include "core/list/ProxyRow.h"

namespace zandel {

class IMessageService;
class IRowStore;

inline constexpr const char* kAskDeleteRows = "選択されたアドレスを削除しますか？";
// "NGのアドレス(12件)を削除しますか？"
std::string AskDeleteNgRows(int count);
inline constexpr const char* kAskClearResults =
    "これまでに取得した情報を削除します\n(ﾌﾟﾛｷｼの有効/無効、ﾚｽﾎﾟﾝｽﾀｲﾑ、ﾁｪｯｸ日時)\nよろしいですか？";

// What a list command leaves for the window to do once the rows have changed.
struct ListChange {
    bool markModified = false; // the document's modified mark is set
    bool updateCounts = false; // the status-bar counts are refreshed
    int editRow = -1;          // the in-place edit of this row's address begins
    int scrollTo = -1;         // this row is scrolled into view
};

// The row commands of the proxy list: what each does to the rows, to the selection and to the document's
// modified mark. Works on any row store; the list window carries the outcome over to its control.
class ListCommands final {
public:
    ListCommands(IRowStore& rows, IMessageService& messages);
    ListCommands(const ListCommands&) = delete;
    ListCommands& operator=(const ListCommands&) = delete;

    ListChange Edit() const;
    ListChange InsertAtMark();
    ListChange AddAtEnd();
    ListChange DeleteSelected();
    ListChange SelectAll();
    // The rows on view whose check found the proxy live, or NG (NG(Tampered) too), as the only selection.
    ListChange SelectLive();
    ListChange SelectNg();
    // The NG rows on view, after the question; none, no question.
    ListChange DeleteNg();
    ListChange ClearResults();
    ListChange MoveUp();
    ListChange MoveDown();
    // Sorts by the column in its own direction, then turns that direction round for the next time. The uptime
    // and median columns sort by the history's figures, the rows without any last.
    ListChange Sort(int column, const IColumnFigures* history = nullptr);

    int SortColumn() const { return m_sortColumn; }
    // The most rows Insert and Add may make (the list's limit).
    void SetMaxRows(int rows) { m_maxRows = rows; }
    bool NextSortAscending(int column) const;

    // The comparison of the sort in ascending order: text ignoring letter case, or for the response time
    // the leading decimal number (0 when there is none).
    static int CompareCells(int column, std::string_view a, std::string_view b);
    static double LeadingNumber(std::string_view text);

private:
    ListChange InsertNewRow(int index);
    ListChange SelectGrade(bool (*wanted)(ResultGrade));
    // The rows on view (every row without a filter) whose result passes `wanted`, in list order.
    std::vector<int> ShownRows(bool (*wanted)(ResultGrade) = nullptr) const;
    std::vector<std::size_t> SelectedPositions(const std::vector<int>& shown) const;
    void SwapRows(int upper, int lower);

    IRowStore& m_rows;
    IMessageService& m_messages;
    int m_sortColumn = 0;
    int m_maxRows = MaxListRows;
    // Every column sorts ascending on its first click.
    std::array<bool, kShownColumnCount> m_ascending = [] {
        std::array<bool, kShownColumnCount> all{};
        all.fill(true);
        return all;
    }();
};

} // namespace zandel
