#include "ui/frame/RunWindows.h"

#include <QThread>
#include <QTimer>

#include "core/proxy/ProxyBar.h"
#include "ui/frame/CheckBar.h"
#include "ui/list/ProxyListView.h"
#include "ui/log/LogView.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

// How long log lines from the run may wait to be added together.
constexpr int kLogFlushMs = 40;

} // namespace

RunWindows::RunWindows(IRunFrame& frame, CCheckBar& checkBar, IProxyBar& proxyBar, QObject* parent)
    : QObject(parent), m_frame(frame), m_checkBar(checkBar), m_proxyBar(proxyBar), m_bridge(this) {
    m_logFlushTimer = new QTimer(this);
    m_logFlushTimer->setSingleShot(true);
    m_logFlushTimer->setInterval(kLogFlushMs);
    connect(m_logFlushTimer, &QTimer::timeout, this, [this] { FlushLog(); });
}

void RunWindows::SetPanes(ProxyListView* list, CLogView* log) {
    m_list = list;
    m_log = log;
}

// A check writes a dozen lines per proxy, from the run thread and the probe's worker: they are gathered
// and added to the log at most every few tens of milliseconds, so that the log's layout and painting are
// done once per batch, not per line. The end of a run (Sync) adds what is left at once.
void RunWindows::AppendLog(const std::string& text) {
    if (QThread::currentThread() == thread()) {
        FlushLog();
        if (m_log != nullptr) {
            m_log->AppendText(text);
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
        m_bridge.Post([this] { m_logFlushTimer->start(); });
    }
}

void RunWindows::FlushLog() {
    std::string text;
    {
        std::lock_guard lock(m_pendingLogMutex);
        text.swap(m_pendingLog);
    }
    if (!text.empty() && m_log != nullptr) {
        m_log->AppendText(text);
    }
}

std::string RunWindows::GetTitle() {
    return m_bridge.Call([this] { return ToBytes(m_frame.GetCaption()); });
}

void RunWindows::SetTitle(const std::string& title) {
    m_bridge.Post([this, title] { m_frame.SetCaption(FromBytes(title)); });
}

void RunWindows::SetStartStop(bool running) {
    m_bridge.Post([this, running] {
        m_checkBar.SetStartStop(running);
        m_frame.RunStateChanged();
    });
}

void RunWindows::SetLabelEditing(bool enabled) {
    m_bridge.Post([this, enabled] {
        if (m_list != nullptr) {
            m_list->SetLabelEditing(enabled);
        }
    });
}

void RunWindows::StartCheckIndicator() {
    m_bridge.Post([this] { m_frame.StartCheckIndicator(); });
}

void RunWindows::StopCheckIndicator() {
    m_bridge.Post([this] { m_frame.StopCheckIndicator(); });
}

std::string RunWindows::GetProxyBarAddress() {
    return m_bridge.Call([this] { return m_proxyBar.GetAddr(); });
}

void RunWindows::Sync() {
    m_bridge.Call([this] { FlushLog(); });
}

void RunWindows::SetRunningCount(int count) {
    m_runningCount = count;
    PostCounts();
}

void RunWindows::SetRunProgress(int done, int total) {
    m_progress =
        static_cast<std::uint64_t>(static_cast<std::uint32_t>(done)) << 32U | static_cast<std::uint32_t>(total);
    PostCounts();
}

void RunWindows::PostCounts() {
    if (m_countsPosted.exchange(true)) {
        return; // the call on its way reads the counts when it runs
    }
    m_bridge.Post([this] {
        m_countsPosted = false;
        const std::uint64_t progress = m_progress;
        m_frame.ShowRunningCount(m_runningCount);
        m_frame.ShowRunProgress(static_cast<int>(progress >> 32U), static_cast<int>(progress & 0xffffffffU));
    });
}

void RunWindows::RunNotice(const std::string& text) {
    // The status bar shows the latest word of the run (a judge that stopped answering, and again) until the next.
    std::string shown = text.rfind("NOTICE>", 0) == 0 ? text.substr(7) : text;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) {
        shown.pop_back();
    }
    m_bridge.Post([this, shown] { m_frame.ShowRunNotice(FromBytes(shown)); });
}

void RunWindows::RunEnded() {
    m_bridge.Post([this] { m_frame.RunStateChanged(); });
}

} // namespace zandel::ui
