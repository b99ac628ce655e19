#include "core/check/ProxyProbe.h"

#include "platform/Launcher.h"
