// The check run as the list window drives it: its named operations, the time-out timer, the in-place edit
// switched off while the run holds the rows' indexes, and the orderly end of the run at closing.

#include "ui/list/ProxyListView.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include "core/settings/AppSettings.h"
#include "core/list/ProxyRow.h"
#include "core/check/TlsStep.h"
#include "core/history/HistoryRecorder.h"
#include "core/history/HistoryStore.h"
#include "core/util/ProxyAddress.h"
#include "ui/list/HistoryLoader.h"
#include "ui/list/ListModel.h"
#include "ui/list/ListRows.h"
#include "ui/util/MessageBoxService.h"

namespace zandel::ui {

// The check run: its operations go to the engine, which is gone once the window has shut down.
void ProxyListView::StartCheck() {
    if (!m_engine) {
        return;
    }
    // The page's second look as the console's --twice takes it, fixed for the run from its start.
    if (!m_engine->IsRunning()) {
        m_engine->SetSecondLook(m_settings.TwiceOn, std::chrono::seconds(m_settings.TwicePause));
        OpenPlacesIfChanged();
        TakeSites(true);
    }
    m_engine->StartCheck();
}

void ProxyListView::StartStartupCheck() {
    if (m_engine) {
        m_engine->StartStartupCheck();
    }
}

void ProxyListView::StopCheck() {
    if (m_engine) {
        m_engine->StopCheck();
    }
}

void ProxyListView::SkipCheck() {
    if (m_engine) {
        m_engine->SkipCheck();
    }
}

bool ProxyListView::IsRunning() const {
    return m_engine && m_engine->IsRunning();
}

bool ProxyListView::IsCheckBarRunning() const {
    return m_engine && m_engine->IsCheckBarRunning();
}

int ProxyListView::RemainingCount() const {
    return m_engine ? m_engine->RemainingCount() : 0;
}

// The console's --ca-file for the window: an extra trust anchor for the HTTPS step (a company or test CA).
void ProxyListView::TrustExtraCa() {
    if (const char* caFile = std::getenv("ZANDEL_CA_FILE"); caFile != nullptr && *caFile != '\0') {
        std::string error;
        if (auto trust = TunnelTrust::Load(caFile, error)) {
            m_engine->SetTunnelTrust(std::move(trust));
        } else {
            std::fprintf(stderr, "zandel: ZANDEL_CA_FILE: %s\n", error.c_str());
        }
    }
}

void ProxyListView::RecordHistory() {
    // Not in a settings folder of another user, as no other file of the program is.
    const std::optional<std::string> path = StartDirFile(m_settings, kHistoryFileName);
    if (!path) {
        return;
    }
    m_historyPath = *path;
    m_history = std::make_unique<HistoryStore>();
    // The history only records: told once, from whichever thread found it unusable, and the checks go on
    // without it.
    if (m_history->Open(*path, m_settings.HistoryKeepDays, std::time(nullptr), [](const std::string& cause) {
            MessageBoxService::Instance().Tell(HistoryUnusableMessage(cause));
        })) {
        m_historyBatches = std::make_unique<HistoryRecorder>(*m_history);
        // The columns show what the run just added; the bridge drops the call once the window is closing.
        m_historyBatches->SetRunEndedCallback([this] {
            m_rows->Bridge().Post([this] {
                if (m_settings.HistoryColumns) {
                    LoadHistoryColumns();
                }
                if (m_settings.SiteColumns) {
                    LoadSiteUptimes();
                }
            });
        });
        m_placeRecorder->SetInner(m_historyBatches.get());
    }
}

void ProxyListView::ShowHttpsColumn() {
    setColumnHidden(kHttpsColumn, !m_settings.HttpsCheckOn);
}

void ProxyListView::ShowKindColumn() {
    setColumnHidden(kKindColumn, !m_settings.DetectProxyType && !m_model->AnyScheme());
}

void ProxyListView::SetLabelEditing(bool enabled) {
    m_labelEditing = enabled;
    setEditTriggers(enabled ? (QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed)
                            : QAbstractItemView::NoEditTriggers);
    if (!enabled) {
        CloseEditBox();
    }
}

// Rows begin and end roughly in list order, so the search for the first running row starts where it last found one.
void ProxyListView::FollowRun() {
    if (!IsRunning()) {
        m_followFrom = 0;
        return;
    }
    for (int row = m_followFrom, count = m_model->Count(); row < count; ++row) {
        if (m_model->Cell(row, 1) == kCheckingText) {
            m_followFrom = row;
            if (const int view = m_model->ViewRow(row); view >= 0) {
                scrollTo(m_model->index(view, 0), QAbstractItemView::EnsureVisible);
            }
            return;
        }
    }
}

void ProxyListView::Start(int periodMs, std::function<void()> onFire) {
    m_rows->Bridge().Post([this, periodMs, onFire = std::move(onFire)] {
        m_onTimeout = onFire;
        m_timeoutTimer->start(periodMs);
    });
}

// Not waited for: a firing that slips in before the stop is carried out names a job that is over, and the
// engine ignores it.
void ProxyListView::Stop() {
    m_rows->Bridge().Post([this] { m_timeoutTimer->stop(); });
}

// Closing: no call from the run's threads waits any more, the run is stopped, and the calls already under
// way are served until every run thread has ended. A cancel that came before the probe was ready to take it
// is repeated, so that a silent proxy cannot hold the close up for the whole wait time-out.
void ProxyListView::Shutdown() {
    if (!m_engine) {
        return;
    }
    m_rows->Bridge().Close();
    CloseEditBox();
    if (m_engine->HasRunThreads()) {
        m_engine->StopCheck();
        while (m_engine->HasRunThreads()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            m_engine->Probe().Cancel();
            QThread::msleep(2);
        }
    }
    m_timeoutTimer->stop();
    m_engine.reset();
    // The reader waits for the writer: it goes first.
    if (m_historyWatch != nullptr) {
        m_historyWatch->stop();
    }
    m_historyLoader.reset();
    m_siteUptimeLoader.reset();
    // After the engine, whose run thread hands it checks; what is left is written now.
    m_historyBatches.reset();
    m_history.reset();
}

} // namespace zandel::ui
