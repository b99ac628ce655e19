#pragma once

#include <optional>
#include <string>

#include "cli/Options.h"

namespace zandel::cli {

const char* UsageText();

// "1 to 600": a range as the usage text and the options' errors name it.
std::string RangeText(int lowest, int highest);

// --help, --version and bad usage are answered before anything else is read: the exit status then, nothing when the
// run goes on.
std::optional<int> AnswerWithoutRun(const ParseOutcome& parsed);
// Bad usage told with the hint to --help; the exit status.
int RefuseUsage(const std::string& error);

} // namespace zandel::cli
