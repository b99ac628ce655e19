#include "ui/settings/SettingsSheet.h"

#include "ui/settings/CheckPage.h"
#include "ui/settings/UserAgentPage.h"
#include "ui/settings/AccessUrlPage.h"
#include "ui/settings/FavouritesPage.h"
#include "ui/settings/GeoPage.h"
#include "ui/settings/RecheckPage.h"
#include "ui/settings/ServePage.h"
#include "ui/settings/SitesPage.h"

namespace zandel::ui {

SettingsSheet::SettingsSheet(AppSettings& settings, IProgramLauncher& /*launcher*/, UserAgentFiles userAgentFiles,
                             QWidget* parent)
    : PropertySheet(QStringLiteral("詳細設定"), parent) {
    setObjectName(QStringLiteral("propSheet"));
    AddPage(new CheckPage(settings, this));
    AddPage(new AccessUrlPage(settings, this));
    AddPage(new UserAgentPage(settings, std::move(userAgentFiles), this));
    AddPage(new FavouritesPage(settings, this));
    AddPage(new RecheckPage(settings, this));
    AddPage(new ServePage(settings, this));
    m_geo = new GeoPage(settings, this);
    AddPage(m_geo);
    AddPage(new SitesPage(settings, this));
}

} // namespace zandel::ui
