#include "ui/list/ListModel.h"

#include <algorithm>
#include <utility>

#include <QTimer>

#include "core/history/HistoryColumns.h"
#include "core/util/ProxyAddress.h"
#include "core/util/Text.h"
#include "ui/list/StatusImages.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

ListModel::ListModel(QStringList titles, QObject* parent)
    : QAbstractTableModel(parent), m_titles(std::move(titles)), m_sendChanges(new QTimer(this)) {
    m_sendChanges->setSingleShot(true);
    m_sendChanges->setInterval(0);
    connect(m_sendChanges, &QTimer::timeout, this, [this] { SendChanges(); });
    for (int image = 0; image < kStatusImageCount; ++image) {
        m_icons[Index(image)] = StatusIcon(image);
    }
}

int ListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return m_filtered ? static_cast<int>(m_shownRows.size()) : Count();
}

int ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kShownColumnCount;
}

int ListModel::ViewRow(int row) const {
    if (row < 0 || row >= Count()) {
        return -1;
    }
    if (!m_filtered) {
        return row;
    }
    const auto at = std::lower_bound(m_shownRows.begin(), m_shownRows.end(), row);
    return at != m_shownRows.end() && *at == row ? static_cast<int>(at - m_shownRows.begin()) : -1;
}

int ListModel::StoreRow(int viewRow) const {
    if (viewRow < 0 || viewRow >= rowCount()) {
        return -1;
    }
    return m_filtered ? m_shownRows[Index(viewRow)] : viewRow;
}

QString ListModel::Text(int row, int column) const {
    if (column == kKindColumn) {
        return QString::fromLatin1(EntryKindName(m_rows.Cell(row, 0)));
    }
    if (column == kUptimeColumn || column == kMedianColumn) {
        return m_figures != nullptr ? FromBytes(m_figures->Cell(column, m_rows.Cell(row, 0))) : QString();
    }
    if (column == kCountryColumn || column == kAsnColumn) {
        return PlaceText(row, column);
    }
    if (IsSiteColumn(column)) {
        const unsigned code = SiteCode(m_extras[Index(row)].sites, column - kFirstSiteColumn);
        return code == 0 ? QString() : QString::fromLatin1(SiteClassName(static_cast<SiteClass>(code - 1)));
    }
    const std::string bytes = m_rows.Cell(row, column);
    return Cp932(row, column) ? FromCp932(bytes) : FromBytes(bytes);
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    const int row = StoreRow(index.row());
    if (row < 0 || index.column() < 0 || index.column() >= kShownColumnCount) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return Text(row, index.column());
    case Qt::DecorationRole:
        if (index.column() == 0) {
            const int image = m_rows.Image(row);
            return m_icons[Index(image >= 0 && image < kStatusImageCount ? image : StatusUnchecked)];
        }
        return {};
    case Qt::ToolTipRole:
        // The reason of the row's last grade, on its result cell.
        if (index.column() == 1 && m_extras[Index(row)].reason != 0) {
            return FromBytes(Reason(row));
        }
        if (index.column() == kCountryColumn || index.column() == kAsnColumn) {
            return PlaceTip(row);
        }
        return {};
    default:
        return {};
    }
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_titles.size()) {
        return m_titles[section];
    }
    if (orientation == Qt::Horizontal && role == Qt::ToolTipRole && section >= 0 && section < m_tips.size() &&
        !m_tips[section].isEmpty()) {
        return m_tips[section];
    }
    return {};
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

void ListModel::Insert(int row, const std::string& address, int image, int tag) {
    row = std::clamp(row, 0, Count());
    const std::string cut = CutBytes(address, kMaxAddressCell);
    const int viewRow =
        m_filtered
            ? static_cast<int>(std::lower_bound(m_shownRows.begin(), m_shownRows.end(), row) - m_shownRows.begin())
            : row;
    SendChanges();
    beginInsertRows(QModelIndex(), viewRow, viewRow);
    m_rows.Insert(row, cut, image, tag);
    m_extras.insert(m_extras.begin() + row, Extra{});
    if (m_filtered) {
        for (auto at = m_shownRows.begin() + viewRow; at != m_shownRows.end(); ++at) {
            ++*at;
        }
        m_shownRows.insert(m_shownRows.begin() + viewRow, row);
    }
    CountScheme(cut, 1);
    endInsertRows();
}

void ListModel::Append(const std::vector<ProxyRow>& rows) {
    if (rows.empty()) {
        return;
    }
    const int firstView = rowCount();
    SendChanges();
    beginInsertRows(QModelIndex(), firstView, firstView + static_cast<int>(rows.size()) - 1);
    for (const ProxyRow& value : rows) {
        const int row = Count();
        const std::string cut = CutBytes(value.cells[0], kMaxAddressCell);
        m_rows.Insert(row, cut, value.image, value.tag);
        m_extras.emplace_back();
        for (int column = 1; column < kColumnCount; ++column) {
            m_rows.SetCell(row, column, CutBytes(value.cells[Index(column)]));
        }
        for (int column = 0; column < kColumnCount; ++column) {
            m_extras.back().cp932 |= value.cp932[Index(column)] ? 1U << column : 0U;
        }
        if (!value.reason.empty()) {
            SetReason(row, value.reason);
        }
        if (m_filtered) {
            m_shownRows.push_back(row);
        }
        CountScheme(cut, 1);
    }
    endInsertRows();
}

void ListModel::Remove(const std::vector<int>& rows) {
    if (rows.empty()) {
        return;
    }
    const bool oneRun = rows.back() - rows.front() + 1 == static_cast<int>(rows.size());
    int firstView = -1;
    int lastView = -1;
    for (int row : rows) {
        if (const int view = ViewRow(row); view >= 0) {
            firstView = firstView < 0 ? view : firstView;
            lastView = view;
        }
    }
    SendChanges();
    if (oneRun && firstView >= 0) {
        beginRemoveRows(QModelIndex(), firstView, lastView);
    } else if (!oneRun) {
        beginResetModel();
    }
    for (int row : rows) {
        CountScheme(m_rows.Cell(row, 0), -1);
        FreeReason(m_extras[Index(row)]);
    }
    m_rows.RemoveRows(rows);
    std::size_t next = 0;
    std::size_t kept = 0;
    for (std::size_t row = 0; row < m_extras.size(); ++row) {
        if (next < rows.size() && Index(rows[next]) == row) {
            ++next;
            continue;
        }
        m_extras[kept++] = m_extras[row];
    }
    m_extras.resize(kept);
    IndexShownRows();
    if (oneRun && firstView >= 0) {
        endRemoveRows();
    } else if (!oneRun) {
        endResetModel();
    }
}

void ListModel::Clear() {
    SendChanges();
    beginResetModel();
    m_rows.Clear();
    m_extras.clear();
    m_reasons.resize(1);
    m_freeReasons.clear();
    m_places.Clear();
    m_filtered = false;
    m_shownRows.clear();
    m_schemeRows = 0;
    endResetModel();
}

void ListModel::Reorder(const std::vector<int>& order) {
    SendChanges();
    beginResetModel();
    m_rows.Reorder(order);
    std::deque<Extra> extras;
    for (int from : order) {
        extras.push_back(m_extras[Index(from)]);
    }
    m_extras.swap(extras);
    IndexShownRows();
    endResetModel();
}

void ListModel::SetShown(const std::vector<bool>& shown) {
    bool same = true;
    for (std::size_t row = 0; same && row < m_extras.size(); ++row) {
        same = m_extras[row].hidden == (row < shown.size() && !shown[row]);
    }
    if (same) {
        return;
    }
    SendChanges();
    beginResetModel();
    for (std::size_t row = 0; row < m_extras.size(); ++row) {
        m_extras[row].hidden = row < shown.size() && !shown[row];
    }
    IndexShownRows();
    endResetModel();
}

void ListModel::IndexShownRows() {
    m_shownRows.clear();
    m_filtered = std::any_of(m_extras.begin(), m_extras.end(), [](const Extra& extra) { return extra.hidden; });
    if (!m_filtered) {
        m_shownRows.shrink_to_fit();
        return;
    }
    for (std::size_t row = 0; row < m_extras.size(); ++row) {
        if (!m_extras[row].hidden) {
            m_shownRows.push_back(static_cast<int>(row));
        }
    }
}

void ListModel::SetCell(int row, int column, const std::string& bytes, bool cp932) {
    const std::string cut = CutBytes(bytes, column == 0 ? kMaxAddressCell : kMaxFieldText);
    const std::string old = m_rows.Cell(row, column);
    Extra& extra = m_extras[Index(row)];
    // Bytes written back as they were (a check's address, an edit left unchanged) are still their file's text.
    const bool fromCp932File = cp932 || (Cp932(row, column) && old == cut);
    extra.cp932 =
        static_cast<std::uint8_t>(fromCp932File ? extra.cp932 | (1U << column) : extra.cp932 & ~(1U << column));
    if (old == cut) {
        return; // nothing to show or follow: a check writes its row's address back as it was
    }
    if (column == 0) {
        CountScheme(old, -1);
        CountScheme(cut, 1);
    }
    m_rows.SetCell(row, column, cut);
    // The address is also the kind and the history's figures.
    Changed(row, column, column == 0 ? kShownColumnCount - 1 : column);
}

void ListModel::SetImage(int row, int image) {
    m_rows.SetImage(row, image);
    // Only painted: an image is no cell's text, and what follows the cells (the kind column and the address column's
    // width, the filter) would otherwise look again at every turn of a run, whose every ended row changes its image.
    Repaint(row, 0, 0);
}

bool ListModel::Repaint(int row, int firstColumn, int lastColumn) {
    const int view = ViewRow(row);
    if (view < 0) {
        return false;
    }
    const auto [top, bottom] = RowsInView();
    if (view >= top && view <= bottom) {
        Q_EMIT dataChanged(index(view, firstColumn), index(view, lastColumn));
    }
    return true;
}

std::string ListModel::Reason(int row) const {
    return m_reasons[m_extras[Index(row)].reason];
}

void ListModel::SetReason(int row, const std::string& reason) {
    Extra& extra = m_extras[Index(row)];
    if (reason.empty()) {
        FreeReason(extra);
        return;
    }
    if (extra.reason == 0) {
        if (!m_freeReasons.empty()) {
            extra.reason = m_freeReasons.back();
            m_freeReasons.pop_back();
        } else {
            extra.reason = static_cast<std::uint32_t>(m_reasons.size());
            m_reasons.emplace_back();
        }
    }
    m_reasons[extra.reason] = reason;
}

void ListModel::FreeReason(Extra& extra) {
    if (extra.reason != 0) {
        m_reasons[extra.reason].clear();
        m_reasons[extra.reason].shrink_to_fit();
        m_freeReasons.push_back(extra.reason);
        extra.reason = 0;
    }
}

int ListModel::HiddenMark() const {
    const auto at = std::find_if(m_extras.begin(), m_extras.end(), [](const Extra& extra) { return extra.mark; });
    return at == m_extras.end() ? -1 : static_cast<int>(at - m_extras.begin());
}

void ListModel::SetHiddenMark(int row) {
    for (std::size_t at = 0; at < m_extras.size(); ++at) {
        m_extras[at].mark = static_cast<int>(at) == row;
    }
}

void ListModel::SetFigures(const HistoryColumns* figures) {
    if (figures == m_figures) {
        return;
    }
    m_figures = figures;
    const auto [top, bottom] = RowsInView();
    // The place columns too: a row without a place of this session shows the history's.
    if (top <= bottom) {
        Q_EMIT dataChanged(index(top, kUptimeColumn), index(bottom, kAsnColumn));
    }
    Q_EMIT cellsChanged(kUptimeColumn, kAsnColumn);
}

// A run changes thousands of rows a second, most of them out of sight. Only the rows in view are told to the view (for
// any other it would look up where the row lies, row by row); whoever follows the rows hears once per turn that some
// changed, and in which columns.
void ListModel::Changed(int row, int firstColumn, int lastColumn) {
    if (!Repaint(row, firstColumn, lastColumn)) {
        return;
    }
    if (!m_changesWaiting) {
        m_changesWaiting = true;
        m_changedFirstColumn = firstColumn;
        m_changedLastColumn = lastColumn;
        m_sendChanges->start();
        return;
    }
    m_changedFirstColumn = std::min(m_changedFirstColumn, firstColumn);
    m_changedLastColumn = std::max(m_changedLastColumn, lastColumn);
}

void ListModel::SendChanges() {
    if (m_changesWaiting) {
        m_changesWaiting = false;
        m_sendChanges->stop();
        Q_EMIT cellsChanged(m_changedFirstColumn, m_changedLastColumn);
    }
}

void ListModel::CountScheme(const std::string& address, int step) {
    if (EntryHasScheme(address)) {
        m_schemeRows += step;
    }
}

} // namespace zandel::ui
