#include "ui/list/ListRows.h"

#include <algorithm>

#include <QTreeWidget>

#include "core/util/ProxyAddress.h"
#include "core/util/Text.h"
#include "ui/list/StatusImages.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

// Per item: the row tag, the status image, each cell's bytes as stored (a Shift-JIS file keeps its bytes
// through a save; the item shows them decoded) and whether they are CP932 text from their file.
constexpr int kTagRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kBytesRole = Qt::UserRole + 2;          // + column
constexpr int kCp932Role = kBytesRole + kColumnCount; // + column
constexpr int kReasonRole = kCp932Role + kColumnCount;

} // namespace

ListRows::ListRows(QTreeWidget& list) : m_list(list), m_bridge(&list) {
    for (int image = 0; image < kStatusImageCount; ++image) {
        m_statusIcons[static_cast<std::size_t>(image)] = StatusIcon(image);
    }
}

QTreeWidgetItem* ListRows::Item(int row) const {
    return row >= 0 && row < m_list.topLevelItemCount() ? m_list.topLevelItem(row) : nullptr;
}

void ListRows::WriteCell(QTreeWidgetItem* item, int column, const std::string& bytes, bool cp932) {
    const std::string cut = CutBytes(bytes, column == 0 ? kMaxAddressCell : kMaxFieldText);
    const QByteArray stored(cut.data(), static_cast<qsizetype>(cut.size()));
    // Bytes written back as they were (a check's address, an edit left unchanged) are still their file's text.
    const bool fromCp932File = cp932 || (item->data(column, kCp932Role + column).toBool() &&
                                         item->data(column, kBytesRole + column).toByteArray() == stored);
    item->setData(column, kBytesRole + column, stored);
    item->setData(column, kCp932Role + column, fromCp932File);
    item->setText(column, fromCp932File ? FromCp932(cut) : FromBytes(cut));
    if (column == 0) {
        item->setText(kKindColumn, QString::fromLatin1(EntryKindName(cut)));
    }
}

void ListRows::WriteImage(QTreeWidgetItem* item, int image) {
    item->setData(0, kImageRole, image);
    item->setIcon(
        0, m_statusIcons[static_cast<std::size_t>(image >= 0 && image < kStatusImageCount ? image : StatusUnchecked)]);
}

void ListRows::WriteRow(QTreeWidgetItem* item, const ProxyRow& value, bool result) {
    for (int column = 0; column < kColumnCount; ++column) {
        if (result && !ResultWritesColumn(value, column)) {
            continue;
        }
        const auto index = static_cast<std::size_t>(column);
        WriteCell(item, column, value.cells[index], value.cp932[index]);
    }
    WriteImage(item, value.image);
    // The reason of the row's last grade; a row written anew, or a check without one, leaves no stale tip.
    item->setToolTip(1, FromBytes(value.reason));
    item->setData(1, kReasonRole, QByteArray::fromStdString(value.reason));
}

int ListRows::RowCount() const {
    return m_bridge.Call([this] { return m_list.topLevelItemCount(); });
}

void ListRows::InsertRow(int index, const std::string& address, int image, int tag) {
    m_bridge.Call([&] {
        auto* item = new QTreeWidgetItem;
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        WriteCell(item, 0, address);
        for (int column = 1; column < kColumnCount; ++column) {
            WriteCell(item, column, "");
        }
        WriteImage(item, image);
        item->setData(0, kTagRole, tag);
        m_list.insertTopLevelItem(std::clamp(index, 0, m_list.topLevelItemCount()), item);
    });
}

std::string ListRows::GetCellText(int row, int column) const {
    return m_bridge.Call([&]() -> std::string {
        const QTreeWidgetItem* item = Item(row);
        if (item == nullptr || column < 0 || column >= kColumnCount) {
            return {};
        }
        const QByteArray bytes = item->data(column, kBytesRole + column).toByteArray();
        return bytes.toStdString();
    });
}

void ListRows::SetCellText(int row, int column, const std::string& text) {
    m_bridge.Post([this, row, column, text] {
        if (QTreeWidgetItem* item = Item(row); item != nullptr && column >= 0 && column < kColumnCount) {
            WriteCell(item, column, text);
        }
    });
}

int ListRows::GetRowImage(int row) const {
    return m_bridge.Call([&] {
        const QTreeWidgetItem* item = Item(row);
        return item == nullptr ? 0 : item->data(0, kImageRole).toInt();
    });
}

void ListRows::SetRowImage(int row, int image) {
    m_bridge.Post([this, row, image] {
        if (QTreeWidgetItem* item = Item(row)) {
            WriteImage(item, image);
        }
    });
}

int ListRows::GetRowTag(int row) const {
    return m_bridge.Call([&] {
        const QTreeWidgetItem* item = Item(row);
        return item == nullptr ? 0 : item->data(0, kTagRole).toInt();
    });
}

void ListRows::SetRowTag(int row, int tag) {
    m_bridge.Post([this, row, tag] {
        if (QTreeWidgetItem* item = Item(row)) {
            item->setData(0, kTagRole, tag);
        }
    });
}

void ListRows::RemoveRow(int row) {
    m_bridge.Call([&] { delete Item(row); });
}

void ListRows::RemoveAllRows() {
    m_bridge.Call([this] { m_list.clear(); });
}

bool ListRows::IsRowSelected(int row) const {
    return m_bridge.Call([&] {
        const QTreeWidgetItem* item = Item(row);
        return item != nullptr && item->isSelected() && !item->isHidden();
    });
}

bool ListRows::IsRowShown(int row) const {
    return m_bridge.Call([&] {
        const QTreeWidgetItem* item = Item(row);
        return item != nullptr && !item->isHidden();
    });
}

void ListRows::SetRowSelected(int row, bool selected) {
    m_bridge.Post([this, row, selected] {
        QTreeWidgetItem* item = Item(row);
        if (item == nullptr) {
            return;
        }
        if (selected) {
            m_list.setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        }
        item->setSelected(selected);
    });
}

// One range for the whole list: a thousand rows selected one by one make a thousand ranges, and every later
// change of the selection would go through all of them.
void ListRows::SelectAllRows() {
    m_bridge.Post([this] {
        const int count = m_list.topLevelItemCount();
        if (count == 0) {
            return;
        }
        const QItemSelection all(m_list.model()->index(0, 0),
                                 m_list.model()->index(count - 1, m_list.columnCount() - 1));
        m_list.selectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
        // The mark moves to the last row, the view stays where the user left it: after "select all, start" the
        // rows in view are the ones they watch.
        const bool scrolls = m_list.hasAutoScroll();
        m_list.setAutoScroll(false);
        m_list.setCurrentItem(m_list.topLevelItem(count - 1), 0, QItemSelectionModel::NoUpdate);
        m_list.setAutoScroll(scrolls);
    });
}

// Whole runs of rows as ranges, and the mark moved without the view following it: the rows chosen may lie anywhere
// in a long list.
void ListRows::SelectOnly(const std::vector<int>& rows) {
    m_bridge.Post([this, rows] {
        const int count = m_list.topLevelItemCount();
        const int lastColumn = m_list.columnCount() - 1;
        QItemSelection chosen;
        int last = -1;
        for (std::size_t first = 0; first < rows.size();) {
            std::size_t end = first + 1;
            while (end < rows.size() && rows[end] == rows[end - 1] + 1) {
                ++end;
            }
            if (rows[first] >= 0 && rows[end - 1] < count) {
                chosen.select(m_list.model()->index(rows[first], 0), m_list.model()->index(rows[end - 1], lastColumn));
                last = rows[end - 1];
            }
            first = end;
        }
        m_list.selectionModel()->select(chosen, QItemSelectionModel::ClearAndSelect);
        if (last >= 0) {
            const bool scrolls = m_list.hasAutoScroll();
            m_list.setAutoScroll(false);
            m_list.selectionModel()->setCurrentIndex(m_list.model()->index(last, 0), QItemSelectionModel::NoUpdate);
            m_list.setAutoScroll(scrolls);
        }
    });
}

int ListRows::SelectionMark() const {
    return m_bridge.Call([this] {
        const QModelIndex current = m_list.currentIndex();
        return current.isValid() && !m_list.isRowHidden(current.row(), QModelIndex()) ? current.row() : -1;
    });
}

ProxyRow ListRows::GetRow(int row) const {
    return m_bridge.Call([&] {
        ProxyRow value;
        if (const QTreeWidgetItem* item = Item(row)) {
            for (int column = 0; column < kColumnCount; ++column) {
                value.cells[static_cast<std::size_t>(column)] =
                    item->data(column, kBytesRole + column).toByteArray().toStdString();
            }
            for (int column = 0; column < kColumnCount; ++column) {
                value.cp932[static_cast<std::size_t>(column)] = item->data(column, kCp932Role + column).toBool();
            }
            value.image = item->data(0, kImageRole).toInt();
            value.tag = item->data(0, kTagRole).toInt();
            value.reason = item->data(1, kReasonRole).toByteArray().toStdString();
        }
        return value;
    });
}

void ListRows::SetRow(int row, const ProxyRow& value) {
    m_bridge.Post([this, row, value] {
        QTreeWidgetItem* item = Item(row);
        if (item == nullptr) {
            return;
        }
        WriteRow(item, value, false);
        item->setData(0, kTagRole, value.tag);
    });
}

void ListRows::SetRowResult(int row, const ProxyRow& value) {
    m_bridge.Post([this, row, value] {
        if (QTreeWidgetItem* item = Item(row)) {
            WriteRow(item, value, true);
        }
    });
}

void ListRows::MarkCp932Rows(int first, int count) {
    m_bridge.Post([this, first, count] {
        for (int row = first; row < first + count; ++row) {
            if (QTreeWidgetItem* item = Item(row)) {
                for (int column = 0; column < kColumnCount; ++column) {
                    WriteCell(item, column, item->data(column, kBytesRole + column).toByteArray().toStdString(), true);
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
            const QTreeWidgetItem* item = Item(row);
            texts.push_back(item == nullptr || column < 0 || column >= kColumnCount
                                ? std::string()
                                : item->data(column, kBytesRole + column).toByteArray().toStdString());
        }
        return texts;
    });
}

// Each item knows whether it is selected: one pass over the items, where asking the selection model row by
// row costs as much again per selected row.
std::vector<int> ListRows::SelectedRows(int limit) const {
    return m_bridge.Call([&] {
        std::vector<int> rows;
        const int count = m_list.topLevelItemCount();
        for (int row = 0; row < count && static_cast<int>(rows.size()) < limit; ++row) {
            const QTreeWidgetItem* item = m_list.topLevelItem(row);
            if (item->isSelected() && !item->isHidden()) {
                rows.push_back(row);
            }
        }
        return rows;
    });
}

int ListRows::SelectedCount() const {
    return m_bridge.Call([this] {
        if (m_selectedCount < 0) {
            m_selectedCount = static_cast<int>(SelectedRows(m_list.topLevelItemCount()).size());
        }
        return m_selectedCount;
    });
}

} // namespace zandel::ui
