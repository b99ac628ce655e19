#pragma once

#include <cstddef>
#include <string>

namespace zandel {

inline constexpr int kMaxLogLines = 1000;

// What keeping the last 1000 lines removes when a text with `addedBreaks` line ends is appended to a log of
// `shownLines` lines (a text that ends in a line end counts the empty line after it). Either the oldest
// `shownLines` lines go, each with its line end, or, when the new text alone fills the limit, all that was
// shown goes and the new text is kept from just after its `addedBreaks`-th line end.
struct LogTrim {
    int shownLines = 0;
    bool clearShown = false;
    std::size_t addedBreaks = 0;
};
LogTrim PlanLogTrim(int shownLines, std::size_t addedBreaks);

// The log text with its limit: after every append only the last 1000 lines stay.
class LogBuffer final {
public:
    void AppendText(const std::string& text);
    void Clear() { m_text.clear(); }
    const std::string& Text() const { return m_text; }
    int LineCount() const;

private:
    std::string m_text;
};

} // namespace zandel
