#pragma once

#include <string>
#include <vector>

namespace zandel {

class IMessageService;

// Starting a program with one parameter string, the way the browser and the manual are opened.
class IProgramLauncher {
public:
    virtual ~IProgramLauncher() = default;
    // Starts `program` detached with `parameter` as its one argument (none when it is empty), in the
    // current working folder. A name without a "/" is looked for along PATH, as the desktop's launchers do.
    // False when the program could not be started at all; what it does once started is not examined.
    virtual bool Launch(const std::string& program, const std::string& parameter) = 0;
};

// Starts the program as a process of its own that outlives Zandel.
class SpawnLauncher final : public IProgramLauncher {
public:
    bool Launch(const std::string& program, const std::string& parameter) override;
};

// A launch that silently did nothing would pass for a started browser: one that fails is told in a message
// box naming the program. False when nothing started.
bool LaunchOrReport(IProgramLauncher& launcher, const std::string& program, const std::string& parameter,
                    IMessageService& messages);

// Remembers every launch instead (tests).
class RecordingLauncher final : public IProgramLauncher {
public:
    struct Launched {
        std::string program;
        std::string parameter;
    };
    bool Launch(const std::string& program, const std::string& parameter) override {
        launches.push_back({program, parameter});
        return starts;
    }
    std::vector<Launched> launches;
    bool starts = true; // whether the launches succeed
};

} // namespace zandel
