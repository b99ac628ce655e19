#pragma once

#include <string>

#include "core/frame/ProgramLauncher.h"

namespace zandel {

// Starts the program as a process of its own that outlives Zandel.
class SpawnLauncher final : public IProgramLauncher {
public:
    bool Launch(const std::string& program, const std::string& parameter) override;
};

} // namespace zandel
