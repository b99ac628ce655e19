#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "core/frame/ListUrl.h"

class QObject;

namespace zandel::ui {

// Fetches on a thread of its own and hands the result to `context`'s thread. A fetch given up is left to end
// by itself (libcurl notices within a second) and joined later, so that the window never waits for the network.
class QtUrlFetcher final : public IUrlFetcher {
public:
    // `busy` hears when a fetch starts (with its URL) and when none is under way any more ("").
    QtUrlFetcher(QObject& context, std::function<void(const std::string& url)> busy);
    ~QtUrlFetcher() override;
    QtUrlFetcher(const QtUrlFetcher&) = delete;
    QtUrlFetcher& operator=(const QtUrlFetcher&) = delete;

    void Start(const std::string& url, const FetchOptions& options, Done done) override;
    void Cancel() override;

private:
    struct Fetch {
        std::atomic<bool> cancel{false};
        std::atomic<bool> finished{false};
        std::thread thread;
    };

    void ReapFinished();

    QObject& m_context;
    std::function<void(const std::string&)> m_busy;
    std::list<std::shared_ptr<Fetch>> m_fetches;
    std::shared_ptr<Fetch> m_current;
};

} // namespace zandel::ui
