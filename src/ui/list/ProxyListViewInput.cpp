#include "ui/list/ProxyListView.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegularExpression>

#include "core/frame/CommandIds.h"
#include "core/list/ListCommands.h"
#include "core/list/ProxyListDocument.h"
#include "core/history/HistoryColumns.h"
#include "core/list/ProxyRow.h"
#include "core/proxy/ProxyBarCommands.h"
#include "core/util/Text.h"
#include "ui/list/AddressEditDelegate.h"
#include "ui/list/ListModel.h"
#include "ui/list/ListRows.h"
#include "ui/list/ListViewHost.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

// What the user does to the list by hand: in-place edit, clipboard, dropped files, and the mouse, key and focus
// events that lead to them.
namespace zandel::ui {

namespace {

// The local files among dropped URLs, in the order given.
QStringList LocalFiles(const QMimeData* mime) {
    QStringList files;
    if (mime == nullptr || !mime->hasUrls()) {
        return files;
    }
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) {
            files << url.toLocalFile();
        }
    }
    return files;
}

} // namespace

void ProxyListView::BeginEdit(int row) {
    const int view = m_model->ViewRow(row);
    if (view < 0 || !m_labelEditing) {
        return;
    }
    CloseEditBox();
    const QModelIndex index = m_model->index(view, 0);
    scrollTo(index);
    setCurrentIndex(index);
    QTreeView::edit(index);
}

QLineEdit* ProxyListView::EditBox() const {
    return m_delegate->EditBox();
}

// An edit that leaves the text as it was keeps the stored bytes (a Shift-JIS address stays Shift-JIS).
// A changed address marks the list modified, however the edit began: an address typed after a click on
// the row's label would otherwise be lost at exit without the question to save it.
void ProxyListView::CommitEdit(int viewRow, const QString& text) {
    const int row = m_model->StoreRow(viewRow);
    if (row >= 0 && text != m_model->Text(row, 0)) {
        m_model->SetCell(row, 0, ToBytes(text));
        if (m_document != nullptr) {
            m_document->SetModified(true);
        }
    }
}

// An edit still open when a run switches editing off ends as if the user had left it: its text is taken.
void ProxyListView::CloseEditBox() {
    if (QLineEdit* box = EditBox()) {
        commitData(box);
        closeEditor(box, QAbstractItemDelegate::NoHint);
    }
}

// Works whatever the clipboard held before: copying must not depend on there being text on it already.
void ProxyListView::Copy() {
    QLineEdit* box = EditBox();
    if (!m_probeReady || box == nullptr) {
        return;
    }
    QGuiApplication::clipboard()->setText(FromBytes(CutAtCharBoundary(ToBytes(box->text()), kMaxAddressCell)));
}

void ProxyListView::Paste() {
    QLineEdit* box = EditBox();
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (box == nullptr || mime == nullptr || !mime->hasText()) {
        return;
    }
    QString text = mime->text();
    const qsizetype lineEnd = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    if (lineEnd >= 0) {
        text.truncate(lineEnd);
    }
    box->setText(FromBytes(CutAtCharBoundary(ToBytes(text), kMaxAddressCell)));
}

void ProxyListView::DropFiles(const QStringList& paths) {
    std::vector<std::string> names;
    for (const QString& path : paths) {
        names.push_back(QFile::encodeName(path).toStdString());
    }
    DropFiles(names);
}

void ProxyListView::DropFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (m_document == nullptr) {
            return;
        }
        m_document->OpenListFile(path, OpenAppend);
        // Also when the file was refused: the drop itself counts as a change.
        m_document->SetModified(true);
    }
}

void ProxyListView::OnListClick() {
    m_proxyCommands->OfferSelectedAddress();
    if (m_host != nullptr) {
        m_host->UpdateCounts();
    }
}

void ProxyListView::OnHeaderClick(int column) {
    // Also after a stop, until the run has finished its current row: the run writes by row index.
    if (RunActive()) {
        return;
    }
    Follow(m_commands->Sort(column, m_historyFigures.get()));
    // The figures are no cells of a row: they are put beside their rows again at once.
    FillHistoryColumns();
}

// Only the address is ever edited in place, whichever cell of the row the edit was started from. A click edits only
// as a second click on the current row; on one of several selected rows it selects that row alone (Qt's view would
// edit instead and keep the whole selection, so that no click could narrow it).
bool ProxyListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (trigger == SelectedClicked && !m_clickEdits) {
        return false;
    }
    return QTreeView::edit(index.siblingAtColumn(0), trigger, event);
}

// The user's clicks, drags and keys select nothing while a run is active: the selection shows the rows the
// run has still to check, and only the run takes them off it.
QItemSelectionModel::SelectionFlags ProxyListView::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
    if (RunActive()) {
        return QItemSelectionModel::NoUpdate;
    }
    return QTreeView::selectionCommand(index, event);
}

void ProxyListView::selectAll() {
    if (!RunActive()) {
        QTreeView::selectAll();
    }
}

void ProxyListView::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    m_clickEdits = event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier && index.isValid() &&
                   index.row() == currentIndex().row() && m_rows->SelectedCount() == 1 &&
                   m_rows->IsRowSelected(m_model->StoreRow(index.row()));
    QTreeView::mousePressEvent(event);
}

void ProxyListView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        OnListClick();
    }
}

void ProxyListView::keyPressEvent(QKeyEvent* event) {
    // The menu item has no key of its own (the edit box of a row takes Delete for itself): the list hands its key
    // to the one dispatcher, as a menu item would be.
    if (event->key() == Qt::Key_Delete) {
        if (m_host != nullptr) {
            m_host->DispatchKey(cmd::kDelete);
        }
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

// The selection is drawn only while the list has the focus: redraw it when the focus comes or goes.
void ProxyListView::focusInEvent(QFocusEvent* event) {
    QTreeView::focusInEvent(event);
    viewport()->update();
}

void ProxyListView::focusOutEvent(QFocusEvent* event) {
    QTreeView::focusOutEvent(event);
    viewport()->update();
}

void ProxyListView::dragEnterEvent(QDragEnterEvent* event) {
    if (m_probeReady && !LocalFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void ProxyListView::dragMoveEvent(QDragMoveEvent* event) {
    if (m_probeReady && !LocalFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void ProxyListView::dropEvent(QDropEvent* event) {
    const QStringList files = LocalFiles(event->mimeData());
    if (!m_probeReady || files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    DropFiles(files);
}
} // namespace zandel::ui
