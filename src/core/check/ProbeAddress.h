#pragma once

#include <cstdint>
#include <vector>

#include <sys/socket.h>

#include "core/check/ProbeJob.h"
#include "core/util/UniqueFd.h"

namespace zandel {

// The addresses a job may connect to, in the resolver's order, each with the job's port.
using ProbeAddresses = std::vector<sockaddr_storage>;

// The port text's leading digits, taken modulo 2^16.
std::uint16_t ProbePort(const ProbeTarget& target);

enum class HostKind { Address, Name, Invalid };
// A dotted IPv4 address, or an IPv6 address bare or in brackets ("[2001:db8::1]"), is taken as it is and never
// reaches the resolver; brackets around anything else, a control byte, or no host at all, is Invalid.
HostKind LiteralProbeHost(const char* host, std::uint16_t port, ProbeAddresses& addresses);
// A name through the system's resolver, which may block: every TCP address of it, IPv4 and IPv6, in the
// resolver's order. None when the lookup fails.
ProbeAddresses ResolveProbeHost(const char* host, std::uint16_t port);
// The lookup a probe uses (tests give their own).
using ProbeResolver = ProbeAddresses (*)(const char* host, std::uint16_t port);

// A non-blocking socket of the address's family, its connect begun; not open when either fails at once.
UniqueFd OpenProbeConnection(const sockaddr_storage& address);

} // namespace zandel
