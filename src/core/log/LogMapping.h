#pragma once

#include <string>
#include <string_view>

#include "core/log/ProbeEvents.h"

namespace zandel {

// The transcript line of one probe stage ("" for none). A cancel with the time-out mark set
// reads as a time-out.
std::string_view LogLineForEvent(ProbeEvent event, bool timeoutMark);

// "●---host:port---●" before a proxy's job and the same with an empty line after its judgement.
std::string FrameLineBefore(std::string_view host, std::string_view port);
std::string FrameLineAfter(std::string_view host, std::string_view port);

} // namespace zandel
