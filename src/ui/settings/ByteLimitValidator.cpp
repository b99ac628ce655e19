#include "ui/settings/ByteLimitValidator.h"

#include <algorithm>

#include "core/util/Text.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

ByteLimitValidator::ByteLimitValidator(std::size_t limit, QLineEdit* box)
    : QValidator(box), m_limit(limit), m_box(box), m_current(box->text()) {
    connect(box, &QLineEdit::textChanged, this, [this](const QString& text) { m_current = text; });
}

QValidator::State ByteLimitValidator::validate(QString& input, int& pos) const {
    const std::size_t bytes = ToBytes(input).size();
    if (bytes <= m_limit || bytes <= ToBytes(m_current).size()) {
        return Acceptable;
    }
    // Only a change of the user's (the box then counts as modified) is cut; the program's text stays whole.
    if (!m_box->isModified()) {
        return Invalid;
    }
    // The added text ends at the cursor; before it lies what the change left of the old text.
    const qsizetype tail = std::clamp<qsizetype>(input.size() - pos, 0, m_current.size());
    const qsizetype headLimit = std::min<qsizetype>(pos, m_current.size() - tail);
    qsizetype head = 0;
    while (head < headLimit && input[head] == m_current[head]) {
        ++head;
    }
    const QString kept = input.left(head) + input.right(tail);
    const std::size_t keptBytes = ToBytes(kept).size();
    if (keptBytes >= m_limit) {
        return Invalid;
    }
    const std::string added = ToBytes(input.mid(head, input.size() - head - tail));
    const QString fitting = FromBytes(CutAtCharBoundary(added, m_limit - keptBytes));
    if (fitting.isEmpty()) {
        return Invalid;
    }
    input = input.left(head) + fitting + input.right(tail);
    pos = static_cast<int>(head + fitting.size());
    return Acceptable;
}

} // namespace zandel::ui
