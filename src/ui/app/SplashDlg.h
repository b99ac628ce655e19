#pragma once

#include <QPixmap>
#include <QWidget>

namespace zandel::ui {

// The splash window: a frameless picture of 307 by 176 pixels in the middle of the screen.
class CSplashDlg final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 307;
    static constexpr int kHeight = 176;

    explicit CSplashDlg(QWidget* owner = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_picture;
};

} // namespace zandel::ui
