#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "core/settings/AppSettings.h"
#include "core/settings/SettingsTable.h"
#include "core/settings/TimeOut.h"

namespace zandel {

// The text boxes of the settings pages hold at most this many bytes.
inline constexpr std::size_t kPageTextLimit = 256;
inline constexpr std::array<const char*, 2> kHttpVersions = {"1.0", "1.1"};

// What the check page edits, in the order its fields are exchanged with the controls.
struct CheckPageFields {
    int TimeOut = kTimeOutDefault;
    int ParallelChecks = 1;
    std::string BwUrl;
    std::string HttpVer;
    std::string BwPath;
    bool BwUrlOn = true;
    bool TaskTrayOpen = false;
    bool OpenCheck = false;
    bool HttpsCheckOn = false;
    std::string HttpsTarget;
    bool DetectProxyType = false;
    bool FollowRun = false;
    int MaxRows = kListRowsDefault;
    bool TwiceOn = false;
    int TwicePause = kTwicePauseDefaultSeconds;
    bool operator==(const CheckPageFields&) const = default;
};

CheckPageFields LoadCheckPage(const AppSettings& settings);
// A time-out the spin button cannot reach is shown as the default instead.
int TimeOutAtOpen(int stored);
void ApplyCheckPage(const CheckPageFields& fields, AppSettings& settings);

} // namespace zandel
