#pragma once

#include <string>
#include <vector>

#include "core/check/SiteCheck.h"
#include "core/settings/AppSettings.h"
#include "ui/settings/PropertyPage.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace zandel::ui {

// Tab "ｻｲﾄ": the sites fetched through each proxy that passes ([Sites], zandel-check's --site), each a URL and an
// optional keyword, added, changed and deleted in a list. OK keeps those the console would check; each one it would
// leave out is named in one message and left out.
class SitesPage final : public PropertyPage {
    Q_OBJECT
public:
    explicit SitesPage(AppSettings& settings, QWidget* parent = nullptr);

protected:
    void ShowFields() override;
    bool ReadFields() override;
    void OnOpen() override;
    bool OnApply() override;

private:
    void BuildControls();
    void ShowList();
    void EntryChosen();
    // The edit lines as an entry; false when the URL is empty.
    bool TypedEntry(SiteEntry& entry) const;
    void AddClicked();
    void ChangeClicked();
    void DeleteClicked();

    AppSettings& m_settings;
    std::vector<SiteEntry> m_entries;

    QTreeWidget* m_list = nullptr;
    QLineEdit* m_urlEdit = nullptr;
    QLineEdit* m_keywordEdit = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_change = nullptr;
    QPushButton* m_delete = nullptr;
};

} // namespace zandel::ui
