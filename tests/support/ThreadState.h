#pragma once

#include <chrono>

#include <sys/types.h>

namespace zandel::test {

// The kernel's id of the calling thread.
pid_t CurrentThreadId();

// Waits (bounded) until the thread sits in poll() or epoll_wait(): lets a test act exactly while a probe's thread
// waits, instead of guessing with a sleep. False when it did not get there in time.
bool WaitUntilInPoll(pid_t threadId, std::chrono::milliseconds limit = std::chrono::seconds(10));

// Waits (bounded) until some thread of this process sits in poll() on two descriptors with this time-out:
// finds a worker whose id the test cannot learn, by a time-out that nothing else in the process uses.
bool WaitUntilSomeThreadPolls(int timeoutMs, std::chrono::milliseconds limit = std::chrono::seconds(10));

} // namespace zandel::test
