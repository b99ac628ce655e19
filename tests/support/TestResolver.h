#pragma once

#include <cstdint>

#include "core/check/ProbeAddress.h"

namespace zandel::test {

// A resolver for the probes' tests that never asks the system: names ending in ".v4.test" are 127.0.0.1, in
// ".v6.test" ::1, in ".v6v4.test" ::1 and then 127.0.0.1; a name ending in ".hang.test" hangs as one waiting on a
// silent name server does, until ReleaseHangingLookups; any other name is unknown. Every call is counted.
ProbeAddresses TestResolve(const char* host, std::uint16_t port);
int TestResolverCalls();
// Lets every hanging lookup, now and later, return (unknown); the next ArmHangingLookups makes them hang again.
void ReleaseHangingLookups();
void ArmHangingLookups();

} // namespace zandel::test
