#pragma once

#include <chrono>

#include "core/util/UniqueFd.h"

namespace zandel {
class CheckEngine;
}

namespace zandel::cli {

class ConsoleHost;

enum class RunEnd { Completed, Stopped, GivenUp };

// The eventfd that a Ctrl+C (or SIGTERM) and the run's end write; not open when the system gives none (errno says
// why).
UniqueFd OpenWake();
void InstallSignalHandlers();
// Whether a Ctrl+C (or SIGTERM) has come.
bool Interrupted();

// Until a Ctrl+C (or SIGTERM) or for `limit`, whichever comes first.
void WaitForSignal(std::chrono::milliseconds limit);

// Waits for the run, passing every Ctrl+C on as a stop and keeping the progress line fresh.
RunEnd WaitForRun(CheckEngine& engine, ConsoleHost& host, int total, bool showProgress);

} // namespace zandel::cli
