#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QObject>

#include "core/fetch/GeoDownload.h"

namespace zandel::ui {

// Fetches the offline databases on a thread of its own, one after the other, and tells the window's thread when all
// have come or failed. Given up (and joined) when it goes, so that a closing window waits for no download longer than
// the fetch takes to see its cancel flag.
class GeoUpdater final : public QObject {
    Q_OBJECT
public:
    // `failures`: one message per database that did not come (its old file left as it was); empty when all came.
    using Done = std::function<void(const std::vector<std::string>& failures)>;

    explicit GeoUpdater(QObject* parent = nullptr) : QObject(parent) {}
    ~GeoUpdater() override;
    GeoUpdater(const GeoUpdater&) = delete;
    GeoUpdater& operator=(const GeoUpdater&) = delete;

    // False while an update is on its way (the new one is not started) or when no thread is to be had.
    bool Start(std::vector<GeoUpdateJob> jobs, const FetchOptions& options, Done done);
    bool Busy() const { return m_busy; }

private:
    struct Run {
        std::atomic<bool> cancel{false};
        std::thread thread;
    };
    std::unique_ptr<Run> m_run;
    bool m_busy = false;
};

} // namespace zandel::ui
