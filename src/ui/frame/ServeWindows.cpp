#include "ui/frame/ServeWindows.h"

#include <cstdio>
#include <ctime>
#include <random>
#include <system_error>
#include <variant>

#include <QLabel>
#include <QTimer>

#include "core/check/ProbeAddress.h"
#include "core/history/HistoryRecorder.h"
#include "core/history/HistoryStore.h"
#include "core/serve/ProxyServer.h"
#include "core/serve/ServePool.h"
#include "core/serve/ServeRows.h"
#include "core/settings/AppSettings.h"
#include "core/util/MessageService.h"
#include "ui/frame/ServeConnectionsWindow.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

constexpr const char* kCannotServe = "ﾛｰｶﾙﾌﾟﾛｷｼを開始できませんでした\n";

} // namespace

ServeWindows::ServeWindows(AppSettings& settings, IMessageService& messages, QLabel& pane, QWidget& window)
    : QObject(&window), m_settings(settings), m_messages(messages), m_pane(&pane), m_window(window) {
    setObjectName(QStringLiteral("serveWindows"));
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, [this] { Tick(); });
}

ServeWindows::~ServeWindows() {
    Stop();
}

bool ServeWindows::Start(const IRowStore& rows) {
    if (Serving()) {
        return true;
    }
    std::variant<ServeSetup, std::string> setup = ServeSetupOf(m_settings);
    if (const std::string* problem = std::get_if<std::string>(&setup)) {
        ShowOk(m_messages, kCannotServe + *problem);
        return false;
    }
    m_setup = std::get<ServeSetup>(std::move(setup));
    m_log = std::make_shared<ServeLog>();
    m_pool = std::make_shared<ServePool>(m_setup.config, std::random_device{}());
    auto server = std::make_unique<ProxyServer>(m_setup.config, *m_pool);
    server->SetConnectionLog([log = m_log](const ServeConnectionRecord& record) { log->Add(record); });
    OpenHistory();
    if (HistoryRecorder* batches = m_historyBatches.get()) {
        server->RecordServed([batches](ServedRecord record) { batches->AddServed(std::move(record)); });
    }
    std::string error;
    if (!server->Listen(error)) {
        ShowOk(m_messages, kCannotServe + error);
        return false;
    }
    if (!server->Start()) {
        ShowOk(m_messages, std::string(kCannotServe) + "the system refused a thread for it");
        return false;
    }
    m_server = std::move(server);
    m_lastAccepted = 0;
    m_rate = 0;
    m_shownAdded = -1;
    m_lastTick = std::chrono::steady_clock::now();
    if (m_setup.favourites) {
        RenewFromFavourites();
    } else {
        RenewFromList(rows);
    }
    m_timer->start(kTickMs);
    Tick();
    return true;
}

void ServeWindows::Stop() {
    m_timer->stop();
    WaitForPool();
    // The loop ends and closes every connection before the pool it reads goes, and hands over its last
    // connections before their history is written and closed.
    m_server.reset();
    m_historyBatches.reset();
    m_history.reset();
    m_pool.reset();
    if (m_pane != nullptr) {
        m_pane->setVisible(false);
    }
}

void ServeWindows::WaitForPool() {
    if (m_renewal.joinable()) {
        m_renewal.join();
    }
}

void ServeWindows::ListChecked(const IRowStore& rows) {
    m_favourites.Note(rows, ListEntries(m_settings, SettingsList::Favourites));
    if (!Serving()) {
        return;
    }
    if (m_setup.favourites) {
        RenewFromFavourites();
    } else {
        RenewFromList(rows);
    }
}

void ServeWindows::RoundChecked(const IRowStore& rows) {
    m_favourites.Note(rows, ListEntries(m_settings, SettingsList::Favourites));
    if (Serving() && m_setup.favourites) {
        RenewFromFavourites();
    }
}

void ServeWindows::RenewFromList(const IRowStore& rows) {
    Renew(LiveRowsOf(rows), rows.RowCount());
}

void ServeWindows::RenewFromFavourites() {
    const std::vector<std::string> favourites = ListEntries(m_settings, SettingsList::Favourites);
    Renew(m_favourites.Rows(favourites), static_cast<int>(favourites.size()));
}

// A proxy given by name is looked up as the pool is made, which may take as long as the resolver likes: on a
// thread of its own, the pool renewed behind its lock when the lookups are done.
void ServeWindows::Renew(MemoryRowStore rows, int total) {
    WaitForPool();
    auto work = [pool = m_pool, allowLeaky = m_setup.allowLeaky,
                 live = std::make_shared<const MemoryRowStore>(std::move(rows)), total] {
        pool->Replace(UpstreamsOfRows(*live, ProxyKind::Http, allowLeaky, ResolveProbeHost), total);
    };
    try {
        m_renewal = std::thread(work);
    } catch (const std::system_error&) {
        work(); // no thread to be had: the window waits rather than serve a stale pool
    }
}

std::string ServeWindows::Address() const {
    return Serving() ? ServeAddressText(m_setup.config.host, m_server->Port()) : std::string();
}

std::string ServeWindows::DesktopEntry() const {
    return Serving() ? DesktopEntryOf(m_setup.config, m_server->Port()) : std::string();
}

QString ServeWindows::PaneText() const {
    const ServeStatus status = m_server->Status();
    const QString address = FromBytes(Address());
    if (status.live == 0) {
        return QStringLiteral("ﾛｰｶﾙﾌﾟﾛｷｼ %1 : ﾌﾟｰﾙが空です (0/%2)").arg(address).arg(status.total);
    }
    return QStringLiteral("ﾛｰｶﾙﾌﾟﾛｷｼ %1 : %2/%3 : %4 接続/秒")
        .arg(address)
        .arg(status.live)
        .arg(status.total)
        .arg(m_rate, 0, 'f', 1);
}

void ServeWindows::Tick() {
    if (!Serving()) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    const long long accepted = m_server->Status().accepted;
    const double seconds = std::chrono::duration<double>(now - m_lastTick).count();
    if (seconds > 0) {
        m_rate = static_cast<double>(accepted - m_lastAccepted) / seconds;
    }
    m_lastAccepted = accepted;
    m_lastTick = now;
    if (m_historyBatches) {
        m_historyBatches->HandOver(); // the connections of the last second in one transaction
    }
    m_pane->setText(PaneText());
    m_pane->setVisible(true);
    if (m_connections != nullptr && m_connections->isVisible()) {
        const long long added = m_log->Added();
        m_connections->ShowPool(m_pool->Tally(ServePool::Clock::now()));
        if (added != m_shownAdded) {
            m_connections->ShowConnections(m_log->Records());
            m_shownAdded = added;
        }
    }
}

void ServeWindows::OpenHistory() {
    const std::optional<std::string> path = StartDirFile(m_settings, kHistoryFileName);
    if (!path) {
        return;
    }
    auto history = std::make_unique<HistoryStore>();
    if (history->Open(*path, m_settings.HistoryKeepDays, std::time(nullptr), [](const std::string& cause) {
            std::fprintf(stderr, "zandel: the local proxy's connections are not kept in the history: %s\n",
                         cause.c_str());
        })) {
        m_history = std::move(history);
        m_historyBatches = std::make_unique<HistoryRecorder>(*m_history);
    }
}

void ServeWindows::ShowConnections() {
    if (m_connections == nullptr) {
        m_connections = new ServeConnectionsWindow(&m_window);
    }
    m_shownAdded = -1;
    m_connections->show();
    m_connections->raise();
    m_connections->activateWindow();
    if (Serving()) {
        Tick();
    } else {
        m_connections->ShowPool({});
    }
}

} // namespace zandel::ui
