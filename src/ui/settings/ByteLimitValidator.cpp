#include "ui/settings/ByteLimitValidator.h"

#include "ui/util/TextCodec.h"

namespace zandel::ui {

ByteLimitValidator::ByteLimitValidator(std::size_t limit, QLineEdit* box) : QValidator(box), m_limit(limit) {
    m_currentBytes = ToBytes(box->text()).size();
    connect(box, &QLineEdit::textChanged, this, [this](const QString& text) { m_currentBytes = ToBytes(text).size(); });
}

QValidator::State ByteLimitValidator::validate(QString& input, int& /*pos*/) const {
    const std::size_t bytes = ToBytes(input).size();
    return bytes <= m_limit || bytes <= m_currentBytes ? Acceptable : Invalid;
}

} // namespace zandel::ui
