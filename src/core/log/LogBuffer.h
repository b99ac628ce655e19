#pragma once

#include <string>

namespace zandel {

inline constexpr int kMaxLogLines = 1000;

// The log text with its limit: after every append only the last 1000 lines stay. A text that ends in a
// line end counts the empty line after it.
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
