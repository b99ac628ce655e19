#pragma once

#include "ui/multistage/ChainListPage.h"

namespace zandel::ui {

// Tab "多段接続用ﾌﾟﾛｷｼﾘｽﾄ": the chain proxies offered on the browsing tab.
class ChainProxiesPage final : public ChainListPage {
    Q_OBJECT
public:
    explicit ChainProxiesPage(AppSettings& settings, QWidget* parent = nullptr);
};

} // namespace zandel::ui
