#include "ui/multistage/ChainProxiesPage.h"

namespace zandel::ui {

ChainProxiesPage::ChainProxiesPage(AppSettings& settings, QWidget* parent)
    : ChainListPage(settings, SettingsList::ChainProxies,
                    {QStringLiteral("多段接続用ﾌﾟﾛｷｼﾘｽﾄ"), QStringLiteral("多段接続用ﾌﾟﾛｷｼﾘｽﾄ(&L)"),
                     QStringLiteral("登録済み多段接続用ﾌﾟﾛｷｼｱﾄﾞﾚｽ(&P)"), QString()},
                    parent) {
    setObjectName(QStringLiteral("delegate2"));
}

} // namespace zandel::ui
