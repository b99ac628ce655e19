#include "core/log/LogBuffer.h"

#include <algorithm>

namespace zandel {

int LogBuffer::LineCount() const {
    return 1 + static_cast<int>(std::count(m_text.begin(), m_text.end(), '\n'));
}

void LogBuffer::AppendText(const std::string& text) {
    if (text.empty()) {
        return;
    }
    m_text += text;
    int excess = LineCount() - kMaxLogLines;
    if (excess <= 0) {
        return;
    }
    std::size_t cut = 0;
    while (excess-- > 0) {
        cut = m_text.find('\n', cut) + 1;
    }
    m_text.erase(0, cut);
}

} // namespace zandel
