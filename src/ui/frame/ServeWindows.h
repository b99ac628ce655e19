#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include <QObject>
#include <QPointer>

#include "core/list/RowStore.h"
#include "core/serve/ServeLog.h"
#include "core/serve/ServeSettings.h"
#include "ui/frame/ServeConnectionsWindow.h"

class QLabel;
class QTimer;
class QWidget;

namespace zandel {

class HistoryRecorder;
class HistoryStore;
struct AppSettings;
class IMessageService;
class ProxyServer;
class ServePool;
} // namespace zandel

namespace zandel::ui {

// The local proxy in the main window: started and stopped by its commands with the settings of "ﾛｰｶﾙﾌﾟﾛｷｼ", its
// pool renewed from the list's live rows (or the live favourites) whenever a check of the list or a re-check round
// ends, its address, pool and rate in a pane of the status bar, its last connections in a window of their own.
// Clients are carried on the core's own loop thread; the names of a renewed pool are looked up on a thread of this
// object's, never on the window's.
class ServeWindows final : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 1000;

    // `pane`: the status bar's, hidden while the serve is not on.
    ServeWindows(AppSettings& settings, IMessageService& messages, QLabel& pane, QWidget& window);
    ~ServeWindows() override;

    bool Serving() const { return m_server != nullptr; }
    // With the settings as they are now; false when it cannot (the user has been told why, once).
    // `rows`: the list as it stands, whose live rows are the first pool.
    bool Start(const IRowStore& rows);
    void Stop();
    // A check of the list has ended: its live rows become the pool, and its favourites are noted.
    void ListChecked(const IRowStore& rows);
    // A re-check round has ended: the favourites it checked are noted, and renew a pool of favourites.
    void RoundChecked(const IRowStore& rows);
    // The desktop's proxy entry for the port served on; empty when not serving.
    std::string DesktopEntry() const;
    // The address served on, "127.0.0.1:8181"; empty when not serving.
    std::string Address() const;
    void ShowConnections();
    ServeConnectionsWindow* Connections() const { return m_connections; }
    // Redraws the pane and the connections window; the timer calls it every kTickMs.
    void Tick();
    // Waits for a renewal of the pool on its way (its names looked up).
    void WaitForPool();

private:
    void Renew(MemoryRowStore rows, int total);
    void RenewFromList(const IRowStore& rows);
    void RenewFromFavourites();
    void OpenHistory();
    QString PaneText() const;

    AppSettings& m_settings;
    IMessageService& m_messages;
    QPointer<QLabel> m_pane;
    QWidget& m_window;
    QTimer* m_timer = nullptr;
    QPointer<ServeConnectionsWindow> m_connections;
    FavouriteChecks m_favourites;
    ServeSetup m_setup;
    std::shared_ptr<ServeLog> m_log;
    std::shared_ptr<ServePool> m_pool;
    // The served connections go to the history, so that the uptime columns learn from real use; the server, which
    // hands them over on its loop, is declared after them and so goes first.
    std::unique_ptr<HistoryStore> m_history;
    std::unique_ptr<HistoryRecorder> m_historyBatches;
    std::unique_ptr<ProxyServer> m_server;
    std::thread m_renewal;
    long long m_lastAccepted = 0;
    std::chrono::steady_clock::time_point m_lastTick;
    double m_rate = 0;
    long long m_shownAdded = -1;
};

} // namespace zandel::ui
