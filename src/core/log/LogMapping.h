#pragma once

#include <string>

namespace zandel {

// The transcript line of one probe stage ("" for codes without one). A cancel with the time-out mark set
// reads as a time-out.
std::string LogLineForEvent(int event, bool timeoutMark);

// "●---host:port---●" before a proxy's job and the same with an empty line after its judgement.
std::string FrameLineBefore(const std::string& host, const std::string& port);
std::string FrameLineAfter(const std::string& host, const std::string& port);

} // namespace zandel
