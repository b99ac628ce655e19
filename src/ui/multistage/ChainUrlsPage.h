#pragma once

#include "ui/multistage/ChainListPage.h"

namespace zandel::ui {

// Tab "接続先URLﾘｽﾄ": the destinations offered on the browsing tab, written without "http://".
class ChainUrlsPage final : public ChainListPage {
    Q_OBJECT
public:
    explicit ChainUrlsPage(AppSettings& settings, QWidget* parent = nullptr);
};

} // namespace zandel::ui
