#pragma once

#include <QDialog>

namespace zandel::ui {

// "Zandelのﾊﾞｰｼﾞｮﾝ情報": the program's icon, name and version.
class CAboutDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace zandel::ui
