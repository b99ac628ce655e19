#pragma once

#include "core/settings/AppSettings.h"
#include "platform/ProgramLauncher.h"
#include "ui/settings/PropertySheet.h"

namespace zandel::ui {

// "多段接続を使ってﾌﾞﾗｳｼﾞﾝｸﾞ": opens a page in the browser through a chain of up to three proxies, with the
// chain proxy and destination lists it offers.
class ChainSheet final : public PropertySheet {
    Q_OBJECT
public:
    ChainSheet(AppSettings& settings, IProgramLauncher& launcher, QWidget* parent);
};

} // namespace zandel::ui
