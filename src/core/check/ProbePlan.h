#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/check/ProbeStep.h"
#include "core/check/SiteCheck.h"
#include "core/check/SocksStep.h"
#include "core/util/ProxyAddress.h"

namespace zandel {

class TunnelTrust;
struct ProbePlan;

// The HTTPS step of a run: the CONNECT request as it goes out, the target host the certificate must be for
// (also the SNI name, unless it is an address), and the trust.
struct TunnelPlan {
    std::string request;
    std::string host;
    std::string address; // host:port of the target, for a handshake made with it directly
    std::shared_ptr<const TunnelTrust> trust;
    SocksTarget target; // where a SOCKS proxy is asked to connect for it
};

struct ProbeLeg;
// Makes one step of a leg for a job, from the plan's own texts.
using ProbeStepMaker = std::unique_ptr<IProbeStep> (*)(IStepContext& context, const ProbePlan& plan,
                                                       const ProbeLeg& leg);

// One connection of a job to its proxy and the steps made on it, in order.
struct ProbeLeg {
    enum class When {
        Always,
        // the job's result so far is a completed exchange (the proxy was reached and answered) through a proxy of
        // the leg's kind, which answered in its protocol when the plan detects the kind
        AfterCompletedExchange,
        AfterMisfit,       // the leg before answered, but not in the protocol it spoke (type detection's next try)
        AfterSilentMisfit, // the same, and the leg before read not a byte (the port closed on it)
    };
    When when = When::Always;
    // The leg's end is the job's result; a leg that does not decide it only adds findings (the HTTPS step's).
    bool decidesResult = true;
    std::vector<ProbeStepMaker> steps;
    ProxyKind kind = ProxyKind::Http; // the protocol the leg speaks to the proxy
    // The site a leg beside the result fetches (its place in the plan's sites), -1 for any other leg. It runs after
    // a completed exchange that could be a usable page, in a share of the time the job has left, and neither its
    // stages nor the tunnel report it borrows reach the job's record.
    int site = -1;
};

// What one job does: the legs it makes to the proxy named in its record, and the texts its steps send. A run
// gives every job the same plan; a job of its own kind (another proxy type, a login) gets a plan of its own.
struct ProbePlan {
    std::string request;       // the test request as it goes out to an HTTP proxy
    std::string originRequest; // the same request to the judge itself, through a SOCKS proxy
    std::shared_ptr<const TunnelPlan> tunnel;
    std::shared_ptr<const SitePlan> sites; // the sites fetched through each proxy that passes, when the user names any
    SocksTarget judge;                     // where a SOCKS proxy is asked to connect for the test request
    ProxyLogin login;
    bool detect = false;                   // the legs after the first try further kinds of proxy
    std::uint32_t waitMs = kDefaultWaitMs; // the wait for each next network event
    std::vector<ProbeLeg> legs;
};

// "GET <request line>\r\n<headers>\r\n\r\n", cut after 1023 characters.
std::string ComposeProbeRequest(const std::string& requestLine, const std::string& headers);

// The check of an HTTP proxy: the test request's exchange; with a tunnel plan, once that exchange is completed,
// the HTTPS step on a second connection (CONNECT, then TLS through the tunnel).
std::shared_ptr<const ProbePlan> MakeProxyPlan(std::string request, std::uint32_t waitMs,
                                               std::shared_ptr<const TunnelPlan> tunnel);

// A TLS handshake made straight with the HTTPS target (the job's host and port are the target's): what its own
// certificate is when no proxy stands between. It reports in the job's tunnel report.
std::shared_ptr<const ProbePlan> MakeDirectTlsPlan(std::shared_ptr<const TunnelPlan> tunnel, std::uint32_t waitMs);

// The check of one entry, from a run's plan of an HTTP proxy (with its origin request and SOCKS targets): a proxy
// of `kind` with `login`; with `detect`, an HTTP proxy first, then SOCKS5 and SOCKS4 when the one before answered
// in another protocol, each on a new connection; a port that closes on the HTTP request without a word is first
// asked whether it is a TLS server (`TlsHelloStep`). Through SOCKS the test request goes in origin form; an HTTP
// login adds a Proxy-Authorization line to the test request and to CONNECT.
std::shared_ptr<const ProbePlan> MakeEntryPlan(const ProbePlan& run, ProxyKind kind, const ProxyLogin& login,
                                               bool detect);

// The legs that fetch each of the plan's sites through a proxy of each kind, after the legs it has.
void AddSiteLegs(ProbePlan& plan, const std::vector<ProxyKind>& kinds);

// "GET /path HTTP/x.y" from the absolute form's request line ("http://host/path HTTP/x.y").
std::string OriginRequestLine(const std::string& requestLine);
// The request with "Proxy-Authorization: Basic ..." after its header lines.
std::string WithProxyLogin(const std::string& request, const ProxyLogin& login);
std::string Base64(std::string_view bytes);

} // namespace zandel
