#pragma once

#include <functional>
#include <system_error>
#include <thread>
#include <utility>

#include <QObject>

namespace zandel::ui {

// Reads from the history on a thread of its own, so that a long history never holds up the window, and hands what it
// read to `deliver` on the user-interface thread. A load asked for while one is under way follows it, so that the
// last figures shown are never older than the last request.
template <typename Result> class HistoryLoader final : public QObject {
public:
    using Read = std::function<Result()>;
    using Deliver = std::function<void(Result)>;

    HistoryLoader(Read read, Deliver deliver, QObject* parent = nullptr)
        : QObject(parent), m_read(std::move(read)), m_deliver(std::move(deliver)) {}
    // Waits for a read under way; what its thread posted after this is dropped with the object's pending events.
    ~HistoryLoader() override {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    HistoryLoader(const HistoryLoader&) = delete;
    HistoryLoader& operator=(const HistoryLoader&) = delete;

    void Load() {
        if (m_busy) {
            m_again = true;
            return;
        }
        Start();
    }
    bool IsLoading() const { return m_busy; }

private:
    void Start() {
        m_busy = true;
        try {
            m_thread = std::thread([this] {
                Result read = m_read();
                QMetaObject::invokeMethod(
                    this, [this, read = std::move(read)]() mutable { Finished(std::move(read)); },
                    Qt::QueuedConnection);
            });
        } catch (const std::system_error&) {
            // Without a thread the history is read here: late is better than never.
            Finished(m_read());
        }
    }

    void Finished(Result read) {
        if (m_thread.joinable()) {
            m_thread.join();
        }
        m_busy = false;
        m_deliver(std::move(read));
        if (std::exchange(m_again, false)) {
            Start();
        }
    }

    Read m_read;
    Deliver m_deliver;
    std::thread m_thread;
    bool m_busy = false;
    bool m_again = false;
};

} // namespace zandel::ui
