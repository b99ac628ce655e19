#include "core/check/ProbePlan.h"

#include <algorithm>
#include <cstdio>

#include "core/check/HttpConnectStep.h"
#include "core/check/ProbeExchange.h"
#include "core/check/SiteFetchStep.h"
#include "core/check/SocksStep.h"
#include "core/check/TlsHelloStep.h"
#include "core/check/TlsStep.h"

namespace zandel {

namespace {

std::unique_ptr<IProbeStep> MakeExchange(IStepContext& context, const ProbePlan& plan, const ProbeLeg& leg) {
    if (IsSocks(leg.kind)) {
        return std::make_unique<ProbeExchange>(context, plan.originRequest, false);
    }
    return std::make_unique<ProbeExchange>(context, plan.request);
}

std::unique_ptr<IProbeStep> MakeSocks(IStepContext& context, const ProbePlan& plan, const ProbeLeg& leg) {
    return std::make_unique<SocksStep>(context, leg.kind, plan.judge, plan.login, false);
}

std::unique_ptr<IProbeStep> MakeConnect(IStepContext& context, const ProbePlan& plan, const ProbeLeg& /*leg*/) {
    return std::make_unique<HttpConnectStep>(context, plan.tunnel->request);
}

std::unique_ptr<IProbeStep> MakeSocksTunnel(IStepContext& context, const ProbePlan& plan, const ProbeLeg& leg) {
    return std::make_unique<SocksStep>(context, leg.kind, plan.tunnel->target, plan.login, true);
}

std::unique_ptr<IProbeStep> MakeTls(IStepContext& context, const ProbePlan& plan, const ProbeLeg& /*leg*/) {
    return std::make_unique<TlsStep>(context, plan.tunnel->host, *plan.tunnel->trust);
}

std::unique_ptr<IProbeStep> MakeTlsHello(IStepContext& context, const ProbePlan& /*plan*/, const ProbeLeg& /*leg*/) {
    return std::make_unique<TlsHelloStep>(context);
}

const SiteRequest& SiteOf(const ProbePlan& plan, const ProbeLeg& leg) {
    return plan.sites->sites[static_cast<std::size_t>(leg.site)];
}

std::unique_ptr<IProbeStep> MakeSiteConnect(IStepContext& context, const ProbePlan& plan, const ProbeLeg& leg) {
    return std::make_unique<HttpConnectStep>(context, SiteOf(plan, leg).connectRequest);
}

std::unique_ptr<IProbeStep> MakeSiteSocks(IStepContext& context, const ProbePlan& plan, const ProbeLeg& leg) {
    return std::make_unique<SocksStep>(context, leg.kind, SiteOf(plan, leg).socks, plan.login, true);
}

std::unique_ptr<IProbeStep> MakeSiteFetch(IStepContext& context, const ProbePlan& plan, const ProbeLeg& leg) {
    const SiteRequest& site = SiteOf(plan, leg);
    // An HTTP proxy is asked for an http:// page itself; anything else goes through the connection to the site.
    const bool toProxy = !IsSocks(leg.kind) && !site.site.tls;
    return std::make_unique<SiteFetchStep>(context, toProxy ? site.proxyRequest : site.originRequest, site.site,
                                           plan.sites->trust.get(), static_cast<std::size_t>(leg.site));
}

ProbeLeg ExchangeLeg(ProxyKind kind, ProbeLeg::When when) {
    ProbeLeg leg{when, true, {}, kind};
    if (IsSocks(kind)) {
        leg.steps.push_back(&MakeSocks);
    }
    leg.steps.push_back(&MakeExchange);
    return leg;
}

ProbeLeg TunnelLeg(ProxyKind kind) {
    return {ProbeLeg::When::AfterCompletedExchange,
            false,
            {IsSocks(kind) ? &MakeSocksTunnel : &MakeConnect, &MakeTls},
            kind};
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
    plan->legs.push_back(ExchangeLeg(ProxyKind::Http, ProbeLeg::When::Always));
    if (tunnel) {
        plan->tunnel = std::move(tunnel);
        plan->legs.push_back(TunnelLeg(ProxyKind::Http));
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

std::shared_ptr<const ProbePlan> MakeEntryPlan(const ProbePlan& run, ProxyKind kind, const ProxyLogin& login,
                                               bool detect) {
    auto plan = std::make_shared<ProbePlan>();
    plan->request = run.request;
    plan->originRequest = run.originRequest;
    plan->waitMs = run.waitMs;
    plan->judge = run.judge;
    plan->login = login;
    plan->detect = detect;
    plan->tunnel = run.tunnel;
    if (login.given && kind == ProxyKind::Http) {
        plan->request = WithProxyLogin(run.request, login);
        if (run.tunnel) {
            auto tunnel = std::make_shared<TunnelPlan>(*run.tunnel);
            tunnel->request = WithProxyLogin(tunnel->request, login);
            plan->tunnel = std::move(tunnel);
        }
    }
    // Detection tries the kinds most lists hold, newest first: a SOCKS5 proxy may also speak SOCKS4, never the other
    // way round, and a SOCKS4 greeting would only be misread by a SOCKS5 proxy.
    std::vector<ProxyKind> kinds{kind};
    if (detect) {
        kinds = {ProxyKind::Http, ProxyKind::Socks5, ProxyKind::Socks4};
    }
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        plan->legs.push_back(ExchangeLeg(kinds[i], i == 0 ? ProbeLeg::When::Always : ProbeLeg::When::AfterMisfit));
        if (detect && i == 0) {
            plan->legs.push_back({ProbeLeg::When::AfterSilentMisfit, true, {&MakeTlsHello}, kinds[0]});
        }
    }
    if (plan->tunnel) {
        for (const ProxyKind each : kinds) {
            plan->legs.push_back(TunnelLeg(each));
        }
    }
    plan->sites = run.sites;
    if (login.given && kind == ProxyKind::Http && run.sites) {
        auto sites = std::make_shared<SitePlan>(*run.sites);
        for (SiteRequest& site : sites->sites) {
            site.proxyRequest = WithProxyLogin(site.proxyRequest, login);
            site.connectRequest = WithProxyLogin(site.connectRequest, login);
        }
        plan->sites = std::move(sites);
    }
    AddSiteLegs(*plan, kinds);
    return plan;
}

void AddSiteLegs(ProbePlan& plan, const std::vector<ProxyKind>& kinds) {
    if (!plan.sites) {
        return;
    }
    for (const ProxyKind kind : kinds) {
        for (std::size_t i = 0; i < plan.sites->sites.size(); ++i) {
            ProbeLeg leg{ProbeLeg::When::AfterCompletedExchange, false, {}, kind, static_cast<int>(i)};
            if (IsSocks(kind)) {
                leg.steps.push_back(&MakeSiteSocks);
            } else if (plan.sites->sites[i].site.tls) {
                leg.steps.push_back(&MakeSiteConnect);
            }
            leg.steps.push_back(&MakeSiteFetch);
            plan.legs.push_back(std::move(leg));
        }
    }
}

std::string OriginRequestLine(const std::string& requestLine) {
    std::string_view url(requestLine);
    if (url.substr(0, 7) == "http://") {
        url.remove_prefix(7);
    }
    const std::size_t blank = url.rfind(' ');
    const std::string_view version = blank == std::string_view::npos ? std::string_view() : url.substr(blank);
    url = url.substr(0, blank);
    const std::size_t path = url.find_first_of("/?");
    std::string origin = path == std::string_view::npos ? std::string("/") : std::string(url.substr(path));
    if (origin.front() == '?') {
        origin.insert(0, "/");
    }
    return origin + std::string(version);
}

std::string WithProxyLogin(const std::string& request, const ProxyLogin& login) {
    const std::string line = "Proxy-Authorization: Basic " + Base64(login.user + ":" + login.password) + "\r\n";
    // After the header lines, before the blank line that ends them.
    if (request.size() >= 4 && request.compare(request.size() - 4, 4, "\r\n\r\n") == 0) {
        return request.substr(0, request.size() - 2) + line + "\r\n";
    }
    return request + "\r\n" + line + "\r\n";
}

std::string Base64(std::string_view bytes) {
    constexpr const char* kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = group << 8 | (k < left ? static_cast<unsigned char>(bytes[i + k]) : 0U);
        }
        for (std::size_t k = 0; k < 4; ++k) {
            text += k <= left ? kDigits[(group >> (18 - 6 * k)) & 0x3F] : '=';
        }
    }
    return text;
}

} // namespace zandel
