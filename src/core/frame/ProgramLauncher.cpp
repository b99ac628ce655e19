#include "core/frame/ProgramLauncher.h"

#include "core/app/MessageService.h"
#include "core/frame/BrowserLaunch.h"

namespace zandel {

bool LaunchOrReport(IProgramLauncher& launcher, const std::string& program, const std::string& parameter,
                    IMessageService& messages) {
    if (launcher.Launch(program, parameter)) {
        return true;
    }
    ShowOk(messages, LaunchFailedText(program));
    return false;
}

} // namespace zandel
