#pragma once

#include <optional>
#include <string>

#include "core/app/AppLifecycle.h"
#include "core/util/UniqueFd.h"

namespace zandel {

// One instance at a time: an exclusive flock on a lock file. The descriptor is not inherited by programs we
// start (a browser must not keep the lock alive), and the system drops the lock when the process ends, a
// crash included, so a stale file never blocks a start. Only a regular file of the user's own counts: a
// link or another user's file is never opened through or held, and then Zandel starts without a lock (and
// listens for later starts nowhere). The holder's channel lies beside the lock file.
class InstanceLock final : public ISingleInstance {
public:
    // "Zandel.lock" in $XDG_RUNTIME_DIR, else in a folder of the user's own in the temporary folder,
    // "zandel-<uid>" (mode 0700), made when needed.
    InstanceLock();
    explicit InstanceLock(std::string path);
    ~InstanceLock() override;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    bool Acquire() override;
    void Release() override;
    bool IsHeld() const override { return m_fd.IsOpen(); }
    // "Zandel.socket" in the lock file's folder.
    std::string ChannelPath() const override;

    int Descriptor() const { return m_fd.Get(); }
    const std::string& Path() const { return m_path; }

    static std::string DefaultPath();
    // True when the other end of a connected local socket runs as this process's user: the channel answers
    // nobody else.
    static bool PeerIsSameUser(int socket);
    // Makes the folder (mode 0700) unless it exists; true when it is a folder, no link, owned by the user
    // and closed to everyone else (a folder of ours left open is closed).
    static bool EnsurePrivateFolder(const std::string& folder);

private:
    static std::optional<std::string> RuntimeFolder();

    std::string m_path;
    bool m_privateFolder = false;
    UniqueFd m_fd;
};

} // namespace zandel
