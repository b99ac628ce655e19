#pragma once

#include <string>

#include <QString>

#include "core/settings/AppSettings.h"
#include "ui/settings/PropertyPage.h"

class QLabel;

namespace zandel::ui {

class ListTextEdit;

// A list of the multi-stage sheet edited as text, one entry per line, each line stored whole. The browsing
// tab offers the list once it has been applied.
class ChainListPage : public PropertyPage {
    Q_OBJECT
public:
    struct Texts {
        QString caption;
        QString group;
        QString label;
        QString example; // empty: no example line
    };

    ChainListPage(AppSettings& settings, SettingsList list, const Texts& texts, QWidget* parent);

protected:
    void ShowFields() override;
    bool ReadFields() override;
    void OnOpen() override;
    bool OnApply() override;

private:
    void TextEdited();

    AppSettings& m_settings;
    SettingsList m_list;
    std::string m_countText = "50件";

    QLabel* m_count = nullptr;
    ListTextEdit* m_text = nullptr;
};

} // namespace zandel::ui
