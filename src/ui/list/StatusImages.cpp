#include "ui/list/StatusImages.h"

#include <QPainter>
#include <QPixmap>
#include <QRadialGradient>

namespace zandel::ui {

namespace {

QPixmap Ball(const QColor& light, const QColor& body, const QColor& rim, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(QColor(0, 98, 150));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(0.5, 0.5, size - 1.0, size - 1.0);
    QRadialGradient shade(circle.center() - QPointF(size * 0.18, size * 0.18), size * 0.62);
    shade.setColorAt(0.0, Qt::white);
    shade.setColorAt(0.25, light);
    shade.setColorAt(1.0, body);
    painter.setBrush(shade);
    painter.setPen(QPen(rim, size >= 32 ? 2.0 : 1.0));
    painter.drawEllipse(circle);
    return pixmap;
}

QIcon MakeIcon(const QColor& light, const QColor& body, const QColor& rim) {
    QIcon icon;
    for (int size : {16, 24, 32}) {
        icon.addPixmap(Ball(light, body, rim, size));
    }
    return icon;
}

} // namespace

QIcon StatusIcon(int image) {
    switch (image) {
    case 0:
        return MakeIcon(QColor(150, 255, 150), QColor(20, 170, 40), QColor(0, 90, 10));
    case 1:
        return MakeIcon(QColor(200, 245, 255), QColor(70, 190, 240), QColor(10, 100, 150));
    case 2:
        return MakeIcon(QColor(255, 170, 160), QColor(220, 30, 20), QColor(120, 0, 0));
    case 4:
        return MakeIcon(QColor(255, 225, 150), QColor(245, 150, 0), QColor(130, 65, 0));
    default:
        return MakeIcon(QColor(235, 235, 235), QColor(150, 150, 150), QColor(80, 80, 80));
    }
}

} // namespace zandel::ui
