#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace zandel::test {

// A program started by a test, with its output in files. Killed when the object goes.
class Subprocess final {
public:
    // Starts argv[0] (a path) in `workingDir` with standard output and error into the given files.
    Subprocess(const std::vector<std::string>& argv, const std::string& workingDir, const std::string& stdoutPath,
               const std::string& stderrPath);
    ~Subprocess();
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    bool Started() const { return m_pid > 0; }
    void Signal(int signal);
    // The exit code once it has ended (128 + signal when a signal ended it); none when it did not end in time,
    // and then it is killed.
    std::optional<int> Wait(std::chrono::milliseconds limit = std::chrono::seconds(60));

private:
    pid_t m_pid = -1;
};

// A free TCP port on 127.0.0.1 at the time of the call.
int FreeLoopbackPort();
// Bounded wait until something accepts connections on 127.0.0.1:port.
bool WaitForListening(int port, std::chrono::milliseconds limit = std::chrono::seconds(10));
// Bounded wait until the file holds `text`.
bool WaitForFileText(const std::string& path, const std::string& text,
                     std::chrono::milliseconds limit = std::chrono::seconds(10));

} // namespace zandel::test
