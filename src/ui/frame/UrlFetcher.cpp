#include "ui/frame/UrlFetcher.h"

#include <system_error>
#include <utility>

#include <QMetaObject>
#include <QObject>

namespace zandel::ui {

QtUrlFetcher::QtUrlFetcher(QObject& context, std::function<void(const std::string& url)> busy)
    : m_context(context), m_busy(std::move(busy)) {}

QtUrlFetcher::~QtUrlFetcher() {
    for (const auto& fetch : m_fetches) {
        fetch->cancel = true;
    }
    for (const auto& fetch : m_fetches) {
        if (fetch->thread.joinable()) {
            fetch->thread.join();
        }
    }
}

void QtUrlFetcher::Start(const std::string& url, const FetchOptions& options, Done done) {
    Cancel();
    ReapFinished();
    auto fetch = std::make_shared<Fetch>();
    FetchOptions own = options;
    own.cancel = &fetch->cancel;
    QObject* context = &m_context;
    try {
        fetch->thread = std::thread([this, fetch, url, own, done, context] {
            FetchResult result = FetchUrl(url, own);
            fetch->finished = true;
            // The result is taken up on the window's thread, and only while the fetch is still wanted there.
            QMetaObject::invokeMethod(
                context,
                [this, fetch, result = std::move(result), done] {
                    if (fetch->cancel) {
                        return;
                    }
                    m_current.reset();
                    m_busy({});
                    done(result);
                },
                Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // No thread to be had: told as any other failed fetch, and still never from within Start.
        FetchResult failed;
        failed.failure = FetchFailure::Other;
        failed.error = "no thread for the transfer";
        QMetaObject::invokeMethod(
            context, [done = std::move(done), failed] { done(failed); }, Qt::QueuedConnection);
        return;
    }
    m_fetches.push_back(fetch);
    m_current = fetch;
    m_busy(url);
}

void QtUrlFetcher::Cancel() {
    if (m_current) {
        m_current->cancel = true;
        m_current.reset();
        m_busy({});
    }
}

void QtUrlFetcher::ReapFinished() {
    for (auto it = m_fetches.begin(); it != m_fetches.end();) {
        if ((*it)->finished) {
            (*it)->thread.join();
            it = m_fetches.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace zandel::ui
