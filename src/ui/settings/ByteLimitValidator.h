#pragma once

#include <cstddef>

#include <QLineEdit>
#include <QString>
#include <QValidator>

namespace zandel::ui {

// Keeps the user from typing a text box past its limit, counted in bytes of the stored text (UTF-8), as the
// settings pages count it. What the user adds (typed, pasted or dropped) is cut at the limit on a character
// boundary; text set by the program is shown as it is, so that an over-long stored value reaches the page's
// validation message, and the user may always shorten it.
class ByteLimitValidator final : public QValidator {
    Q_OBJECT
public:
    ByteLimitValidator(std::size_t limit, QLineEdit* box);

    State validate(QString& input, int& pos) const override;

private:
    std::size_t m_limit;
    QLineEdit* m_box;
    QString m_current; // the box's text before the change being validated
};

} // namespace zandel::ui
