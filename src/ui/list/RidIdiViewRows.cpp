// The row operations, the check run and its windows, over the items of the list control. Every call from
// another thread is carried to the user-interface thread by the bridge and waits there for its turn.

#include "ui/list/RidIdiView.h"

#include <algorithm>

#include <QThread>
#include <QTimer>

#include "core/util/Text.h"
#include "ui/frame/CheckBar.h"
#include "ui/frame/ProxyBar.h"
#include "ui/list/ListViewHost.h"
#include "ui/log/LogView.h"
#include "ui/util/TextCodec.h"
#include "ui/util/UiBridge.h"

namespace zandel::ui {

namespace {

// Per item: the row tag, the status image, each cell's bytes as stored (a Shift-JIS file keeps its bytes
// through a save; the item shows them decoded) and whether they are CP932 text from their file.
constexpr int kTagRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kBytesRole = Qt::UserRole + 2;          // + column
constexpr int kCp932Role = kBytesRole + kColumnCount; // + column

} // namespace

// The check run: its operations go to the engine, which is gone once the window has shut down.
void CRidIdiView::StartCheck() {
    if (m_engine) {
        m_engine->StartCheck();
    }
}

void CRidIdiView::StartStartupCheck() {
    if (m_engine) {
        m_engine->StartStartupCheck();
    }
}

void CRidIdiView::StopCheck() {
    if (m_engine) {
        m_engine->StopCheck();
    }
}

void CRidIdiView::SkipCheck() {
    if (m_engine) {
        m_engine->SkipCheck();
    }
}

bool CRidIdiView::IsRunning() const {
    return m_engine && m_engine->IsRunning();
}

bool CRidIdiView::IsCheckBarRunning() const {
    return m_engine && m_engine->IsCheckBarRunning();
}

int CRidIdiView::RemainingCount() const {
    return m_engine ? m_engine->RemainingCount() : 0;
}

QTreeWidgetItem* CRidIdiView::Item(int row) const {
    return row >= 0 && row < topLevelItemCount() ? topLevelItem(row) : nullptr;
}

void CRidIdiView::WriteCell(QTreeWidgetItem* item, int column, const std::string& bytes, bool cp932) {
    const std::string cut = CutBytes(bytes);
    const QByteArray stored(cut.data(), static_cast<qsizetype>(cut.size()));
    // Bytes written back as they were (a check's address, an edit left unchanged) are still their file's text.
    const bool fromCp932File = cp932 || (item->data(column, kCp932Role + column).toBool() &&
                                         item->data(column, kBytesRole + column).toByteArray() == stored);
    item->setData(column, kBytesRole + column, stored);
    item->setData(column, kCp932Role + column, fromCp932File);
    item->setText(column, fromCp932File ? FromCp932(cut) : FromBytes(cut));
}

void CRidIdiView::WriteImage(QTreeWidgetItem* item, int image) {
    item->setData(0, kImageRole, image);
    item->setIcon(0, m_statusIcons[static_cast<std::size_t>(image >= 0 && image < 4 ? image : 3)]);
}

int CRidIdiView::RowCount() const {
    return m_bridge->Call([this] { return topLevelItemCount(); });
}

void CRidIdiView::InsertRow(int index, const std::string& address, int image, int tag) {
    m_bridge->Call([&] {
        auto* item = new QTreeWidgetItem;
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        WriteCell(item, 0, address);
        for (int column = 1; column < kColumnCount; ++column) {
            WriteCell(item, column, "");
        }
        WriteImage(item, image);
        item->setData(0, kTagRole, tag);
        insertTopLevelItem(std::clamp(index, 0, topLevelItemCount()), item);
    });
}

std::string CRidIdiView::GetCellText(int row, int column) const {
    return m_bridge->Call([&]() -> std::string {
        const QTreeWidgetItem* item = Item(row);
        if (item == nullptr || column < 0 || column >= kColumnCount) {
            return {};
        }
        const QByteArray bytes = item->data(column, kBytesRole + column).toByteArray();
        return bytes.toStdString();
    });
}

void CRidIdiView::SetCellText(int row, int column, const std::string& text) {
    m_bridge->Post([this, row, column, text] {
        if (QTreeWidgetItem* item = Item(row); item != nullptr && column >= 0 && column < kColumnCount) {
            WriteCell(item, column, text);
        }
    });
}

int CRidIdiView::GetRowImage(int row) const {
    return m_bridge->Call([&] {
        const QTreeWidgetItem* item = Item(row);
        return item == nullptr ? 0 : item->data(0, kImageRole).toInt();
    });
}

void CRidIdiView::SetRowImage(int row, int image) {
    m_bridge->Post([this, row, image] {
        if (QTreeWidgetItem* item = Item(row)) {
            WriteImage(item, image);
        }
    });
}

int CRidIdiView::GetRowTag(int row) const {
    return m_bridge->Call([&] {
        const QTreeWidgetItem* item = Item(row);
        return item == nullptr ? 0 : item->data(0, kTagRole).toInt();
    });
}

void CRidIdiView::SetRowTag(int row, int tag) {
    m_bridge->Post([this, row, tag] {
        if (QTreeWidgetItem* item = Item(row)) {
            item->setData(0, kTagRole, tag);
        }
    });
}

void CRidIdiView::RemoveRow(int row) {
    m_bridge->Call([&] { delete Item(row); });
}

void CRidIdiView::RemoveAllRows() {
    m_bridge->Call([this] { clear(); });
}

bool CRidIdiView::IsRowSelected(int row) const {
    return m_bridge->Call([&] {
        const QTreeWidgetItem* item = Item(row);
        return item != nullptr && item->isSelected();
    });
}

void CRidIdiView::SetRowSelected(int row, bool selected) {
    m_bridge->Post([this, row, selected] {
        QTreeWidgetItem* item = Item(row);
        if (item == nullptr) {
            return;
        }
        if (selected) {
            setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        }
        item->setSelected(selected);
    });
}

// One range for the whole list: a thousand rows selected one by one make a thousand ranges, and every later
// change of the selection would go through all of them.
void CRidIdiView::SelectAllRows() {
    m_bridge->Post([this] {
        const int count = topLevelItemCount();
        if (count == 0) {
            return;
        }
        const QItemSelection all(model()->index(0, 0), model()->index(count - 1, columnCount() - 1));
        selectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
        setCurrentItem(topLevelItem(count - 1), 0, QItemSelectionModel::NoUpdate);
    });
}

int CRidIdiView::SelectionMark() const {
    return m_bridge->Call([this] {
        const QModelIndex current = currentIndex();
        return current.isValid() ? current.row() : -1;
    });
}

ProxyRow CRidIdiView::GetRow(int row) const {
    return m_bridge->Call([&] {
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
        }
        return value;
    });
}

void CRidIdiView::SetRow(int row, const ProxyRow& value) {
    m_bridge->Post([this, row, value] {
        QTreeWidgetItem* item = Item(row);
        if (item == nullptr) {
            return;
        }
        for (int column = 0; column < kColumnCount; ++column) {
            const auto index = static_cast<std::size_t>(column);
            WriteCell(item, column, value.cells[index], value.cp932[index]);
        }
        WriteImage(item, value.image);
        item->setData(0, kTagRole, value.tag);
    });
}

void CRidIdiView::SetRowResult(int row, const ProxyRow& value) {
    m_bridge->Post([this, row, value] {
        if (QTreeWidgetItem* item = Item(row)) {
            for (int column = 0; column < kColumnCount; ++column) {
                const auto index = static_cast<std::size_t>(column);
                if (ResultWritesColumn(value, column)) {
                    WriteCell(item, column, value.cells[index], value.cp932[index]);
                }
            }
            WriteImage(item, value.image);
        }
    });
}

void CRidIdiView::MarkCp932Rows(int first, int count) {
    m_bridge->Post([this, first, count] {
        for (int row = first; row < first + count; ++row) {
            if (QTreeWidgetItem* item = Item(row)) {
                for (int column = 0; column < kColumnCount; ++column) {
                    WriteCell(item, column, item->data(column, kBytesRole + column).toByteArray().toStdString(), true);
                }
            }
        }
    });
}

std::vector<std::string> CRidIdiView::CellTexts(const std::vector<int>& rows, int column) const {
    return m_bridge->Call([&] {
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
std::vector<int> CRidIdiView::SelectedRows(int limit) const {
    return m_bridge->Call([&] {
        std::vector<int> rows;
        const int count = topLevelItemCount();
        for (int row = 0; row < count && static_cast<int>(rows.size()) < limit; ++row) {
            if (topLevelItem(row)->isSelected()) {
                rows.push_back(row);
            }
        }
        return rows;
    });
}

int CRidIdiView::SelectedCount() const {
    return m_bridge->Call([this] {
        if (m_selectedCount < 0) {
            m_selectedCount = static_cast<int>(SelectedRows(topLevelItemCount()).size());
        }
        return m_selectedCount;
    });
}

// A check writes a dozen lines per proxy, from the run thread and the probe's worker: they are gathered
// and added to the log at most every few tens of milliseconds, so that the log's layout and painting are
// done once per batch, not per line. The end of a run (Sync) adds what is left at once.
void CRidIdiView::AppendLog(const std::string& text) {
    if (QThread::currentThread() == thread()) {
        FlushLog();
        if (m_host != nullptr && m_host->GetLogView() != nullptr) {
            m_host->GetLogView()->AppendText(text);
        }
        return;
    }
    bool first = false;
    {
        std::lock_guard lock(m_pendingLogMutex);
        first = m_pendingLog.empty();
        m_pendingLog += text;
    }
    if (first) {
        m_bridge->Post([this] { m_logFlushTimer->start(); });
    }
}

void CRidIdiView::FlushLog() {
    std::string text;
    {
        std::lock_guard lock(m_pendingLogMutex);
        text.swap(m_pendingLog);
    }
    if (!text.empty() && m_host != nullptr && m_host->GetLogView() != nullptr) {
        m_host->GetLogView()->AppendText(text);
    }
}

std::string CRidIdiView::GetTitle() {
    return m_bridge->Call([this] { return m_host == nullptr ? std::string() : ToBytes(m_host->GetCaption()); });
}

void CRidIdiView::SetTitle(const std::string& title) {
    m_bridge->Post([this, title] {
        if (m_host != nullptr) {
            m_host->SetCaption(FromBytes(title));
        }
    });
}

void CRidIdiView::SetStartStop(bool running) {
    m_bridge->Post([this, running] {
        if (m_host != nullptr && m_host->GetCheckBar() != nullptr) {
            m_host->GetCheckBar()->SetStartStop(running);
        }
        if (m_host != nullptr) {
            m_host->RunStateChanged();
        }
    });
}

void CRidIdiView::SetLabelEditing(bool enabled) {
    m_bridge->Post([this, enabled] {
        m_labelEditing = enabled;
        setEditTriggers(enabled ? (QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed)
                                : QAbstractItemView::NoEditTriggers);
        if (!enabled) {
            CloseEditBox();
        }
    });
}

void CRidIdiView::StartCheckIndicator() {
    m_bridge->Post([this] {
        if (m_host != nullptr) {
            m_host->StartCheckIndicator();
        }
    });
}

void CRidIdiView::StopCheckIndicator() {
    m_bridge->Post([this] {
        if (m_host != nullptr) {
            m_host->StopCheckIndicator();
        }
    });
}

void CRidIdiView::Start(int periodMs, std::function<void()> onFire) {
    m_bridge->Post([this, periodMs, onFire = std::move(onFire)] {
        m_onTimeout = onFire;
        m_timeoutTimer->start(periodMs);
    });
}

// Not waited for: a firing that slips in before the stop is carried out names a job that is over, and the
// engine ignores it.
void CRidIdiView::Stop() {
    m_bridge->Post([this] { m_timeoutTimer->stop(); });
}

std::string CRidIdiView::GetProxyBarAddress() {
    return m_bridge->Call([this] {
        return (m_host != nullptr && m_host->GetProxyBar() != nullptr) ? m_host->GetProxyBar()->GetAddr()
                                                                       : std::string();
    });
}

void CRidIdiView::Sync() {
    m_bridge->Call([this] { FlushLog(); });
}

void CRidIdiView::SetRunningCount(int count) {
    m_bridge->Post([this, count] {
        if (m_host != nullptr) {
            m_host->ShowRunningCount(count);
        }
    });
}

void CRidIdiView::RunEnded() {
    m_bridge->Post([this] {
        if (m_host != nullptr) {
            m_host->RunStateChanged();
        }
    });
}

} // namespace zandel::ui
