#pragma once

#include <string>

#include "core/app/AppLifecycle.h"

namespace zandel {

// One instance at a time: an exclusive flock on a lock file. The descriptor is not inherited by programs we
// start (a browser must not keep the lock alive), and the system drops the lock when the process ends, a
// crash included, so a stale file never blocks a start.
class InstanceLock final : public ISingleInstance {
public:
    // "Zandel.lock" in $XDG_RUNTIME_DIR, else in the temporary folder.
    InstanceLock();
    explicit InstanceLock(std::string path);
    ~InstanceLock() override;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    bool Acquire() override;
    void Release() override;

    bool IsHeld() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }
    const std::string& Path() const { return m_path; }

    static std::string DefaultPath();

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace zandel
