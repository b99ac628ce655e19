#pragma once

#include <functional>
#include <thread>
#include <vector>

#include <QObject>

#include "core/history/HistoryStore.h"

namespace zandel::ui {

// Reads the history's summaries on a thread of its own, so that a long history never holds up the window, and
// hands them to `deliver` on the user-interface thread. A load asked for while one is under way follows it, so
// that the last figures shown are never older than the last request.
class HistoryLoader final : public QObject {
public:
    using Read = std::function<std::vector<HistorySummary>()>;
    using Deliver = std::function<void(std::vector<HistorySummary>)>;

    HistoryLoader(Read read, Deliver deliver, QObject* parent = nullptr);
    ~HistoryLoader() override; // waits for a read under way, and delivers nothing more
    HistoryLoader(const HistoryLoader&) = delete;
    HistoryLoader& operator=(const HistoryLoader&) = delete;

    void Load();
    bool IsLoading() const { return m_busy; }

private:
    void Start();
    void Finished(std::vector<HistorySummary> summaries);

    Read m_read;
    Deliver m_deliver;
    std::thread m_thread;
    bool m_busy = false;
    bool m_again = false;
};

} // namespace zandel::ui
