#include "ui/list/ListRows.h"

#include <algorithm>
#include <utility>

#include <QScrollBar>
#include <QSignalBlocker>
#include <QThread>
#include <QTreeView>

#include "ui/list/ListModel.h"

namespace zandel::ui {

namespace {

// Moves the current index without the view following it: the rows chosen may lie anywhere in a long list, and the
// user watches the rows where they left the view.
void SetMarkQuietly(QTreeView& view, const QModelIndex& index) {
    const bool scrolls = view.hasAutoScroll();
    view.setAutoScroll(false);
    view.selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    view.setAutoScroll(scrolls);
}

// Puts `chosen` in the selection's place. Told as a change, Qt would work out what changed between two selections
// of many ranges by going through the product of the two, and the view the area of each range to repaint by going
// through the rows for each: seconds for a run's thousands of ranges. So the change is made unheard, then told as
// one with nothing in it (the selected count is taken again), and the view repainted whole, which paints only the
// rows in sight; not at all when no row in sight changed (a run deselects its ended rows many times a second, mostly
// out of sight).
void ReplaceSelection(QAbstractItemView& view, const QItemSelection& chosen, bool repaint = true) {
    QItemSelectionModel& selection = *view.selectionModel();
    {
        const QSignalBlocker unheard(selection);
        selection.clearSelection();
        selection.select(chosen, QItemSelectionModel::Select);
    }
    Q_EMIT selection.selectionChanged(QItemSelection(), QItemSelection());
    if (repaint) {
        view.viewport()->update();
    }
}

} // namespace

ListRows::ListRows(QTreeView& view, ListModel& model) : m_view(view), m_model(model), m_bridge(&view) {
    m_bridge.AfterEachTurn([this] { Settle(); });
}

void ListRows::Settle() const {
    if (!m_deselects.empty()) {
        DeselectRows(std::exchange(m_deselects, {}));
    }
}

bool ListRows::Valid(int row) const {
    return row >= 0 && row < m_model.Count();
}

void ListRows::WriteRow(int row, const ProxyRow& value, bool result) {
    for (int column = 0; column < kColumnCount; ++column) {
        if (result && !ResultWritesColumn(value, column)) {
            continue;
        }
        const auto index = static_cast<std::size_t>(column);
        m_model.SetCell(row, column, value.cells[index], value.cp932[index]);
    }
    m_model.SetImage(row, value.image);
    // The reason of the row's last grade; a row written anew, or a check without one, leaves no stale tip.
    m_model.SetReason(row, value.reason);
}

int ListRows::RowCount() const {
    return m_bridge.Call([this] { return m_model.Count(); });
}

void ListRows::InsertRow(int index, const std::string& address, int image, int tag) {
    m_bridge.Call([&] {
        Settle();
        m_model.Insert(index, address, image, tag);
    });
}

void ListRows::AppendRows(const std::vector<ProxyRow>& rows) {
    m_bridge.Call([&] {
        Settle();
        m_model.Append(rows);
    });
}

std::string ListRows::GetCellText(int row, int column) const {
    return m_bridge.Call([&]() -> std::string {
        return Valid(row) && column >= 0 && column < kColumnCount ? m_model.Cell(row, column) : std::string();
    });
}

void ListRows::SetCellText(int row, int column, const std::string& text) {
    m_bridge.Post([this, row, column, text] {
        if (Valid(row) && column >= 0 && column < kColumnCount) {
            m_model.SetCell(row, column, text);
        }
    });
}

int ListRows::GetRowImage(int row) const {
    return m_bridge.Call([&] { return Valid(row) ? m_model.Image(row) : 0; });
}

void ListRows::SetRowImage(int row, int image) {
    m_bridge.Post([this, row, image] {
        if (Valid(row)) {
            m_model.SetImage(row, image);
        }
    });
}

int ListRows::GetRowTag(int row) const {
    return m_bridge.Call([&] { return Valid(row) ? m_model.Tag(row) : 0; });
}

void ListRows::SetRowTag(int row, int tag) {
    m_bridge.Post([this, row, tag] {
        if (Valid(row)) {
            m_model.SetTag(row, tag);
        }
    });
}

void ListRows::RemoveRow(int row) {
    RemoveRows({row});
}

// One run of rows goes as the view expects rows to go; rows spread over the list make the view start afresh, with
// the selection and the mark kept on their rows (or, for the mark, on the row that takes its place).
void ListRows::RemoveRows(const std::vector<int>& rows) {
    m_bridge.Call([&] {
        Settle();
        std::vector<int> valid;
        std::copy_if(rows.begin(), rows.end(), std::back_inserter(valid), [this](int row) { return Valid(row); });
        if (valid.empty()) {
            return;
        }
        if (valid.back() - valid.front() + 1 == static_cast<int>(valid.size())) {
            const QModelIndex current = m_view.currentIndex();
            const int mark = current.isValid() ? m_model.StoreRow(current.row()) : -1;
            m_model.Remove(valid);
            // A removed mark passes to the row that takes its place (or the new last row), not to the one above.
            if (mark >= valid.front() && mark <= valid.back()) {
                const int view = m_model.ViewRow(std::min(valid.front(), m_model.Count() - 1));
                if (view >= 0) {
                    SetMarkQuietly(m_view, m_model.index(view, 0));
                }
            }
            return;
        }
        const Selection before = TakeSelection();
        m_model.Remove(valid);
        const auto newRow = [&](int row) {
            return row - static_cast<int>(std::lower_bound(valid.begin(), valid.end(), row) - valid.begin());
        };
        std::vector<int> kept;
        for (int row : before.rows) {
            if (!std::binary_search(valid.begin(), valid.end(), row)) {
                kept.push_back(newRow(row));
            }
        }
        const int mark = before.mark < 0 ? -1 : std::min(newRow(before.mark), m_model.Count() - 1);
        PutSelection(kept, mark, before.scroll);
    });
}

void ListRows::RemoveAllRows() {
    m_bridge.Call([this] {
        m_deselects.clear();
        m_model.Clear();
    });
}

void ListRows::Reorder(const std::vector<int>& order) {
    m_bridge.Call([&] {
        Settle();
        if (order.size() != static_cast<std::size_t>(m_model.Count())) {
            return;
        }
        const Selection before = TakeSelection();
        std::vector<int> newRowOf(order.size());
        for (std::size_t position = 0; position < order.size(); ++position) {
            newRowOf[static_cast<std::size_t>(order[position])] = static_cast<int>(position);
        }
        m_model.Reorder(order);
        for (std::size_t position = 0; position < order.size(); ++position) {
            m_model.SetTag(static_cast<int>(position), order[position]);
        }
        std::vector<int> selected;
        selected.reserve(before.rows.size());
        for (int row : before.rows) {
            selected.push_back(newRowOf[static_cast<std::size_t>(row)]);
        }
        std::sort(selected.begin(), selected.end());
        PutSelection(selected, before.mark < 0 ? -1 : newRowOf[static_cast<std::size_t>(before.mark)], before.scroll);
    });
}

void ListRows::Show(const std::vector<bool>& shown, bool deselect) {
    Settle();
    const Selection before = TakeSelection();
    m_model.SetShown(shown);
    std::vector<int> selected;
    for (int row : before.rows) {
        const bool hidden = m_model.ViewRow(row) < 0;
        m_model.SetHiddenSelected(row, hidden && !deselect);
        if (!hidden) {
            selected.push_back(row);
        }
    }
    PutSelection(selected, before.mark, before.scroll);
}

ListRows::Selection ListRows::TakeSelection() const {
    Selection taken;
    taken.rows = SelectedRows(m_model.Count());
    // Rows a filter hides keep their selection in the model; a reordering or a removal carries them along.
    if (m_model.Filtered()) {
        for (int row = 0; row < m_model.Count(); ++row) {
            if (m_model.ViewRow(row) < 0 && m_model.HiddenSelected(row)) {
                taken.rows.push_back(row);
            }
        }
        std::sort(taken.rows.begin(), taken.rows.end());
    }
    const QModelIndex current = m_view.currentIndex();
    taken.mark = current.isValid() ? m_model.StoreRow(current.row()) : m_model.HiddenMark();
    taken.scroll = m_view.verticalScrollBar()->value();
    return taken;
}

void ListRows::PutSelection(const std::vector<int>& rows, int mark, int scroll) {
    QItemSelection chosen;
    const int lastColumn = m_model.columnCount() - 1;
    int runStart = -1;
    int runEnd = -1;
    const auto close = [&] {
        if (runStart >= 0) {
            chosen.select(m_model.index(runStart, 0), m_model.index(runEnd, lastColumn));
        }
    };
    for (int row : rows) {
        const int view = m_model.ViewRow(row);
        if (view < 0) {
            continue;
        }
        if (view != runEnd + 1 || runStart < 0) {
            close();
            runStart = view;
        }
        runEnd = view;
    }
    close();
    ReplaceSelection(m_view, chosen);
    // A mark on a hidden row waits there until the row shows again.
    const int markView = m_model.ViewRow(mark);
    m_model.SetHiddenMark(markView < 0 ? mark : -1);
    if (markView >= 0) {
        SetMarkQuietly(m_view, m_model.index(markView, 0));
    }
    if (scroll >= 0) {
        m_view.verticalScrollBar()->setValue(scroll);
    }
    m_selectedCount = -1;
}

bool ListRows::IsRowSelected(int row) const {
    return m_bridge.Call([&] {
        Settle();
        const int view = m_model.ViewRow(row);
        return view >= 0 && m_view.selectionModel()->isRowSelected(view, QModelIndex());
    });
}

bool ListRows::IsRowShown(int row) const {
    return m_bridge.Call([&] { return m_model.ViewRow(row) >= 0; });
}

void ListRows::SetRowSelected(int row, bool selected) {
    if (!selected) {
        // A run deselects each row as it ends, thousands at once when a run of thousands stops: they are taken off
        // the selection together at the end of the bridge's turn, and before anything that reads or moves rows.
        if (QThread::currentThread() == m_view.thread()) {
            m_bridge.Flush();
            Settle();
            DeselectRows({row});
        } else {
            m_bridge.Post([this, row] { m_deselects.push_back(row); });
        }
        return;
    }
    m_bridge.Post([this, row] {
        Settle();
        if (!Valid(row)) {
            return;
        }
        const int view = m_model.ViewRow(row);
        if (view < 0) {
            m_model.SetHiddenSelected(row, true);
            return;
        }
        // Quietly: a run selects again the rows it will check again (their judge was down), anywhere in the list, and
        // the view stays where the user left it; a command that wants its row seen scrolls to it itself.
        const QModelIndex index = m_model.index(view, 0);
        SetMarkQuietly(m_view, index);
        m_view.selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    });
}

// The selection less the rows, put back at once: each change goes through every range of the selection, a run of
// many leaves one range for each row still running, and Qt's own deselect of many ranges from many costs the
// product of the two.
void ListRows::DeselectRows(const std::vector<int>& rows) const {
    std::vector<int> drop;
    drop.reserve(rows.size());
    for (int row : rows) {
        if (!Valid(row)) {
            continue;
        }
        const int view = m_model.ViewRow(row);
        if (view < 0) {
            m_model.SetHiddenSelected(row, false);
        } else {
            drop.push_back(view);
        }
    }
    std::sort(drop.begin(), drop.end());
    const auto [firstSeen, lastSeen] = m_model.RowsInView();
    const auto inView = std::lower_bound(drop.begin(), drop.end(), firstSeen);
    const bool seen = inView != drop.end() && *inView <= lastSeen;
    std::vector<std::pair<int, int>> spans; // selected view rows, first and last
    for (const QItemSelectionRange& range : m_view.selectionModel()->selection()) {
        spans.emplace_back(range.top(), range.bottom());
    }
    std::sort(spans.begin(), spans.end());
    QItemSelection kept;
    bool changed = false;
    const int lastColumn = m_model.columnCount() - 1;
    auto next = drop.begin();
    int from = -1; // the first row not yet kept or dropped
    for (const auto& [top, bottom] : spans) {
        for (int first = std::max(top, from); first <= bottom;) {
            next = std::lower_bound(next, drop.end(), first);
            const int last = next == drop.end() ? bottom : std::min(bottom, *next - 1);
            if (first <= last) {
                kept.select(m_model.index(first, 0), m_model.index(last, lastColumn));
            }
            changed |= last < bottom;
            first = last + 2; // past the dropped row
        }
        from = std::max(from, bottom + 1);
    }
    if (changed) {
        ReplaceSelection(m_view, kept, seen);
    }
}

// One range for the whole list: a thousand rows selected one by one make a thousand ranges, and every later
// change of the selection would go through all of them.
void ListRows::SelectAllRows() {
    m_bridge.Post([this] {
        Settle();
        const int count = m_model.rowCount();
        if (count == 0) {
            return;
        }
        const QItemSelection all(m_model.index(0, 0), m_model.index(count - 1, m_model.columnCount() - 1));
        m_view.selectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
        // The mark moves to the last row, the view stays where the user left it: after "select all, start" the
        // rows in view are the ones they watch.
        SetMarkQuietly(m_view, m_model.index(count - 1, 0));
    });
}

void ListRows::SelectOnly(const std::vector<int>& rows) {
    m_bridge.Post([this, rows] {
        Settle();
        std::vector<int> valid;
        std::copy_if(rows.begin(), rows.end(), std::back_inserter(valid), [this](int row) { return Valid(row); });
        std::sort(valid.begin(), valid.end());
        for (int row = 0; m_model.Filtered() && row < m_model.Count(); ++row) {
            m_model.SetHiddenSelected(row, false);
        }
        PutSelection(valid, valid.empty() ? -1 : valid.back());
    });
}

int ListRows::SelectionMark() const {
    return m_bridge.Call([this] {
        const QModelIndex current = m_view.currentIndex();
        return current.isValid() ? m_model.StoreRow(current.row()) : -1;
    });
}

ProxyRow ListRows::GetRow(int row) const {
    return m_bridge.Call([&] {
        ProxyRow value;
        if (Valid(row)) {
            for (int column = 0; column < kColumnCount; ++column) {
                value.cells[static_cast<std::size_t>(column)] = m_model.Cell(row, column);
                value.cp932[static_cast<std::size_t>(column)] = m_model.Cp932(row, column);
            }
            value.image = m_model.Image(row);
            value.tag = m_model.Tag(row);
            value.reason = m_model.Reason(row);
            value.findings = m_model.Findings(row);
        }
        return value;
    });
}

void ListRows::SetRow(int row, const ProxyRow& value) {
    m_bridge.Post([this, row, value] {
        if (Valid(row)) {
            WriteRow(row, value, false);
            m_model.SetFindings(row, value.findings);
            m_model.SetTag(row, value.tag);
        }
    });
}

void ListRows::SetRowResult(int row, const ProxyRow& value) {
    m_bridge.Post([this, row, value] {
        if (Valid(row)) {
            WriteRow(row, value, true);
        }
    });
}

void ListRows::MarkCp932Rows(int first, int count) {
    m_bridge.Post([this, first, count] {
        for (int row = first; row < first + count; ++row) {
            if (Valid(row)) {
                for (int column = 0; column < kColumnCount; ++column) {
                    m_model.SetCell(row, column, m_model.Cell(row, column), true);
                }
            }
        }
    });
}

std::vector<std::string> ListRows::CellTexts(const std::vector<int>& rows, int column) const {
    return m_bridge.Call([&] {
        std::vector<std::string> texts;
        texts.reserve(rows.size());
        for (int row : rows) {
            if (!Valid(row)) {
                texts.emplace_back();
            } else if (column == kCountryColumn || column == kAsnColumn) {
                texts.push_back(m_model.PlaceKey(row, column));
            } else if (IsSiteColumn(column)) {
                texts.push_back(m_model.SiteKey(row, column));
            } else {
                texts.push_back(column >= 0 && column < kColumnCount ? m_model.Cell(row, column) : std::string());
            }
        }
        return texts;
    });
}

// The selection's ranges, in view rows, turned into store rows: no row is asked whether it is selected.
std::vector<int> ListRows::SelectedRows(int limit) const {
    return m_bridge.Call([&] {
        Settle();
        std::vector<int> rows;
        for (const QItemSelectionRange& range : m_view.selectionModel()->selection()) {
            for (int view = range.top(); view <= range.bottom(); ++view) {
                rows.push_back(m_model.StoreRow(view));
            }
        }
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        if (static_cast<int>(rows.size()) > limit) {
            rows.resize(static_cast<std::size_t>(std::max(limit, 0)));
        }
        return rows;
    });
}

int ListRows::SelectedCount() const {
    return m_bridge.Call([this] {
        Settle();
        if (m_selectedCount < 0) {
            m_selectedCount = static_cast<int>(SelectedRows(m_model.Count()).size());
        }
        return m_selectedCount;
    });
}

} // namespace zandel::ui
