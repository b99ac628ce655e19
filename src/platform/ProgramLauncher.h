#pragma once

#include <string>
#include <vector>

namespace zandel {

// Starting a program with one parameter string, the way the browser and the manual are opened.
class IProgramLauncher {
public:
    virtual ~IProgramLauncher() = default;
    // Starts `program` detached with `parameter` as its one argument (none when it is empty), in the
    // current working folder. The outcome is not reported.
    virtual void Launch(const std::string& program, const std::string& parameter) = 0;
};

// Starts the program as a process of its own that outlives Zandel.
class SpawnLauncher final : public IProgramLauncher {
public:
    void Launch(const std::string& program, const std::string& parameter) override;
};

// Remembers every launch instead (tests).
class RecordingLauncher final : public IProgramLauncher {
public:
    struct Launched {
        std::string program;
        std::string parameter;
    };
    void Launch(const std::string& program, const std::string& parameter) override {
        launches.push_back({program, parameter});
    }
    std::vector<Launched> launches;
};

} // namespace zandel
