#pragma once

#include <string>

namespace zandel {

struct AppSettings;
class IMessageService;

// What to start for the browser and manual commands: the browser program named in the settings with one
// parameter string. `launch` is false when a message has told the user why nothing starts.
struct LaunchPlan {
    bool launch = false;
    std::string program;
    std::string parameter;
};

inline constexpr const char* kManualFileName = "index.html";
inline constexpr const char* kNoManual = "ﾏﾆｭｱﾙが存在しません(index.html)";

// The message when the browser program cannot be started at all, naming the path as it is set.
std::string LaunchFailedText(const std::string& program);

// Command 32787: the browser, at the start URL when the settings ask for it.
LaunchPlan PlanOpenBrowser(const AppSettings& settings, IMessageService& messages);
// Command 32823: the manual "index.html" in `programDir` (the executable's folder), in the browser.
LaunchPlan PlanOpenManual(const AppSettings& settings, const std::string& programDir, IMessageService& messages);

} // namespace zandel
