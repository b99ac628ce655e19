#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zandel {

// What a second start of the program asks of the one running, over the channel beside the instance lock: to come
// to the front and, when a list file was named, to open it as if it had been dropped on the list. On the wire:
// the line "ZANDEL-RAISE 1", a line with the length of the file's absolute path in decimal (0 for none), then
// the path's bytes. The running program answers kRaiseAnswer once its window is in front.
inline constexpr const char* kRaiseAnswer = "OK\n";
inline constexpr std::size_t kMaxRequestPath = 4096;

// `absolutePath` empty for none; a path the request cannot carry (longer than kMaxRequestPath, a NUL byte) is
// left out, and only the window comes to the front.
std::string EncodeRaiseRequest(const std::string& absolutePath);

struct RaiseRequest {
    enum class State { Incomplete, Complete, Bad };
    State state = State::Incomplete;
    std::string path; // the list file to open, empty for none
};
// `bytes` as received so far. Anything that is not a request, or says more than one, is Bad: the connection is
// then dropped unanswered.
RaiseRequest DecodeRaiseRequest(std::string_view bytes);

// The list file named on a command line run in `workingDir`, as a path that holds in any working folder.
std::string AbsoluteListPath(const std::string& path, const std::string& workingDir);

} // namespace zandel
