#pragma once

#include <array>
#include <string>
#include <vector>

#include <QIcon>

#include "core/list/RowStore.h"
#include "ui/util/UiBridge.h"

class QTreeView;

namespace zandel::ui {

class ListModel;

// The rows of the proxy list as the document, the list commands and the check run reach them, over the list's model
// (store rows) and its view's selection (view rows). Every call from another thread is carried to the
// user-interface thread by the bridge, which this object owns, and waits there for its turn.
class ListRows final : public IRowStore {
public:
    ListRows(QTreeView& view, ListModel& model);

    UiBridge& Bridge() { return m_bridge; }
    ListModel& Model() { return m_model; }
    // The selection or the rows changed: the selected count is taken again when next asked for.
    void Recount() { m_selectedCount = -1; }
    // Which rows the filter lets through (by store row; empty: all). `deselect`: a row hidden leaves the selection;
    // otherwise it keeps it, out of sight, until it shows again.
    void Show(const std::vector<bool>& shown, bool deselect);

    int RowCount() const override;
    void InsertRow(int index, const std::string& address, int image, int tag) override;
    void AppendRows(const std::vector<ProxyRow>& rows) override;
    std::string GetCellText(int row, int column) const override;
    void SetCellText(int row, int column, const std::string& text) override;
    int GetRowImage(int row) const override;
    void SetRowImage(int row, int image) override;
    int GetRowTag(int row) const override;
    void SetRowTag(int row, int tag) override;
    void RemoveRow(int row) override;
    void RemoveRows(const std::vector<int>& rows) override;
    void RemoveAllRows() override;
    void Reorder(const std::vector<int>& order) override;
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
    bool Valid(int row) const;
    // `result`: only the cells a check's result carries (see ResultWritesColumn).
    void WriteRow(int row, const ProxyRow& value, bool result);
    // The selected rows (store rows, ascending) and the marked one, hidden selected rows included.
    struct Selection {
        std::vector<int> rows;
        int mark = -1;
        int scroll = 0;
    };
    Selection TakeSelection() const;
    void DeselectRows(const std::vector<int>& rows) const;
    // Takes the rows a run has ended off the selection (see SetRowSelected).
    void Settle() const;
    // Selects exactly these store rows (ascending) as ranges of view rows and puts the mark on `mark`, the view
    // staying where it is.
    void PutSelection(const std::vector<int>& rows, int mark, int scroll = -1);

    QTreeView& m_view;
    ListModel& m_model;
    mutable UiBridge m_bridge;
    mutable int m_selectedCount = -1;     // -1: to be counted again
    mutable std::vector<int> m_deselects; // store rows to leave the selection at the end of the turn
};

} // namespace zandel::ui
