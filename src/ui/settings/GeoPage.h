#pragma once

#include <functional>

#include <QString>

#include "core/fetch/ListFetcher.h"
#include "core/settings/AppSettings.h"
#include "core/settings/PageFields.h"
#include "ui/settings/PropertyPage.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace zandel::ui {

class GeoUpdater;
class SpinEdit;

// Tab "位置情報": the offline country and ASN databases behind the list's 国 and AS columns (a file each, or a URL
// it is fetched from), their refresh, their build dates and the attribution their licence asks for, and the hosting
// networks behind the data-centre mark.
class GeoPage final : public PropertyPage {
    Q_OBJECT
public:
    // Asks the user for a file of the dialog's `filter`; an empty text means the user cancelled.
    using FileChooser = std::function<QString(QWidget* parent, const QString& currentPath, const QString& filter)>;
    // How a download goes (through the proxy bar's proxy or directly, as a list does); false, with the message shown
    // by the caller's rule, when it cannot go at all.
    using FetchRule = std::function<bool(FetchOptions& options)>;

    explicit GeoPage(AppSettings& settings, QWidget* parent = nullptr);

    void SetFileChooser(FileChooser chooser) { m_choose = std::move(chooser); }
    void SetFetchRule(FetchRule rule) { m_fetchRule = std::move(rule); }

protected:
    void ShowFields() override;
    bool ReadFields() override;
    void OnLoad() override;
    bool OnApply() override;

private:
    void BuildControls();
    void Browse(QLineEdit* box, const QString& filter);
    // The build dates, warnings and attribution of the files as the boxes name them now.
    void ShowNotes();
    void UpdateNow();

    AppSettings& m_settings;
    GeoPageFields m_fields;
    FileChooser m_choose;
    FetchRule m_fetchRule;
    GeoUpdater* m_updater = nullptr;

    QLineEdit* m_countryFile = nullptr;
    QLineEdit* m_countryUrl = nullptr;
    QLabel* m_countryNote = nullptr;
    QLineEdit* m_asnFile = nullptr;
    QLineEdit* m_asnUrl = nullptr;
    QLabel* m_asnNote = nullptr;
    SpinEdit* m_refreshDays = nullptr;
    QLineEdit* m_datacenterFile = nullptr;
    QPushButton* m_updateNow = nullptr;
    QLabel* m_lastDownload = nullptr;
    QLabel* m_attribution = nullptr;
};

} // namespace zandel::ui
