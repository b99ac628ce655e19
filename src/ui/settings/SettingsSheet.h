#pragma once

#include <string>

#include "core/settings/AppSettings.h"
#include "core/app/InstallPaths.h"
#include "platform/ProgramLauncher.h"
#include "ui/settings/PropertySheet.h"

namespace zandel::ui {

class GeoPage;

// "詳細設定": the check page, the access URL, the User-Agent, the favourite proxies, the re-checks, the local proxy,
// the offline databases of the proxies' places and the sites fetched through the proxies that pass. Made anew for
// each showing, so every showing starts from the settings record.
class SettingsSheet final : public PropertySheet {
    Q_OBJECT
public:
    // `userAgentFiles`: where "USER.DAT" is read and written.
    SettingsSheet(AppSettings& settings, IProgramLauncher& launcher, UserAgentFiles userAgentFiles, QWidget* parent);

    GeoPage& Geo() { return *m_geo; }

private:
    GeoPage* m_geo = nullptr;
};

} // namespace zandel::ui
