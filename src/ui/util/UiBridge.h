#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

namespace zandel::ui {

// Carries calls from the check run's threads to the user-interface thread, so that every change to a window
// happens there, in order, one at a time. Call waits for the result; Post hands over a change that returns
// nothing and goes on at once (it still takes effect in order with every other call of the same thread, and
// a later Call sees it done). Calls made on the user-interface thread run at once. Once closed (at
// shutdown), calls from other threads return at once with a default value, so that the user-interface
// thread can wait for the run to end without either side waiting for the other.
//
// Posted changes wait in a queue of the bridge's own, and the user-interface thread takes them all in one
// turn: however fast a run hands them over, the window's event queue holds at most one turn of each bridge,
// so the repaints that Qt queues behind them (at low priority) are never held up for long. A turn that carried
// changes out is followed by a short pause before the next: the first change after a quiet spell goes over at
// once, but a run of many, whose rows end faster than the window takes a turn, is taken in a few hundred turns a
// second rather than in one for nearly every row, each with its wake-up of the window's loop.
class UiBridge final {
public:
    explicit UiBridge(QObject* context) : m_context(context) {}
    UiBridge(const UiBridge&) = delete;
    UiBridge& operator=(const UiBridge&) = delete;

    template <class F> auto Call(F&& function) -> std::invoke_result_t<F&> {
        using Result = std::invoke_result_t<F&>;
        if (QThread::currentThread() == m_context->thread()) {
            Flush();
            return function();
        }
        if (m_closed.load()) {
            if constexpr (std::is_void_v<Result>) {
                return;
            } else {
                return Result{};
            }
        }
        if constexpr (std::is_void_v<Result>) {
            QMetaObject::invokeMethod(
                m_context,
                [this, &function] {
                    Flush();
                    function();
                },
                Qt::BlockingQueuedConnection);
        } else {
            Result result{};
            QMetaObject::invokeMethod(
                m_context,
                [this, &result, &function] {
                    Flush();
                    result = function();
                },
                Qt::BlockingQueuedConnection);
            return result;
        }
    }

    // `function` must own what it uses (capture by value): it may run after the caller has gone on.
    template <class F> void Post(F function) {
        if (QThread::currentThread() == m_context->thread()) {
            Flush();
            function();
            return;
        }
        if (m_closed.load()) {
            return;
        }
        bool startTurn = false;
        {
            std::lock_guard lock(m_mutex);
            m_pending.emplace_back(std::move(function));
            startTurn = !std::exchange(m_turnPosted, true);
        }
        if (startTurn) {
            QMetaObject::invokeMethod(
                m_context, [this] { TakeTurn(); }, Qt::QueuedConnection);
        }
    }

    // Runs `settle` on the user-interface thread after each turn (and each flush) that carried out changes: for
    // a change cheaper made once for all the calls of a turn than once for each.
    void AfterEachTurn(std::function<void()> settle) { m_settle = std::move(settle); }

    // Carries out every change handed over so far (on the user-interface thread).
    void Flush() { RunPending(); }

    void Close() { m_closed = true; }
    bool IsClosed() const { return m_closed.load(); }

private:
    void TakeTurn() {
        RunPending();
        if (!m_pause) {
            m_pause = std::make_unique<QTimer>();
            m_pause->setSingleShot(true);
            m_pause->setInterval(kTurnPauseMs);
            QObject::connect(m_pause.get(), &QTimer::timeout, [this] { EndPause(); });
        }
        m_pause->start();
    }

    // The turn stays posted through the pause, so that changes handed over meanwhile wait for its end.
    void EndPause() {
        {
            std::lock_guard lock(m_mutex);
            if (m_pending.empty()) {
                m_turnPosted = false;
                return;
            }
        }
        TakeTurn();
    }

    // A turn takes the changes that were waiting when it began; what comes meanwhile waits for the next turn,
    // so that a run that hands changes over faster than the window takes them cannot keep the turn going.
    // A change that itself flushes (a call made while it runs) goes on with the same queue, in order.
    void RunPending() {
        std::size_t count = 0;
        {
            std::lock_guard lock(m_mutex);
            count = m_pending.size();
        }
        bool ran = false;
        for (; count > 0; --count) {
            std::function<void()> change;
            {
                std::lock_guard lock(m_mutex);
                if (m_pending.empty()) {
                    break;
                }
                change = std::move(m_pending.front());
                m_pending.pop_front();
            }
            change();
            ran = true;
        }
        if (ran && m_settle) {
            m_settle();
        }
    }

    QObject* m_context;
    std::atomic<bool> m_closed{false};
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_pending;
    bool m_turnPosted = false; // a turn is on its way, or in its pause
    std::unique_ptr<QTimer> m_pause;
    std::function<void()> m_settle;
    static constexpr int kTurnPauseMs = 5;
};

} // namespace zandel::ui
