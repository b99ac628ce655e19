#pragma once

#include <vector>

#include <QDialog>
#include <QPointer>
#include <QString>

class QDialogButtonBox;
class QPushButton;
class QShowEvent;
class QTabWidget;

namespace zandel::ui {

class PropertyPage;
class ScrollingPage;

// A tabbed settings dialog with OK, Cancel and Apply. A page is opened the first time it becomes current;
// leaving it validates it, and a failure keeps it current. OK and Apply store every page opened since the
// sheet was shown; Cancel stores nothing. Apply is enabled while some page is marked modified. Where the screen
// has no room for the whole sheet, the pages scroll and the sheet fits the work area.
class PropertySheet : public QDialog {
    Q_OBJECT
public:
    PropertySheet(const QString& caption, QWidget* parent);
    ~PropertySheet() override;

    void done(int result) override;
    void setVisible(bool visible) override;

protected:
    // Pages are added in tab order; the tab text is the page's caption.
    void AddPage(PropertyPage* page);
    void showEvent(QShowEvent* event) override;

private:
    void PutButtonsAfter(PropertyPage* page);
    void FitPagesToScreen();
    void SetPagesScroll(bool scroll);
    void OnTabChanged(int index);
    void ActivatePage(int index);
    void SetTabSilently(int index);
    bool LeaveCurrentPage();
    bool ApplyPages();
    void PressOk();
    void PressApply();
    void UpdateApplyButton();
    void UpdateDefaultButton();
    void ClosePages();

    QTabWidget* m_tabs;
    QDialogButtonBox* m_buttons;
    QPushButton* m_okButton;
    QPushButton* m_applyButton;
    std::vector<PropertyPage*> m_pages;
    std::vector<ScrollingPage*> m_scrollers;
    QPointer<QWidget> m_previousMessageParent;
    int m_current = -1;
    bool m_switching = false;
    bool m_shown = false;
    bool m_pagesClosed = false;
};

} // namespace zandel::ui
