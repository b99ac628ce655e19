#pragma once

#include <array>
#include <string>

#include "core/settings/AppSettings.h"
#include "core/settings/PageFields.h"
#include "platform/ProgramLauncher.h"
#include "ui/settings/PropertyPage.h"

class QComboBox;
class QPushButton;

namespace zandel::ui {

// Tab "ﾌﾞﾗｳｼﾞﾝｸﾞ": the destination and up to three chain proxies, and the button that starts the browser on
// the one URL naming them all. The lists are taken afresh from the settings each time the tab is shown, so
// what tabs 2 and 3 applied is offered at once.
class ChainBrowsingPage final : public PropertyPage {
    Q_OBJECT
public:
    ChainBrowsingPage(AppSettings& settings, IProgramLauncher& launcher, QWidget* parent = nullptr);

protected:
    void ShowFields() override;
    bool ReadFields() override;
    void OnActivate() override;
    bool OnApply() override;

private:
    void BuildControls();
    void BrowseClicked();
    void ClearClicked(std::size_t proxy);

    AppSettings& m_settings;
    IProgramLauncher& m_launcher;
    ChainBrowsingFields m_fields; // as the boxes were last read

    std::array<QComboBox*, 3> m_proxyBoxes{};
    QComboBox* m_urlBox = nullptr;
    QPushButton* m_browse = nullptr;
};

} // namespace zandel::ui
