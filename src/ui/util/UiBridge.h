#pragma once

#include <atomic>
#include <type_traits>
#include <utility>

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace zandel::ui {

// Carries calls from the check run's threads to the user-interface thread, so that every change to a window
// happens there, in order, one at a time. Call waits for the result; Post hands over a change that returns
// nothing and goes on at once (it still takes effect in order with every other call of the same thread, and
// a later Call sees it done). Calls made on the user-interface thread run at once. Once closed (at
// shutdown), calls from other threads return at once with a default value, so that the user-interface
// thread can wait for the run to end without either side waiting for the other.
class UiBridge final {
public:
    explicit UiBridge(QObject* context) : m_context(context) {}
    UiBridge(const UiBridge&) = delete;
    UiBridge& operator=(const UiBridge&) = delete;

    template <class F> auto Call(F&& function) -> std::invoke_result_t<F&> {
        using Result = std::invoke_result_t<F&>;
        if (QThread::currentThread() == m_context->thread()) {
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
            QMetaObject::invokeMethod(m_context, std::forward<F>(function), Qt::BlockingQueuedConnection);
        } else {
            Result result{};
            QMetaObject::invokeMethod(
                m_context, [&result, &function] { result = function(); }, Qt::BlockingQueuedConnection);
            return result;
        }
    }

    // `function` must own what it uses (capture by value): it may run after the caller has gone on.
    template <class F> void Post(F function) {
        if (QThread::currentThread() == m_context->thread()) {
            function();
            return;
        }
        if (!m_closed.load()) {
            QMetaObject::invokeMethod(m_context, std::move(function), Qt::QueuedConnection);
        }
    }

    void Close() { m_closed = true; }
    bool IsClosed() const { return m_closed.load(); }

private:
    QObject* m_context;
    std::atomic<bool> m_closed{false};
};

} // namespace zandel::ui
