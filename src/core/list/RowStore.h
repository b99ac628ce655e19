#pragma once

#include <string>
#include <vector>

#include "core/list/CompactRows.h"
#include "core/list/ProxyRow.h"

namespace zandel {

// The rows of the proxy list live in the list window; the document, the check run and the list commands
// reach them only through these operations. The desktop program implements them over its list control
// (carrying calls from other threads to the user-interface thread); MemoryRowStore serves the console tool
// and the tests. Cell texts are at most 259 bytes.
class IRowStore {
public:
    virtual ~IRowStore() = default;

    virtual int RowCount() const = 0;
    virtual void InsertRow(int index, const std::string& address, int image, int tag) = 0;
    // Whole rows after the last one (cells, image, tag, reason and marks as given), in one step where the store can.
    virtual void AppendRows(const std::vector<ProxyRow>& rows);
    virtual std::string GetCellText(int row, int column) const = 0;
    virtual void SetCellText(int row, int column, const std::string& text) = 0;
    virtual int GetRowImage(int row) const = 0;
    virtual void SetRowImage(int row, int image) = 0;
    virtual int GetRowTag(int row) const = 0;
    virtual void SetRowTag(int row, int tag) = 0;
    virtual void RemoveRow(int row) = 0;
    virtual void RemoveAllRows() = 0;
    // The given rows, in ascending order; the mark moves as RemoveRow moves it.
    virtual void RemoveRows(const std::vector<int>& rows);
    // Row k becomes the row that stood at order[k], its tag set to order[k]; each row keeps its cells, image and
    // selection, and the selection mark stays on its row. `order` holds every row once.
    virtual void Reorder(const std::vector<int>& order);

    // A row the list's filter hides reads as unselected: the commands act on the rows the user sees.
    virtual bool IsRowSelected(int row) const = 0;
    // Sets or takes away both the selected and the focused state; the row becomes the selection mark
    // when it is given the state.
    virtual void SetRowSelected(int row, bool selected) = 0;
    // Every row selected, in list order, the last one ending as the selection mark.
    virtual void SelectAllRows();
    // Exactly these rows selected (list order), the last one ending as the selection mark; the view stays where
    // it is.
    virtual void SelectOnly(const std::vector<int>& rows);
    // The row of the user's last selection action, or -1.
    virtual int SelectionMark() const = 0;
    // False for a row the list's filter hides.
    virtual bool IsRowShown(int /*row*/) const { return true; }

    // The `count` rows from `first` on were read from a file that is not UTF-8 as a whole: their cells are
    // CP932 text until they are given other bytes. Only the desktop list shows the text.
    virtual void MarkCp932Rows(int /*first*/, int /*count*/) {}

    // Whole rows at once, so that a write from another thread is one step on the user-interface thread.
    virtual ProxyRow GetRow(int row) const;
    virtual void SetRow(int row, const ProxyRow& value);
    // A check's result: the cells it has (see ResultWritesColumn) and the image; the tag stays.
    virtual void SetRowResult(int row, const ProxyRow& value);
    // One column of the given rows, in their order.
    virtual std::vector<std::string> CellTexts(const std::vector<int>& rows, int column) const;
    // Indexes of the selected rows in list order, at most `limit`.
    virtual std::vector<int> SelectedRows(int limit) const;
    virtual int SelectedCount() const { return static_cast<int>(SelectedRows(MaxListRows * 100).size()); }
};

// One column of a run's rows, read from the store a batch at a time as the run reaches them, so that a long
// run holds the texts of one batch rather than of every row, and a window is asked once per batch rather
// than once per row. A store that answers with none (a window that has begun to close) gives empty texts.
class RowCellReader final {
public:
    static constexpr std::size_t kBatch = MaxListRows;
    // The store and the rows must outlive the reader.
    RowCellReader(const IRowStore& store, const std::vector<int>& rows, int column);
    // The text of rows[k]; fastest with k counting up.
    std::string At(std::size_t k);

private:
    const IRowStore& m_store;
    const std::vector<int>& m_rows;
    int m_column;
    std::size_t m_first = 0;
    bool m_read = false;
    std::vector<std::string> m_batch;
};

// Rows in memory, compact (see CompactRows), for the console tool and the tests (which wrap it to add locking
// or to fake a closed window).
class MemoryRowStore : public IRowStore {
public:
    int RowCount() const override;
    void InsertRow(int index, const std::string& address, int image, int tag) override;
    std::string GetCellText(int row, int column) const override;
    void SetCellText(int row, int column, const std::string& text) override;
    int GetRowImage(int row) const override;
    void SetRowImage(int row, int image) override;
    int GetRowTag(int row) const override;
    void SetRowTag(int row, int tag) override;
    void RemoveRow(int row) override;
    void RemoveAllRows() override;
    void RemoveRows(const std::vector<int>& rows) override;
    void Reorder(const std::vector<int>& order) override;
    bool IsRowSelected(int row) const override;
    void SetRowSelected(int row, bool selected) override;
    int SelectionMark() const override;

    void SetSelectionMark(int row) { m_mark = row; }

private:
    bool Valid(int row) const { return row >= 0 && row < m_rows.Count(); }

    CompactRows m_rows;
    int m_mark = -1;
};

} // namespace zandel
