#include "ui/list/HistoryLoader.h"

#include <system_error>
#include <utility>

namespace zandel::ui {

HistoryLoader::HistoryLoader(Read read, Deliver deliver, QObject* parent)
    : QObject(parent), m_read(std::move(read)), m_deliver(std::move(deliver)) {}

// What the thread posted after this is dropped with the object's pending events.
HistoryLoader::~HistoryLoader() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void HistoryLoader::Load() {
    if (m_busy) {
        m_again = true;
        return;
    }
    Start();
}

void HistoryLoader::Start() {
    m_busy = true;
    try {
        m_thread = std::thread([this] {
            std::vector<HistorySummary> summaries = m_read();
            QMetaObject::invokeMethod(
                this, [this, summaries = std::move(summaries)]() mutable { Finished(std::move(summaries)); },
                Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // Without a thread the figures are read here: late is better than never.
        Finished(m_read());
    }
}

void HistoryLoader::Finished(std::vector<HistorySummary> summaries) {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_busy = false;
    m_deliver(std::move(summaries));
    if (std::exchange(m_again, false)) {
        Start();
    }
}

} // namespace zandel::ui
