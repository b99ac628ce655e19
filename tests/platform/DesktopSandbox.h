#pragma once

#include <string>

namespace zandel::test {

// The desktop the platform tests see, set up before any test runs (GIO reads where its settings and
// applications lie once): a keyfile settings store and a default web browser of the user's choice that writes
// how many arguments it got, and each of them on a line, to BrowserArgs().
struct DesktopSandbox {
    static std::string KeyfilePath();
    static std::string BrowserArgs();
};

} // namespace zandel::test
