#pragma once

#include <string>

#include "core/settings/AppSettings.h"
#include "core/app/InstallPaths.h"
#include "core/settings/UserAgentList.h"
#include "ui/settings/PropertyPage.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace zandel::ui {

// Tab "User-Agent": the User-Agent every check sends, chosen from the registered list kept in "USER.DAT" or
// the built-in default. The list file is read when the page opens and written when the sheet closes,
// whether by OK or Cancel; a list that cannot be written where it was read goes elsewhere, as `files` says.
class UserAgentPage final : public PropertyPage {
    Q_OBJECT
public:
    UserAgentPage(AppSettings& settings, UserAgentFiles files, QWidget* parent = nullptr);

protected:
    void ShowFields() override;
    bool ReadFields() override;
    void OnOpen() override;
    bool OnApply() override;
    void OnClose() override;

private:
    void BuildControls();
    void ShowList();
    void AddClicked();
    void DeleteClicked();
    void SetClicked();
    void DefaultClicked();
    void ListChanged();

    AppSettings& m_settings;
    UserAgentFiles m_files;
    bool m_noticeShown = false;
    UserAgentList m_list;
    UserAgentChoice m_choice;
    std::string m_newEntry;

    QCheckBox* m_useBrowser = nullptr;
    QLineEdit* m_current = nullptr;
    QListWidget* m_listBox = nullptr;
    QPushButton* m_default = nullptr;
    QPushButton* m_set = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_add = nullptr;
    QLineEdit* m_newEntryBox = nullptr;
};

} // namespace zandel::ui
