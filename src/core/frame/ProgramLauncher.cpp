#include "core/frame/ProgramLauncher.h"

#include "core/util/MessageService.h"
#include "core/frame/BrowserLaunch.h"

namespace zandel {

bool IsUrlOpener(const std::string& program) {
    const std::string::size_type slash = program.rfind('/');
    return program.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos, "xdg-open") == 0;
}

bool LaunchOrReport(IProgramLauncher& launcher, const std::string& program, const std::string& parameter,
                    IMessageService& messages) {
    const std::string failure = LaunchFailedText(program);
    IProgramLauncher::FailedStart failed = [&messages, failure] { messages.Tell(failure); };
    const bool started = parameter.empty() && IsUrlOpener(program)
                             ? launcher.LaunchDefaultBrowser(std::move(failed))
                             : launcher.Launch(program, parameter, std::move(failed));
    if (!started) {
        ShowOk(messages, failure);
    }
    return started;
}

} // namespace zandel
