#include "core/frame/BrowserLaunch.h"

#include "core/app/AppSettings.h"
#include "core/app/MessageService.h"
#include "core/app/Texts.h"
#include "core/multistage/ChainRules.h"
#include "core/util/FileIo.h"

namespace zandel {

std::string LaunchFailedText(const std::string& program) {
    return "ブラウザを起動できませんでした。\n" + program + "\n設定ダイアログを開いて、ブラウザを指定してください。";
}

LaunchPlan PlanOpenBrowser(const AppSettings& settings, IMessageService& messages, const std::string& parameter) {
    LaunchPlan plan;
    if (settings.BwPath.empty()) {
        ShowOk(messages, texts::kNoBrowserPath);
        return plan;
    }
    plan.launch = true;
    plan.program = settings.BwPath;
    plan.parameter = parameter;
    return plan;
}

LaunchPlan PlanOpenBrowser(const AppSettings& settings, IMessageService& messages) {
    return PlanOpenBrowser(settings, messages, settings.BwUrlOn ? settings.BwUrl : std::string());
}

LaunchPlan PlanChainBrowser(const AppSettings& settings, IMessageService& messages,
                            const std::array<std::string, 3>& proxies, const std::string& destination) {
    return PlanOpenBrowser(settings, messages, ComposeChainUrl(proxies[0], proxies[1], proxies[2], destination));
}

LaunchPlan PlanOpenManual(const AppSettings& settings, const std::string& programDir, IMessageService& messages) {
    const std::string manual = PathInDir(programDir, kManualFileName);
    // Without a browser the manual is not looked for.
    if (!settings.BwPath.empty() && !FileExists(manual)) {
        ShowOk(messages, kNoManual);
        return LaunchPlan{};
    }
    return PlanOpenBrowser(settings, messages, manual);
}

} // namespace zandel
