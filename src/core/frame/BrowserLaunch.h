#pragma once

#include <array>
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

// The browser named in the settings with `parameter`; without a browser path only that is said.
LaunchPlan PlanOpenBrowser(const AppSettings& settings, IMessageService& messages, const std::string& parameter);
// Command 32787: the browser, at the start URL when the settings ask for it.
LaunchPlan PlanOpenBrowser(const AppSettings& settings, IMessageService& messages);
// The chain tab's browsing: the browser at the one URL naming the chain proxies, then the destination.
LaunchPlan PlanChainBrowser(const AppSettings& settings, IMessageService& messages,
                            const std::array<std::string, 3>& proxies, const std::string& destination);
// Command 32823: the manual "index.html" in `programDir` (the executable's folder), in the browser.
LaunchPlan PlanOpenManual(const AppSettings& settings, const std::string& programDir, IMessageService& messages);

} // namespace zandel
