#include "ui/multistage/ChainUrlsPage.h"

namespace zandel::ui {

ChainUrlsPage::ChainUrlsPage(AppSettings& settings, QWidget* parent)
    : ChainListPage(settings, SettingsList::ChainUrls,
                    {QStringLiteral("接続先URLﾘｽﾄ"), QStringLiteral("接続先URLﾘｽﾄ(&L)"),
                     QStringLiteral("登録済み接続先URL(&P)"), QStringLiteral("www.example.com/index.html")},
                    parent) {
    setObjectName(QStringLiteral("delegate3"));
}

} // namespace zandel::ui
