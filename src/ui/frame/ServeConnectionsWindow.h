#pragma once

#include <vector>

#include <QWidget>

#include "core/serve/ServeConnection.h"
#include "core/serve/ServePool.h"

class QTableWidget;

namespace zandel::ui {

// "ﾛｰｶﾙﾌﾟﾛｷｼの接続": the local proxy's last connections, newest first, above its pool with what each upstream
// has done so far. A window of its own beside the main one, which the serve keeps up to date while it shows.
class ServeConnectionsWindow final : public QWidget {
    Q_OBJECT
public:
    explicit ServeConnectionsWindow(QWidget* parent);

    void ShowConnections(const std::vector<ServeConnectionRecord>& records);
    void ShowPool(const std::vector<UpstreamTally>& tally);

private:
    QTableWidget* m_connections = nullptr;
    QTableWidget* m_pool = nullptr;
};

} // namespace zandel::ui
