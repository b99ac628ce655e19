#include "ui/list/ProxyListView.h"

#include <algorithm>
#include <utility>

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTimer>

#include "core/settings/AppSettings.h"
#include "core/frame/CommandIds.h"
#include "core/history/HistoryColumns.h"
#include "core/history/HistoryRecorder.h"
#include "core/history/HistoryStore.h"
#include "core/list/ListCommands.h"
#include "core/list/ProxyListDocument.h"
#include "core/list/ProxyRow.h"
#include "core/util/Text.h"
#include "core/proxy/ProxyBarCommands.h"
#include "ui/list/AddressEditDelegate.h"
#include "ui/list/HistoryLoader.h"
#include "ui/list/ListRows.h"
#include "ui/list/ListViewHost.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

struct Column {
    const char* title;
    int width;
    const char* widest; // the widest text the column usually holds
};
constexpr Column kColumns[kShownColumnCount] = {
    {"Proxyサーバ名/ポート番号", 180, "255.255.255.255:65535"},
    {"結果", 100, "Non-Anonymous"},
    {"レスポンスタイム(秒)", 120, "00.000"},
    {"チェック日時", 130, "0000/00/00(00:00:00)"},
    {"HTTPS", 60, "MITM"},
    {"種類", 60, "socks5h"},
    {"稼働率", 60, "100%"},
    {"中央値(秒)", 70, "00.000"},
};
// Room around a cell's text: margins, the grid line and, in the address column, the status image.
constexpr int kCellPadding = 16;
constexpr int kImageRoom = 20;

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

ProxyListView::ProxyListView(AppSettings& settings, ICheckHost& runWindows, QWidget* parent)
    : QTreeWidget(parent), m_settings(settings), m_rows(std::make_unique<ListRows>(*this)) {
    setObjectName(QStringLiteral("proxyList"));
    setColumnCount(kShownColumnCount);
    QStringList titles;
    for (const Column& column : kColumns) {
        titles << QString::fromUtf8(column.title);
    }
    setHeaderLabels(titles);
    // The widths of the Windows list, widened where this desktop's fonts need more room for a full title or
    // cell (a check time cut short loses its seconds).
    for (int column = 0; column < kShownColumnCount; ++column) {
        const Column& spec = kColumns[column];
        const int title = header()->fontMetrics().horizontalAdvance(QString::fromUtf8(spec.title));
        const int widest =
            fontMetrics().horizontalAdvance(QString::fromUtf8(spec.widest)) + (column == 0 ? kImageRoom : 0);
        setColumnWidth(column, std::max(spec.width, std::max(title, widest) + kCellPadding));
    }
    // The list sorts itself on a header click, by its own comparison. Switching the control's sorting off
    // also makes the headers unclickable, so that comes first.
    setSortingEnabled(false);
    header()->setSectionsMovable(true);
    header()->setSectionsClickable(true);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->setStretchLastSection(false);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setIconSize(QSize(16, 16));
    connect(header(), &QHeaderView::sectionClicked, this, [this](int column) { OnHeaderClick(column); });
    // The count of selected rows is taken again only after something may have changed it.
    const auto recount = [this] { m_rows->Recount(); };
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, recount);
    connect(model(), &QAbstractItemModel::rowsInserted, this, recount);
    connect(model(), &QAbstractItemModel::rowsRemoved, this, recount);
    connect(model(), &QAbstractItemModel::modelReset, this, recount);
    connect(model(), &QAbstractItemModel::layoutChanged, this, recount);
    // Whether the kind column shows is looked at again once per turn after addresses changed, however many did.
    m_kindColumnCheck = new QTimer(this);
    m_kindColumnCheck->setSingleShot(true);
    m_kindColumnCheck->setInterval(0);
    connect(m_kindColumnCheck, &QTimer::timeout, this, [this] {
        ShowKindColumn();
        FillHistoryColumns();
        // A list opened (or rows added) finds the figures as the file has them now.
        ReloadHistoryIfChanged();
    });
    const auto kindCheck = [this] { m_kindColumnCheck->start(); };
    connect(model(), &QAbstractItemModel::rowsInserted, this, kindCheck);
    connect(model(), &QAbstractItemModel::rowsRemoved, this, kindCheck);
    connect(model(), &QAbstractItemModel::modelReset, this, kindCheck);
    connect(model(), &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& topLeft) {
        if (topLeft.column() == 0) {
            m_kindColumnCheck->start();
        }
    });

    BindCommands();

    AddressEditDelegate::Handlers handlers;
    handlers.commit = [this](int row, const QString& text) { CommitEdit(row, text); };
    handlers.copy = [this] { Copy(); };
    handlers.paste = [this] { Paste(); };
    m_delegate = new AddressEditDelegate(std::move(handlers), this);
    setItemDelegate(m_delegate);

    // White on the list's dark blue, with grid lines between the cells.
    setStyleSheet(QStringLiteral(
        "QTreeWidget { color: #ffffff; background-color: rgb(16,83,143); alternate-background-color: rgb(16,83,143);"
        " selection-background-color: palette(highlight); selection-color: palette(highlighted-text); }"
        "QTreeWidget::item { border-right: 1px solid rgb(60,120,175); border-bottom: 1px solid rgb(60,120,175); }"
        "QTreeWidget::item:selected { background-color: palette(highlight); color: palette(highlighted-text); }"));

    m_timeoutTimer = new QTimer(this);
    m_timeoutTimer->setObjectName(QStringLiteral("timeoutTimer"));
    connect(m_timeoutTimer, &QTimer::timeout, this, [this] {
        if (m_engine && m_onTimeout) {
            m_onTimeout();
        }
    });

    m_commands = std::make_unique<ListCommands>(*m_rows, MessageBoxService::Instance());
    m_proxyCommands = std::make_unique<ProxyBarCommands>(
        *m_rows, m_settings, [this] { return m_host != nullptr ? m_host->ProxyBar() : nullptr; });
    m_engine = std::make_unique<CheckEngine>(m_settings, *m_rows, runWindows, static_cast<ITimeoutTimer&>(*this),
                                             MessageBoxService::Instance());
    m_probeReady = m_engine->Initialize();
    TrustExtraCa();
    RecordHistory();
    ShowHttpsColumn();
    ShowKindColumn();
    ShowHistoryColumns();
    viewport()->setAcceptDrops(m_probeReady);
}

ProxyListView::~ProxyListView() {
    Shutdown();
    // The base classes clear the items after this object is gone: their signals must no longer reach it.
    disconnect(selectionModel(), nullptr, this, nullptr);
    disconnect(model(), nullptr, this, nullptr);
}

void ProxyListView::SetHost(IListViewHost* host) {
    m_host = host;
}

void ProxyListView::SetDocument(ProxyListDocument* document) {
    m_document = document;
}

void ProxyListView::BindCommands() {
    m_commandBindings.Bind(cmd::kEdit, [this] { Follow(m_commands->Edit()); });
    m_commandBindings.Bind(cmd::kInsert, [this] { Follow(m_commands->InsertAtMark()); });
    m_commandBindings.Bind(cmd::kAddAtEnd, [this] { Follow(m_commands->AddAtEnd()); });
    m_commandBindings.Bind(cmd::kDelete, [this] { Follow(m_commands->DeleteSelected()); });
    m_commandBindings.Bind(cmd::kSelectAll, [this] { Follow(m_commands->SelectAll()); });
    m_commandBindings.Bind(cmd::kClearResults, [this] { Follow(m_commands->ClearResults()); });
    m_commandBindings.Bind(cmd::kMoveUp, [this] { Follow(m_commands->MoveUp()); });
    m_commandBindings.Bind(cmd::kMoveDown, [this] { Follow(m_commands->MoveDown()); });
    m_commandBindings.Bind(cmd::kStartCheck, [this] { StartCheck(); });
    m_commandBindings.Bind(cmd::kStopCheck, [this] {
        if (m_rows->RowCount() > 0 && m_rows->SelectionMark() >= 0) {
            StopCheck();
        }
    });
    m_commandBindings.Bind(cmd::kSkipCheck, [this] {
        if (m_rows->RowCount() > 0) {
            SkipCheck();
        }
    });
    m_commandBindings.Bind(cmd::kChangeProxy, [this] { m_proxyCommands->ChangeProxy(); });
    m_commandBindings.Bind(cmd::kProxyOnOff, [this] { m_proxyCommands->ToggleProxy(); });
    m_commandBindings.Bind(cmd::kProxyOff, [this] { m_proxyCommands->ProxyOff(); });
    m_commandBindings.Bind(cmd::kEditCopy, [this] { Copy(); });
    m_commandBindings.Bind(cmd::kEditPaste, [this] { Paste(); });
    m_commandBindings.Bind(cmd::kCheckHistory, [this] { ShowCheckHistory(); });
    m_commandBindings.Bind(cmd::kHistoryColumns, [this] {
        m_settings.HistoryColumns = !m_settings.HistoryColumns;
        ShowHistoryColumns();
    });
}

bool ProxyListView::OnCommand(int id) {
    return m_commandBindings.Run(id);
}

void ProxyListView::Follow(const ListChange& change) {
    if (change.editRow >= 0) {
        BeginEdit(change.editRow);
    }
    if (change.scrollTo >= 0) {
        if (QTreeWidgetItem* item = m_rows->Item(change.scrollTo)) {
            scrollToItem(item);
        }
    }
    if (change.updateCounts && m_host != nullptr) {
        m_host->UpdateCounts();
    }
    if (change.markModified && m_document != nullptr) {
        m_document->SetModified(true);
    }
}

bool ProxyListView::RunActive() const {
    return m_engine && (m_engine->IsRunning() || m_engine->IsCheckBarRunning());
}

void ProxyListView::BeginEdit(int row) {
    QTreeWidgetItem* item = m_rows->Item(row);
    if (item == nullptr || !m_labelEditing) {
        return;
    }
    CloseEditBox();
    scrollToItem(item);
    editItem(item, 0);
}

QLineEdit* ProxyListView::EditBox() const {
    return m_delegate->EditBox();
}

// An edit that leaves the text as it was keeps the stored bytes (a Shift-JIS address stays Shift-JIS).
// A changed address marks the list modified, however the edit began: an address typed after a click on
// the row's label would otherwise be lost at exit without the question to save it.
void ProxyListView::CommitEdit(int row, const QString& text) {
    QTreeWidgetItem* item = m_rows->Item(row);
    if (item != nullptr && text != item->text(0)) {
        m_rows->WriteCell(item, 0, ToBytes(text));
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
    return QTreeWidget::edit(index.siblingAtColumn(0), trigger, event);
}

// The user's clicks, drags and keys select nothing while a run is active: the selection shows the rows the
// run has still to check, and only the run takes them off it.
QItemSelectionModel::SelectionFlags ProxyListView::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
    if (RunActive()) {
        return QItemSelectionModel::NoUpdate;
    }
    return QTreeWidget::selectionCommand(index, event);
}

void ProxyListView::selectAll() {
    if (!RunActive()) {
        QTreeWidget::selectAll();
    }
}

void ProxyListView::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    m_clickEdits = event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier && index.isValid() &&
                   index.row() == currentIndex().row() && m_rows->SelectedCount() == 1 &&
                   m_rows->IsRowSelected(index.row());
    QTreeWidget::mousePressEvent(event);
}

void ProxyListView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
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
    QTreeWidget::keyPressEvent(event);
}

// The selection is drawn only while the list has the focus: redraw it when the focus comes or goes.
void ProxyListView::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    viewport()->update();
}

void ProxyListView::focusOutEvent(QFocusEvent* event) {
    QTreeWidget::focusOutEvent(event);
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
