#pragma once

#include <optional>
#include <string>

#include "cli/Options.h"

namespace zandel::cli {

const char* UsageText();

// The time-outs a run takes, as the usage text and the option's error name them.
const std::string& TimeOutRange();

// --help, --version and bad usage are answered before anything else is read: the exit status then, nothing when the
// run goes on.
std::optional<int> AnswerWithoutRun(const ParseOutcome& parsed);

} // namespace zandel::cli
