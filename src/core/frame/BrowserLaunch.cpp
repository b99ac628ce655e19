#include "core/frame/BrowserLaunch.h"

#include <optional>

#include "core/settings/AppSettings.h"
#include "core/util/MessageService.h"
#include "core/util/Texts.h"
#include "core/multistage/ChainRules.h"
#include "core/util/FileIo.h"
#include "core/util/ProxyAddress.h"

namespace zandel {

namespace {

constexpr const char* kChainHttpOnly = "多段プロキシにはログインのないHTTPプロキシだけを指定できます。\n";

} // namespace

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
    // The chain is made of HTTP proxies that forward the next one's URL: a SOCKS proxy or a login has no place in it.
    std::array<std::string, 3> chain = proxies;
    for (std::string& proxy : chain) {
        const std::optional<ProxyAddress> entry = ParseProxyAddress(proxy);
        if (!entry || entry->form == ProxyAddress::Form::Plain) {
            continue;
        }
        if (IsSocks(entry->kind) || entry->login) {
            ShowOk(messages, kChainHttpOnly + ShownAddress(*entry));
            return LaunchPlan{};
        }
        proxy = entry->host + ":" + entry->port;
    }
    return PlanOpenBrowser(settings, messages, ComposeChainUrl(chain[0], chain[1], chain[2], destination));
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
