#include "core/log/LogBuffer.h"

#include <algorithm>

namespace zandel {

namespace {

// The offset just after the `count`-th line end of `text` (0 for none); the text holds that many.
std::size_t AfterLineEnds(const std::string& text, std::size_t count) {
    std::size_t cut = 0;
    while (count-- > 0) {
        cut = text.find('\n', cut) + 1;
    }
    return cut;
}

} // namespace

LogTrim PlanLogTrim(int shownLines, std::size_t addedBreaks) {
    LogTrim trim;
    const long long excess = static_cast<long long>(shownLines) + static_cast<long long>(addedBreaks) - kMaxLogLines;
    if (excess <= 0) {
        return trim;
    }
    if (excess < shownLines) {
        trim.shownLines = static_cast<int>(excess);
        return trim;
    }
    // The last shown line and the new text's first piece are one line: it goes with the rest.
    trim.clearShown = true;
    trim.addedBreaks = addedBreaks - static_cast<std::size_t>(kMaxLogLines - 1);
    return trim;
}

int LogBuffer::LineCount() const {
    return 1 + static_cast<int>(std::count(m_text.begin(), m_text.end(), '\n'));
}

void LogBuffer::AppendText(const std::string& text) {
    if (text.empty()) {
        return;
    }
    const LogTrim trim = PlanLogTrim(LineCount(), static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    if (trim.clearShown) {
        m_text = text.substr(AfterLineEnds(text, trim.addedBreaks));
        return;
    }
    m_text.erase(0, AfterLineEnds(m_text, static_cast<std::size_t>(trim.shownLines)));
    m_text += text;
}

} // namespace zandel
