#include "ui/app/SplashDlg.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace zandel::ui {

CSplashDlg::CSplashDlg(QWidget* owner)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint), m_picture(QStringLiteral(":/images/splash.png")) {
    setObjectName(QStringLiteral("splash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kWidth, kHeight);
    QScreen* screen =
        owner != nullptr && owner->screen() != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        move(screen->geometry().center() - rect().center());
    }
}

void CSplashDlg::paintEvent(QPaintEvent* event) {
    (void)event;
    QPainter painter(this);
    painter.drawPixmap(rect(), m_picture);
}

} // namespace zandel::ui
