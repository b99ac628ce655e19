#pragma once

namespace zandel::test {

// Every test server listens on 127.0.0.1 only.
inline constexpr const char* kLoopbackHost = "127.0.0.1";

} // namespace zandel::test
