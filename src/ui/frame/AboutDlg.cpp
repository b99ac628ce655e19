#include "ui/frame/AboutDlg.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "core/app/CommandLine.h"
#include "ui/util/AppIdentity.h"

namespace zandel::ui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("Zandelのﾊﾞｰｼﾞｮﾝ情報"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* name = new QLabel(QStringLiteral("Zandel"), this);
    auto* version = new QLabel(QStringLiteral("Version ") + QString::fromLatin1(AppVersion()), this);
    auto* line = new QLabel(QStringLiteral("公開ﾌﾟﾛｷｼのﾁｪｯｸとﾌﾞﾗｳｻﾞのﾌﾟﾛｷｼ切り替え"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("aboutOk"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setHorizontalSpacing(16);
    layout->addWidget(icon, 0, 0, 3, 1);
    layout->addWidget(name, 0, 1);
    layout->addWidget(version, 1, 1);
    layout->addWidget(line, 2, 1);
    layout->addWidget(ok, 0, 2, Qt::AlignTop);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CAboutDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the window that opened it, or on the screen.
    const QRect area = parentWidget() != nullptr ? parentWidget()->frameGeometry()
                                                 : QGuiApplication::primaryScreen()->availableGeometry();
    move(area.center() - rect().center());
}

} // namespace zandel::ui
