#include "core/settings/CheckPage.h"

namespace zandel {

CheckPageFields LoadCheckPage(const AppSettings& settings) {
    CheckPageFields fields;
    fields.TimeOut = settings.TimeOut;
    fields.ParallelChecks = settings.ParallelChecks;
    fields.BwUrl = settings.BwUrl;
    fields.HttpVer = settings.HttpVer;
    fields.BwPath = settings.BwPath;
    fields.BwUrlOn = settings.BwUrlOn;
    fields.TaskTrayOpen = settings.TaskTrayOpen;
    fields.OpenCheck = settings.OpenCheck;
    fields.HttpsCheckOn = settings.HttpsCheckOn;
    fields.DetectProxyType = settings.DetectProxyType;
    fields.FollowRun = settings.FollowRun;
    fields.MaxRows = settings.MaxRows;
    fields.HttpsTarget = settings.HttpsTarget;
    fields.TwiceOn = settings.TwiceOn;
    fields.TwicePause = settings.TwicePause;
    return fields;
}

int TimeOutAtOpen(int stored) {
    return BoundsOf(&AppSettings::TimeOut).Holds(stored) ? stored : kTimeOutDefault;
}

void ApplyCheckPage(const CheckPageFields& fields, AppSettings& settings) {
    settings.HttpVer = fields.HttpVer;
    settings.TimeOut = fields.TimeOut;
    settings.ParallelChecks = fields.ParallelChecks;
    settings.BwPath = fields.BwPath;
    settings.BwUrlOn = fields.BwUrlOn;
    settings.BwUrl = fields.BwUrl;
    settings.TaskTrayOpen = fields.TaskTrayOpen;
    settings.OpenCheck = fields.OpenCheck;
    settings.HttpsCheckOn = fields.HttpsCheckOn;
    settings.DetectProxyType = fields.DetectProxyType;
    settings.FollowRun = fields.FollowRun;
    settings.MaxRows = fields.MaxRows;
    settings.HttpsTarget = fields.HttpsTarget;
    settings.TwiceOn = fields.TwiceOn;
    settings.TwicePause = fields.TwicePause;
}

} // namespace zandel
