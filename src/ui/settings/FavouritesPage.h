#pragma once

#include <memory>
#include <string>

#include <QHash>
#include <QString>

#include "core/settings/AppSettings.h"
#include "ui/settings/PropertyPage.h"

class QCheckBox;
class QLabel;

namespace zandel {
class HistoryStore;
}

namespace zandel::ui {

class ListTextEdit;

// Tab "お気に入りﾌﾟﾛｷｼﾘｽﾄ": the favourite proxies as plain text, one address per line, up to 50, and whether a
// favourite picked from a menu takes effect at once.
class FavouritesPage final : public PropertyPage {
    Q_OBJECT
public:
    explicit FavouritesPage(AppSettings& settings, QWidget* parent = nullptr);
    ~FavouritesPage() override;

protected:
    void ShowFields() override;
    bool ReadFields() override;
    void OnOpen() override;
    bool OnApply() override;

private:
    void BuildControls();
    void TextEdited();
    // "(87%)" beside each favourite the history knows.
    void ShowUptimes();
    QString UptimeNote(const QString& line);

    AppSettings& m_settings;
    bool m_favoOn = true; // the check box as last read; the list lives in its box
    std::string m_countText = "50件";

    QCheckBox* m_favoOnBox = nullptr;
    QLabel* m_count = nullptr;
    ListTextEdit* m_text = nullptr;
    std::unique_ptr<HistoryStore> m_history;
    QHash<QString, QString> m_uptimes; // by line: each address is looked up once while the page is open
};

} // namespace zandel::ui
