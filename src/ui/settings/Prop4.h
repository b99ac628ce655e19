#pragma once

#include <string>

#include "core/app/AppSettings.h"
#include "ui/settings/PropertyPage.h"

class QCheckBox;
class QLabel;

namespace zandel::ui {

class ListTextEdit;

// Tab "お気に入りﾌﾟﾛｷｼﾘｽﾄ": the favourite proxies as plain text, one address per line, up to 50, and whether a
// favourite picked from a menu takes effect at once.
class CProp4 final : public PropertyPage {
    Q_OBJECT
public:
    explicit CProp4(AppSettings& settings, QWidget* parent = nullptr);

protected:
    void ShowFields() override;
    bool ReadFields() override;
    void OnOpen() override;
    bool OnApply() override;

private:
    void BuildControls();
    void TextEdited();

    AppSettings& m_settings;
    bool m_favoOn = true;
    std::string m_countText = "50件";

    QCheckBox* m_favoOnBox = nullptr;
    QLabel* m_count = nullptr;
    ListTextEdit* m_text = nullptr;
};

} // namespace zandel::ui
