#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/frame/ProgramLauncher.h"
#include "core/proxy/InternetSettings.h"

namespace zandel {

// Keeps every call instead of changing the desktop's settings.
class RecordingInternetSettings final : public IInternetSettings {
public:
    struct Call {
        int option;
        InternetOptionList list;
    };
    bool SetOption(int option, const InternetOptionList& list) override {
        calls.push_back({option, list});
        return changes;
    }
    std::optional<std::string> ReadDialUpProfileName() override { return dialUpProfile; }

    std::vector<Call> calls;
    std::optional<std::string> dialUpProfile;
    bool changes = true; // whether the desktop takes the setting
};

// Remembers every launch instead of starting anything.
class RecordingLauncher final : public IProgramLauncher {
public:
    struct Launched {
        std::string program;
        std::string parameter;
        bool defaultBrowser = false;
    };
    bool Launch(const std::string& program, const std::string& parameter, FailedStart failed) override {
        launches.push_back({program, parameter, false});
        lastFailed = std::move(failed);
        return starts;
    }
    bool LaunchDefaultBrowser(FailedStart failed) override {
        launches.push_back({"", "", true});
        lastFailed = std::move(failed);
        return starts;
    }
    std::vector<Launched> launches;
    FailedStart lastFailed; // what the last program started would call if it failed at once
    bool starts = true;     // whether the launches succeed
};

} // namespace zandel
