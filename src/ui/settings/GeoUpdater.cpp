#include "ui/settings/GeoUpdater.h"

#include <system_error>
#include <utility>

#include <QMetaObject>

namespace zandel::ui {

GeoUpdater::~GeoUpdater() {
    if (m_run) {
        m_run->cancel = true;
        if (m_run->thread.joinable()) {
            m_run->thread.join();
        }
    }
}

bool GeoUpdater::Start(std::vector<GeoUpdateJob> jobs, const FetchOptions& options, Done done) {
    if (m_busy) {
        return false;
    }
    if (m_run && m_run->thread.joinable()) {
        m_run->thread.join(); // ended: it has told its result
    }
    m_run = std::make_unique<Run>();
    FetchOptions own = options;
    own.cancel = &m_run->cancel;
    try {
        m_run->thread = std::thread([this, jobs = std::move(jobs), own, done = std::move(done)] {
            std::vector<std::string> failures;
            for (const GeoUpdateJob& job : jobs) {
                if (GeoDownloadResult got = DownloadGeoDatabase(job.url, job.target, job.kind, own); !got.ok) {
                    failures.push_back(std::move(got.message));
                }
            }
            // Taken up on the window's thread; an updater that goes first joins this thread before it is gone, and
            // its posted calls go with it.
            QMetaObject::invokeMethod(
                this,
                [this, failures = std::move(failures), done] {
                    m_busy = false;
                    done(failures);
                },
                Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        m_run.reset();
        return false;
    }
    m_busy = true;
    return true;
}

} // namespace zandel::ui
