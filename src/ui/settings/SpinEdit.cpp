#include "ui/settings/SpinEdit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/settings/FieldRules.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

SpinEdit::SpinEdit(QWidget* parent)
    : QWidget(parent), m_edit(new QLineEdit(this)), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {m_up, m_down}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFixedSize(18, 12);
    }
    auto* buttons = new QVBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    buttons->addWidget(m_up);
    buttons->addWidget(m_down);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(m_edit);
    layout->addLayout(buttons);
    setFocusProxy(m_edit);
    m_edit->installEventFilter(this);

    connect(m_up, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
}

void SpinEdit::SetRange(int lowest, int highest) {
    m_lowest = lowest;
    m_highest = highest;
}

void SpinEdit::SetValue(int value) {
    m_position = value;
    m_edit->setText(QString::number(value));
}

void SpinEdit::Step(int delta) {
    SetValue(SpinStep(ToBytes(m_edit->text()), m_position, delta, m_lowest, m_highest));
    Q_EMIT Stepped();
}

bool SpinEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace zandel::ui
