#pragma once

#include <string>

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

// A launch that silently did nothing would pass for a started browser: one that fails is told in a message
// box naming the program. False when nothing started.
bool LaunchOrReport(IProgramLauncher& launcher, const std::string& program, const std::string& parameter,
                    IMessageService& messages);

} // namespace zandel
