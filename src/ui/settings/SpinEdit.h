#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace zandel::ui {

// A text box with an up/down button beside it. Unlike a spin box it takes any text, so that the page's
// validation can answer a wrong one; the buttons (and the arrow keys) write the stepped number into the box.
class SpinEdit final : public QWidget {
    Q_OBJECT
public:
    explicit SpinEdit(QWidget* parent = nullptr);

    QLineEdit* LineEdit() const { return m_edit; }
    void SetRange(int lowest, int highest);
    // Writes the number into the box and makes it the position the buttons step from.
    void SetValue(int value);
    void Step(int delta);

Q_SIGNALS:
    // The buttons or arrow keys changed the box.
    void Stepped();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_edit;
    QToolButton* m_up;
    QToolButton* m_down;
    int m_lowest = 0;
    int m_highest = 100;
    int m_position = 0;
};

} // namespace zandel::ui
