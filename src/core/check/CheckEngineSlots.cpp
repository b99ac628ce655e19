// A job's slot: the list entry read into it with the plan its kind and login ask for, emptied for the next job, and
// the transcript lines of its stages, which go out as they come or wait in the slot as one block.
#include "core/check/CheckEngine.h"

#include <cstring>

#include <netinet/in.h>

#include "core/check/CheckFormat.h"
#include "core/check/ProbeAddress.h"
#include "core/check/ProbePlan.h"
#include "core/log/LogMapping.h"

namespace zandel {

CheckEngine::JobSlot::JobSlot() {
    job.owner = this;
}

namespace {

// A name's first IPv4 and IPv6 addresses, as SOCKS4 and SOCKS5 send them.
void LookUpTarget(SocksTarget& target) {
    ProbeAddresses found;
    if (LiteralProbeHost(target.host.c_str(), target.port, found) != HostKind::Name) {
        return;
    }
    for (const sockaddr_storage& address : ResolveProbeHost(target.host.c_str(), target.port)) {
        if (address.ss_family == AF_INET && target.ipv4.empty()) {
            const auto& ipv4 = reinterpret_cast<const sockaddr_in&>(address);
            target.ipv4.assign(reinterpret_cast<const char*>(&ipv4.sin_addr), sizeof ipv4.sin_addr);
        } else if (address.ss_family == AF_INET6 && target.ipv6.empty()) {
            const auto& ipv6 = reinterpret_cast<const sockaddr_in6&>(address);
            target.ipv6.assign(reinterpret_cast<const char*>(&ipv6.sin6_addr), sizeof ipv6.sin6_addr);
        }
    }
}

} // namespace

std::shared_ptr<const ProbePlan> CheckEngine::EntryPlan(const ProxyAddress& entry) {
    std::shared_ptr<const ProbePlan> run;
    bool detect = false;
    {
        std::lock_guard lock(m_requestMutex);
        run = m_plan;
        detect = m_detect && entry.form == ProxyAddress::Form::Plain;
    }
    if (entry.kind == ProxyKind::Http && !detect) {
        // An HTTP proxy reaches the judge by its name: nothing to look up.
        return entry.login ? MakeEntryPlan(*run, entry.kind, {true, entry.user, entry.password}, false) : run;
    }
    // Every run has a plan of its own, and its names are looked up anew.
    if (m_socksRun != run) {
        m_socksRun = run;
        // SOCKS4 and SOCKS5 connect to an address the program finds itself: once per run, on the run thread.
        auto base = std::make_shared<ProbePlan>(*run);
        LookUpTarget(base->judge);
        if (base->tunnel) {
            auto tunnel = std::make_shared<TunnelPlan>(*base->tunnel);
            LookUpTarget(tunnel->target);
            base->tunnel = std::move(tunnel);
        }
        if (base->sites) {
            auto sites = std::make_shared<SitePlan>(*base->sites);
            for (SiteRequest& site : sites->sites) {
                LookUpTarget(site.socks);
            }
            base->sites = std::move(sites);
        }
        m_socksBase = std::move(base);
        for (auto& byKind : m_kindPlans) {
            for (auto& plan : byKind) {
                plan.reset();
            }
        }
    }
    ProxyLogin login{entry.login, entry.user, entry.password};
    if (entry.login) {
        return MakeEntryPlan(*m_socksBase, entry.kind, login, detect);
    }
    std::shared_ptr<const ProbePlan>& kept = m_kindPlans[detect ? 1 : 0][static_cast<int>(entry.kind)];
    if (!kept) {
        kept = MakeEntryPlan(*m_socksBase, entry.kind, login, detect);
    }
    return kept;
}

bool CheckEngine::TakeEntry(const std::string& address, JobSlot& slot) {
    if (!ParseAddress(address, slot.job, &slot.entry)) {
        return false;
    }
    if (slot.entry.form == ProxyAddress::Form::Plain) {
        slot.entry.kind = m_plainKind;
    }
    slot.plan = EntryPlan(slot.entry);
    return true;
}

std::string CheckEngine::TitleAddress(const std::string& address, const JobSlot& slot) {
    const bool plain = slot.entry.form == ProxyAddress::Form::Plain && slot.entry.kind == ProxyKind::Http;
    return plain ? address : ShownAddress(slot.entry);
}

void CheckEngine::ClearJob(JobSlot& slot) {
    slot.job.target = ProbeTarget{};
    slot.job.answer.Release();
    slot.job.owner = &slot;
    ClearAnswer(slot.job);
    slot.block.Clear();
}

void CheckEngine::Emit(JobSlot& slot, std::string_view text) {
    if (slot.streaming) {
        AppendLog(std::string(text));
    } else {
        slot.block.Append(text);
    }
}

void CheckEngine::LineBlock::Append(std::string_view text) {
    if (m_long.empty() && text.size() <= sizeof m_room - m_length) {
        std::memcpy(m_room + m_length, text.data(), text.size());
        m_length += text.size();
        return;
    }
    if (m_long.empty()) {
        m_long.assign(m_room, m_length);
    }
    m_long += text;
}

void CheckEngine::LineBlock::Clear() {
    m_length = 0;
    m_long.clear();
}

void CheckEngine::OnProbeStage(ProbeEvent event, ProbeJob& job) {
    JobSlot& slot = job.owner != nullptr ? static_cast<JobSlot&>(*job.owner) : m_one;
    Emit(slot, LogLineForEvent(event, slot.timeoutMark.load()));
}

} // namespace zandel
