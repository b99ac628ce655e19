#include "ui/frame/ServeConnectionsWindow.h"

#include <algorithm>
#include <ctime>

#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/serve/ServeLog.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

// Each column as wide as its widest likely text, measured once: fitting the columns to a thousand rows every second
// would cost more than the rows themselves.
QTableWidget* Table(const QString& name, const QStringList& headers, const QStringList& widest, QWidget* parent) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    table->setObjectName(name);
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(false);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setStretchLastSection(true);
    for (int column = 0; column < widest.size(); ++column) {
        const int text = table->fontMetrics().horizontalAdvance(widest[column]);
        const int header = table->fontMetrics().horizontalAdvance(headers[column]);
        table->setColumnWidth(column, std::max(text, header) + 16);
    }
    return table;
}

void SetRow(QTableWidget& table, int row, const QStringList& cells) {
    for (int column = 0; column < cells.size(); ++column) {
        QTableWidgetItem* item = table.item(row, column);
        if (item == nullptr) {
            item = new QTableWidgetItem;
            table.setItem(row, column, item);
        }
        item->setText(cells[column]);
    }
}

QString LocalTime(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[16] = {};
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return QString::fromLatin1(text);
}

} // namespace

ServeConnectionsWindow::ServeConnectionsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("serveConnectionsWindow"));
    setWindowTitle(QStringLiteral("ﾛｰｶﾙﾌﾟﾛｷｼの接続"));
    auto* splitter = new QSplitter(Qt::Vertical, this);
    auto* connectionsPane = new QWidget(splitter);
    auto* connectionsLayout = new QVBoxLayout(connectionsPane);
    connectionsLayout->setContentsMargins(0, 0, 0, 0);
    connectionsLayout->addWidget(new QLabel(QStringLiteral("最近の接続 (新しい順、最大1000件)"), connectionsPane));
    m_connections =
        Table(QStringLiteral("serveConnections"),
              {QStringLiteral("時刻"), QStringLiteral("ｸﾗｲｱﾝﾄ"), QStringLiteral("接続先"), QStringLiteral("ﾌﾟﾛｷｼ"),
               QStringLiteral("試行"), QStringLiteral("結果")},
              {QStringLiteral("00:00:00"), QStringLiteral("000.000.000.000"), QStringLiteral("www.example.com:443"),
               QStringLiteral("000.000.000.000:00000"), QStringLiteral("00")},
              connectionsPane);
    connectionsLayout->addWidget(m_connections);
    auto* poolPane = new QWidget(splitter);
    auto* poolLayout = new QVBoxLayout(poolPane);
    poolLayout->setContentsMargins(0, 0, 0, 0);
    poolLayout->addWidget(new QLabel(QStringLiteral("ﾌﾟｰﾙ"), poolPane));
    m_pool =
        Table(QStringLiteral("servePool"),
              {QStringLiteral("ﾌﾟﾛｷｼ"), QStringLiteral("成功"), QStringLiteral("失敗"), QStringLiteral("状態")},
              {QStringLiteral("socks5://000.000.000.000:00000"), QStringLiteral("000000"), QStringLiteral("000000")},
              poolPane);
    poolLayout->addWidget(m_pool);
    splitter->addWidget(connectionsPane);
    splitter->addWidget(poolPane);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    resize(720, 480);
}

void ServeConnectionsWindow::ShowConnections(const std::vector<ServeConnectionRecord>& records) {
    m_connections->setRowCount(static_cast<int>(records.size()));
    int row = 0;
    for (auto record = records.rbegin(); record != records.rend(); ++record, ++row) {
        SetRow(*m_connections, row,
               {LocalTime(record->ended), FromBytes(record->client), FromBytes(record->target),
                FromBytes(record->upstream), QString::number(record->tries),
                QString::fromUtf8(ServeOutcomeText(record->outcome))});
    }
}

void ServeConnectionsWindow::ShowPool(const std::vector<UpstreamTally>& tally) {
    m_pool->setRowCount(static_cast<int>(tally.size()));
    int row = 0;
    for (const UpstreamTally& upstream : tally) {
        SetRow(*m_pool, row++,
               {FromBytes(upstream.shown), QString::number(upstream.served), QString::number(upstream.failed),
                upstream.down ? QStringLiteral("停止中") : QStringLiteral("使用可")});
    }
}

} // namespace zandel::ui
