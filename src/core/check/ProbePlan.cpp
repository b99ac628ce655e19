#include "core/check/ProbePlan.h"

#include <algorithm>
#include <cstdio>

#include "core/check/HttpConnectStep.h"
#include "core/check/ProbeExchange.h"
#include "core/check/TlsStep.h"

namespace zandel {

namespace {

std::unique_ptr<IProbeStep> MakeExchange(IStepContext& context, const ProbePlan& plan) {
    return std::make_unique<ProbeExchange>(context, plan.request);
}

std::unique_ptr<IProbeStep> MakeConnect(IStepContext& context, const ProbePlan& plan) {
    return std::make_unique<HttpConnectStep>(context, plan.tunnel->request);
}

std::unique_ptr<IProbeStep> MakeTls(IStepContext& context, const ProbePlan& plan) {
    return std::make_unique<TlsStep>(context, plan.tunnel->host, *plan.tunnel->trust);
}

} // namespace

std::string ComposeProbeRequest(const std::string& requestLine, const std::string& headers) {
    char request[kMaxRequestChars + 1];
    const int written =
        std::snprintf(request, sizeof request, "GET %s\r\n%s\r\n\r\n", requestLine.c_str(), headers.c_str());
    return std::string(request,
                       written < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(written), kMaxRequestChars));
}

std::shared_ptr<const ProbePlan> MakeProxyPlan(std::string request, std::uint32_t waitMs,
                                               std::shared_ptr<const TunnelPlan> tunnel) {
    auto plan = std::make_shared<ProbePlan>();
    plan->request = std::move(request);
    plan->waitMs = waitMs;
    plan->legs.push_back({ProbeLeg::When::Always, true, {&MakeExchange}});
    if (tunnel) {
        plan->tunnel = std::move(tunnel);
        plan->legs.push_back({ProbeLeg::When::AfterCompletedExchange, false, {&MakeConnect, &MakeTls}});
    }
    return plan;
}

std::shared_ptr<const ProbePlan> MakeDirectTlsPlan(std::shared_ptr<const TunnelPlan> tunnel, std::uint32_t waitMs) {
    auto plan = std::make_shared<ProbePlan>();
    plan->waitMs = waitMs;
    plan->tunnel = std::move(tunnel);
    plan->legs.push_back({ProbeLeg::When::Always, false, {&MakeTls}});
    return plan;
}

} // namespace zandel
