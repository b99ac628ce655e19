#include "ui/frame/CheckBar.h"

#include <QLabel>
#include <QPushButton>

namespace zandel::ui {

CCheckBar::CCheckBar(QWidget* parent) : QToolBar(parent) {
    setObjectName(QStringLiteral("checkBar"));
    setWindowTitle(QStringLiteral("ﾌﾟﾛｷｼﾁｪｯｸ"));
    auto* label = new QLabel(QStringLiteral("ﾌﾟﾛｷｼﾁｪｯｸ"), this);
    label->setContentsMargins(4, 0, 4, 0);
    addWidget(label);

    m_startStop = new QPushButton(QStringLiteral("開始(&S)"), this);
    m_startStop->setObjectName(QStringLiteral("checkStartStop"));
    m_startStop->setToolTip(QStringLiteral("ﾌﾟﾛｷｼﾁｪｯｸのｽﾀｰﾄ、ｽﾄｯﾌﾟ"));
    m_startStop->setDefault(true);
    addWidget(m_startStop);

    m_skip = new QPushButton(QStringLiteral("ｽｷｯﾌﾟ(&K)"), this);
    m_skip->setObjectName(QStringLiteral("checkSkip"));
    m_skip->setToolTip(QStringLiteral("ﾌﾟﾛｷｼﾁｪｯｸのｽｷｯﾌﾟ"));
    addWidget(m_skip);
}

void CCheckBar::SetStartStop(bool running) {
    m_startStop->setText(running ? QStringLiteral("停止(&T)") : QStringLiteral("開始(&S)"));
}

} // namespace zandel::ui
