#include "ui/list/HistoryWindow.h"

#include <algorithm>
#include <array>
#include <utility>

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "core/check/CheckFormat.h"
#include "core/list/CheckRecord.h"
#include "core/history/HistoryStore.h"
#include "ui/list/HistoryPlot.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

struct Column {
    const char* title;
    const char* widest;
};
enum ColumnKind : std::size_t { kTime, kResult, kResponse, kHttps, kCountry, kAsn, kExit, kReason };
constexpr std::array<Column, 8> kColumns = {{
    {"ﾁｪｯｸ日時", "0000/00/00(00:00:00)"},
    {"結果", "Non-Anonymous"},
    {"ﾚｽﾎﾟﾝｽ(ms)", "000000"},
    {"HTTPS", "MITM"},
    {"国", "MM"},
    {"AS", "AS000000"},
    {"出口", "0000:0000:0000:0000"},
    {"理由", ""},
}};

// The place columns only where a check was looked up in the databases: a history kept without them reads as ever.
std::vector<ColumnKind> ColumnsFor(const std::vector<CheckRecord>& checks) {
    const bool placed =
        std::any_of(checks.begin(), checks.end(), [](const CheckRecord& check) { return !check.exitAddress.empty(); });
    if (placed) {
        return {kTime, kResult, kResponse, kHttps, kCountry, kAsn, kExit, kReason};
    }
    return {kTime, kResult, kResponse, kHttps, kReason};
}

// The checks as the table shows them: texts are made as rows come into view, so that ten thousand checks open
// as fast as ten.
class CheckTableModel final : public QAbstractTableModel {
public:
    CheckTableModel(std::vector<CheckRecord> checks, std::vector<ColumnKind> columns, QObject* parent)
        : QAbstractTableModel(parent), m_checks(std::move(checks)), m_columns(std::move(columns)) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_checks.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= static_cast<int>(m_columns.size())) {
            return {};
        }
        return QString::fromUtf8(kColumns[m_columns[static_cast<std::size_t>(section)]].title);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount({})) {
            return {};
        }
        // Newest first: the last checks are what the window is opened for.
        const CheckRecord& check = m_checks[m_checks.size() - 1 - static_cast<std::size_t>(index.row())];
        const ColumnKind column = m_columns[static_cast<std::size_t>(index.column())];
        if (role == Qt::TextAlignmentRole && column == kResponse) {
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        }
        if (role != Qt::DisplayRole) {
            return {};
        }
        return Text(check, column);
    }

private:
    static QString Text(const CheckRecord& check, ColumnKind column) {
        switch (column) {
        case kTime:
            if (const std::optional<std::time_t> when = ParseIsoUtc(check.checkedAt)) {
                return FromBytes(FormatCheckTime(*when));
            }
            return FromBytes(check.checkedAt);
        case kResult:
            return FromBytes(check.result);
        case kResponse:
            return check.responseMs ? QString::number(*check.responseMs) : QStringLiteral("--");
        case kHttps:
            return FromBytes(check.https);
        case kCountry:
            return FromBytes(check.country);
        case kAsn:
            return check.asn != 0 ? QStringLiteral("AS%1").arg(check.asn) : QString();
        case kExit:
            return FromBytes(check.exitAddress);
        default:
            return FromBytes(std::string(ReasonShown(check.reason)));
        }
    }

    std::vector<CheckRecord> m_checks;
    std::vector<ColumnKind> m_columns;
};

std::vector<CheckRecord> ReadChecks(const std::string& path, const std::string& address) {
    HistoryStore store;
    if (path.empty() || !store.OpenForReading(path)) {
        return {};
    }
    return store.ChecksOf(address);
}

} // namespace

HistoryWindow::HistoryWindow(const std::string& path, const std::string& address, QWidget* parent)
    : HistoryWindow(ReadChecks(path, address), address, parent) {}

HistoryWindow::HistoryWindow(std::vector<CheckRecord> checks, const std::string& address, QWidget* parent)
    : QDialog(parent, Qt::Window) {
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(QStringLiteral("ﾁｪｯｸ履歴 - ") + FromBytes(address));
    setSizeGripEnabled(true);

    m_plot = new HistoryPlot(this);
    m_plot->SetChecks(checks);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("historyTable"));
    std::vector<ColumnKind> columns = ColumnsFor(checks);
    m_table->setModel(new CheckTableModel(std::move(checks), columns, m_table));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Rows of one height: the view lays out ten thousand of them without measuring each.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (std::size_t column = 0; column + 1 < columns.size(); ++column) {
        const Column& shown = kColumns[columns[column]];
        const int title = fontMetrics().horizontalAdvance(QString::fromUtf8(shown.title));
        const int widest = fontMetrics().horizontalAdvance(QString::fromUtf8(shown.widest));
        m_table->setColumnWidth(static_cast<int>(column), std::max(title, widest) + 16);
    }

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_plot);
    splitter->addWidget(m_table);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(splitter);
    resize(760, 520);
}

HistoryWindow* HistoryWindow::Open(const std::string& path, const std::string& address, QWidget* parent) {
    auto* window = new HistoryWindow(path, address, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

} // namespace zandel::ui
