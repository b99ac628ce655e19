#pragma once

#include "cli/Options.h"

namespace zandel::cli {

// Checks the list the options name and writes it back: the whole run of zandel-check after its command line, to
// its exit status. A run given up on (a second Ctrl+C during a name lookup) ends the process here.
int RunCheck(const Options& options);

} // namespace zandel::cli
