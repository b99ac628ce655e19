#pragma once

#include <QToolBar>

class QPushButton;

namespace zandel::ui {

// The check-control bar: "ﾌﾟﾛｷｼﾁｪｯｸ", button 1000 "開始(&S)" / "停止(&T)" and button 1001 "ｽｷｯﾌﾟ(&K)".
// The main window wires the buttons to its commands 1000 and 1001 and decides their availability.
class CCheckBar final : public QToolBar {
    Q_OBJECT
public:
    explicit CCheckBar(QWidget* parent = nullptr);

    // Caption of button 1000: "停止(&T)" while running, "開始(&S)" otherwise.
    void SetStartStop(bool running);
    QPushButton* StartStopButton() const { return m_startStop; }
    QPushButton* SkipButton() const { return m_skip; }

private:
    QPushButton* m_startStop;
    QPushButton* m_skip;
};

} // namespace zandel::ui
