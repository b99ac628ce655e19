#include "core/frame/BrowserLaunch.h"

#include "core/app/AppSettings.h"
#include "core/app/MessageService.h"
#include "core/app/Texts.h"
#include "core/util/FileIo.h"

namespace zandel {

std::string LaunchFailedText(const std::string& program) {
    return "ブラウザを起動できませんでした。\n" + program + "\n設定ダイアログを開いて、ブラウザを指定してください。";
}

LaunchPlan PlanOpenBrowser(const AppSettings& settings, IMessageService& messages) {
    LaunchPlan plan;
    if (settings.BwPath.empty()) {
        ShowOk(messages, texts::kNoBrowserPath);
        return plan;
    }
    plan.launch = true;
    plan.program = settings.BwPath;
    plan.parameter = settings.BwUrlOn ? settings.BwUrl : std::string();
    return plan;
}

LaunchPlan PlanOpenManual(const AppSettings& settings, const std::string& programDir, IMessageService& messages) {
    LaunchPlan plan;
    // Without a browser the manual is not looked for.
    if (settings.BwPath.empty()) {
        ShowOk(messages, texts::kNoBrowserPath);
        return plan;
    }
    const std::string manual = PathInDir(programDir, kManualFileName);
    if (!FileExists(manual)) {
        ShowOk(messages, kNoManual);
        return plan;
    }
    plan.launch = true;
    plan.program = settings.BwPath;
    plan.parameter = manual;
    return plan;
}

} // namespace zandel
