#pragma once

#include <chrono>
#include <memory>
#include <string>

#include <sys/types.h>

#include "core/frame/ProgramLauncher.h"

namespace zandel {

// Starts the program as a process of its own that outlives Zandel, and watches it for its first moments.
class SpawnLauncher final : public IProgramLauncher {
public:
    // `failedStart`: how long a failure still counts as a failed start (tests shorten it).
    explicit SpawnLauncher(std::chrono::milliseconds failedStart = std::chrono::milliseconds(kFailedStartMs));
    // Programs started keep running; no failure is told any more.
    ~SpawnLauncher() override;
    SpawnLauncher(const SpawnLauncher&) = delete;
    SpawnLauncher& operator=(const SpawnLauncher&) = delete;

    bool Launch(const std::string& program, const std::string& parameter, FailedStart failed) override;
    // The desktop's handler of http links, as GIO finds it in mimeapps.list: what `xdg-settings` sets as the
    // default web browser and `xdg-open` starts for a link.
    bool LaunchDefaultBrowser(FailedStart failed) override;

private:
    struct Reports;
    // Reaps the child whenever it ends, so that no zombie is left behind, and tells a failure at once.
    void Watch(pid_t child, FailedStart failed);

    std::chrono::milliseconds m_failedStart;
    std::shared_ptr<Reports> m_reports;
};

} // namespace zandel
