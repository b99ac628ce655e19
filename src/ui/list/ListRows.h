#pragma once

#include <array>
#include <string>
#include <vector>

#include <QIcon>

#include "core/list/RowStore.h"
#include "ui/util/UiBridge.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace zandel::ui {

// The rows of the proxy list as the document, the list commands and the check run reach them: one item per
// row, each cell's bytes kept as stored. Every call from another thread is carried to the user-interface
// thread by the bridge, which this object owns, and waits there for its turn.
class ListRows final : public IRowStore {
public:
    explicit ListRows(QTreeWidget& list);

    UiBridge& Bridge() { return m_bridge; }
    QTreeWidgetItem* Item(int row) const;
    // `cp932`: the bytes are CP932 text from their file; otherwise each text is decoded by its own bytes.
    void WriteCell(QTreeWidgetItem* item, int column, const std::string& bytes, bool cp932 = false);
    // The selection or the rows changed: the selected count is taken again when next asked for.
    void Recount() { m_selectedCount = -1; }

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
    bool IsRowSelected(int row) const override;
    void SetRowSelected(int row, bool selected) override;
    void SelectAllRows() override;
    void SelectOnly(const std::vector<int>& rows) override;
    int SelectionMark() const override;
    bool IsRowShown(int row) const override;
    ProxyRow GetRow(int row) const override;
    void SetRow(int row, const ProxyRow& value) override;
    void SetRowResult(int row, const ProxyRow& value) override;
    void MarkCp932Rows(int first, int count) override;
    std::vector<std::string> CellTexts(const std::vector<int>& rows, int column) const override;
    std::vector<int> SelectedRows(int limit) const override;
    // Counted once after each change of the selection or the rows, so that the status bar's idle refresh
    // costs nothing.
    int SelectedCount() const override;

private:
    void WriteImage(QTreeWidgetItem* item, int image);
    // `result`: only the cells a check's result carries (see ResultWritesColumn).
    void WriteRow(QTreeWidgetItem* item, const ProxyRow& value, bool result);

    QTreeWidget& m_list;
    mutable UiBridge m_bridge;
    std::array<QIcon, kStatusImageCount> m_statusIcons;
    mutable int m_selectedCount = -1; // -1: to be counted again
};

} // namespace zandel::ui
