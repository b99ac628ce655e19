#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/check/ProbeStep.h"
#include "core/check/SocksReport.h"
#include "core/util/ProxyAddress.h"

namespace zandel {

// Where a SOCKS proxy is asked to connect: the name as the run has it, and the addresses the run found for it
// (empty when the name is an address or when it has none of that family).
struct SocksTarget {
    std::string host; // a name, a dotted IPv4 address or an IPv6 address (in brackets)
    std::uint16_t port = 0;
    std::string ipv4; // four bytes in network order, or none
    std::string ipv6; // sixteen bytes, or none
};

// A login for the proxy, as the entry gives it.
struct ProxyLogin {
    bool given = false;
    std::string user;
    std::string password;
};

// The SOCKS handshake on a new connection to the proxy: SOCKS4 (CONNECT to the target's IPv4 address), SOCKS4a (the
// target's name sent), SOCKS5 (no method, or a user name and password; the target's IPv4 or IPv6 address, or its
// name for socks5h). Through once the proxy has connected; the bytes read are exactly the handshake's, so the next
// step gets the target's own. For the test request it reports in the job's SOCKS report, for the HTTPS step in
// its tunnel report. Raises PE_CONNECTED, PE_SOCKS_GREETED (SOCKS5) and PE_SOCKS_OPEN.
class SocksStep final : public IProbeStep {
public:
    // `target` and `login` must outlive the step.
    SocksStep(IStepContext& context, ProxyKind kind, const SocksTarget& target, const ProxyLogin& login,
              bool forTunnel);

    StepWait Start(int fd, std::string_view early) override;
    StepWait OnReady() override;
    void Stop(StepStop why) override;
    JobStatus Status() const override { return m_status; }
    bool Through() const override { return m_through; }
    bool Misfit() const override { return m_misfit; }

private:
    enum class Phase { Choice, Login, Reply };
    StepWait Send(std::string bytes, Phase next);
    StepWait Flush();
    StepWait Read();
    StepWait Answer();
    StepWait SendConnect();
    StepWait Ended(SocksReport::End end, std::uint8_t code = 0);
    bool OffersLogin() const;

    IStepContext& m_context;
    ProxyKind m_kind;
    const SocksTarget& m_target;
    const ProxyLogin& m_login;
    bool m_forTunnel;
    int m_fd = -1;
    Phase m_phase = Phase::Choice;
    std::string m_out;
    std::size_t m_sent = 0;
    std::string m_in;
    bool m_over = false;
    bool m_through = false;
    bool m_misfit = false;
    JobStatus m_status = JobStatus::Ok;
};

} // namespace zandel
