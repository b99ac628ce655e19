#pragma once

#include <memory>
#include <optional>

#include "cli/Options.h"

namespace zandel {
struct AppSettings;
class TunnelTrust;
} // namespace zandel

namespace zandel::cli {

// The run's settings: PrxSet.ini in the working folder, the options over it, the judge's key and the trusted CA
// file. The exit status when they cannot be used (the cause told), nothing when the run goes on.
std::optional<int> SettingsForRun(const Options& options, AppSettings& settings,
                                  std::shared_ptr<const TunnelTrust>& trust);

} // namespace zandel::cli
