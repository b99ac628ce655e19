#pragma once

#include <string>

#include "core/list/ProxyRow.h"
#include "../ui/list/ProxyListView.h"
