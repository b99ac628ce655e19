#include "ui/multistage/ChainSheet.h"

#include "ui/multistage/ChainBrowsingPage.h"
#include "ui/multistage/ChainProxiesPage.h"
#include "ui/multistage/ChainUrlsPage.h"

namespace zandel::ui {

ChainSheet::ChainSheet(AppSettings& settings, IProgramLauncher& launcher, QWidget* parent)
    : PropertySheet(QStringLiteral("多段接続を使ってﾌﾞﾗｳｼﾞﾝｸﾞ"), parent) {
    setObjectName(QStringLiteral("propSheet2"));
    AddPage(new ChainBrowsingPage(settings, launcher, this));
    AddPage(new ChainProxiesPage(settings, this));
    AddPage(new ChainUrlsPage(settings, this));
}

} // namespace zandel::ui
