// zandel-check: the check engine of Zandel without a window, for lists checked on a server or in a script.

#include <optional>

#include <malloc.h>

#include "cli/ConsoleRun.h"
#include "cli/Options.h"
#include "cli/Usage.h"

int main(int argc, char** argv) {
    // One heap for every thread. The check runs on a thread of its own, and a thread's own heap grows and shrinks a
    // page at a time, a system call and page faults each time a run's jobs come and go; the main heap grows in
    // large steps. The other threads (lookups, the history's writer) are few and seldom allocate.
    mallopt(M_ARENA_MAX, 1);
    const zandel::cli::ParseOutcome parsed = zandel::cli::ParseOptions(argc, argv);
    if (const std::optional<int> answered = zandel::cli::AnswerWithoutRun(parsed)) {
        return *answered;
    }
    return zandel::cli::RunCheck(parsed.options);
}
