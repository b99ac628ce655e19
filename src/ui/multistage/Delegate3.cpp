#include "ui/multistage/Delegate3.h"

namespace zandel::ui {

CDelegate3::CDelegate3(AppSettings& settings, QWidget* parent)
    : ChainListPage(settings, SettingsList::ChainUrls,
                    {QStringLiteral("接続先URLﾘｽﾄ"), QStringLiteral("接続先URLﾘｽﾄ(&L)"),
                     QStringLiteral("登録済み接続先URL(&P)"), QStringLiteral("www.example.com/index.html")},
                    parent) {
    setObjectName(QStringLiteral("delegate3"));
}

} // namespace zandel::ui
