#include "ui/frame/RecheckWindows.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <utility>

#include <QLabel>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QTimer>

#include "core/settings/AppSettings.h"
#include "core/check/TlsStep.h"
#include "core/history/HistoryRecorder.h"
#include "core/history/HistoryStore.h"
#include "core/proxy/ProxyBarCommands.h"
#include "ui/frame/ProxyBar.h"
#include "ui/frame/RunWindows.h"
#include "ui/frame/TrayIcon.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

constexpr int kStatusNoticeMs = 30000;

} // namespace

RecheckWindows::RecheckWindows(AppSettings& settings, CProxyBar& proxyBar, RunWindows& run, TrayIcon& tray,
                               QStatusBar& status, QObject* parent)
    : QObject(parent), m_settings(settings), m_proxyBar(proxyBar), m_run(run), m_tray(tray), m_status(&status) {
    setObjectName(QStringLiteral("recheckWindows"));
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("recheckTimer"));
    connect(m_timer, &QTimer::timeout, this, [this] { Tick(); });
    m_timer->start(kTickMs);
}

RecheckWindows::~RecheckWindows() {
    Shutdown();
}

void RecheckWindows::Tick() {
    // A box the switch brings up (the desktop refused it) runs an event loop of its own, in which this timer goes
    // on firing: the tick under way finishes first.
    if (m_shutDown || m_ticking) {
        return;
    }
    const QScopedValueRollback ticking(m_ticking, true);
    if (m_settings.AutoRecheck && !m_scheduler) {
        Prepare();
    }
    if (m_scheduler) {
        m_scheduler->Tick(m_settings);
    }
}

void RecheckWindows::Shutdown() {
    m_shutDown = true;
    m_timer->stop();
    m_scheduler.reset();
    m_historyBatches.reset();
    m_history.reset();
}

// Nothing of the re-checks exists until the user first switches them on: a program that never does keeps
// exactly one history connection, as before.
void RecheckWindows::Prepare() {
    if (const std::optional<std::string> path = StartDirFile(m_settings, kHistoryFileName)) {
        auto history = std::make_unique<HistoryStore>();
        if (history->Open(*path, m_settings.HistoryKeepDays, std::time(nullptr), [](const std::string& cause) {
                std::fprintf(stderr, "zandel: the history of the re-checks is not kept: %s\n", cause.c_str());
            })) {
            m_history = std::move(history);
            m_historyBatches = std::make_unique<HistoryRecorder>(*m_history);
        }
    }
    HistoryStore* store = m_history.get();
    HistoryRecorder* batches = m_historyBatches.get();
    // Failover reads the history once a switch is due: what this round found is written first.
    auto summaries = [store, batches] {
        if (store == nullptr) {
            return std::vector<HistorySummary>();
        }
        batches->Flush();
        return store->Summaries();
    };
    m_scheduler = std::make_unique<RecheckScheduler>(*this, batches, summaries, m_clock);
    if (const char* caFile = std::getenv("ZANDEL_CA_FILE"); caFile != nullptr && *caFile != '\0') {
        std::string error;
        if (auto trust = TunnelTrust::Load(caFile, error)) {
            m_scheduler->SetTunnelTrust(std::move(trust));
        }
    }
}

void RecheckWindows::AppendLog(const std::string& text) {
    m_run.AppendLog(text);
}

DesktopProxy RecheckWindows::CurrentProxy() {
    return {m_proxyBar.GetUseProxy() != 0, m_proxyBar.GetAddr()};
}

bool RecheckWindows::SwitchProxy(const std::string& address) {
    return ChangeToFavourite(m_proxyBar, address, m_settings);
}

void RecheckWindows::Notify(const std::string& text) {
    const QString notice = FromBytes(text);
    if (!m_tray.Notify(notice) && m_status != nullptr) {
        QString line = notice;
        m_status->showMessage(line.replace(QLatin1Char('\n'), QLatin1Char(' ')), kStatusNoticeMs);
        GiveNoticeRoom(line);
    }
}

// A notice names a proxy or two and says what was done: longer than the room left of the count panes, which would
// cut it off. The panes step aside while it shows and come back with whatever the status bar shows next.
void RecheckWindows::GiveNoticeRoom(const QString& line) {
    m_noticeLine = line;
    for (QLabel* pane : m_status->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
        // The message has hidden the bar's other texts; what still shows are the panes.
        if (pane->isVisible()) {
            pane->hide();
            m_panesAside.push_back(pane);
        }
    }
    if (!m_noticeWatch) {
        m_noticeWatch = connect(m_status, &QStatusBar::messageChanged, this, [this](const QString& message) {
            if (message == m_noticeLine) {
                return;
            }
            for (const QPointer<QLabel>& pane : std::exchange(m_panesAside, {})) {
                if (pane != nullptr) {
                    pane->show();
                }
            }
        });
    }
}

void RecheckWindows::RoundDue() {
    if (m_roundDue) {
        m_roundDue();
    }
}

void RecheckWindows::RoundFinished(const IRowStore& rows) {
    if (m_roundFinished) {
        m_roundFinished(rows);
    }
}

} // namespace zandel::ui
