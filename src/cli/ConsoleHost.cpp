#include "cli/ConsoleHost.h"

#include "core/util/Text.h"

namespace zandel::cli {

std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r') {
            continue;
        }
        line.push_back(c == '\n' ? ' ' : c);
    }
    return line;
}

ConsoleHost::ConsoleHost(std::FILE* transcript, std::function<void()> onTimeout)
    : m_transcript(transcript), m_timer(std::move(onTimeout)) {}

void ConsoleHost::AppendLog(const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (m_transcript == stderr) {
        ClearProgressLocked();
    }
    const std::string lines = CrLfToLf(text);
    std::fwrite(lines.data(), 1, lines.size(), m_transcript);
    std::fflush(m_transcript);
}

std::string ConsoleHost::GetTitle() {
    std::lock_guard lock(m_mutex);
    return m_title;
}

void ConsoleHost::SetTitle(const std::string& title) {
    std::lock_guard lock(m_mutex);
    m_title = title;
}

MbResult ConsoleHost::Show(const std::string& text, MbButtons buttons, MbIcon) {
    std::lock_guard lock(m_mutex);
    m_lastMessage = OneLine(text);
    ClearProgressLocked();
    std::fprintf(stderr, "zandel-check: %s\n", m_lastMessage.c_str());
    return buttons == MbButtons::YesNoCancel ? MbResult::No : MbResult::Ok;
}

std::string ConsoleHost::LastMessage() {
    std::lock_guard lock(m_mutex);
    return m_lastMessage;
}

void ConsoleHost::SetProgressLine(const std::string& line) {
    std::lock_guard lock(m_mutex);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    m_progressShown = true;
}

void ConsoleHost::ClearProgressLocked() {
    if (m_progressShown) {
        std::fputs("\r\033[K", stderr);
        m_progressShown = false;
    }
}

} // namespace zandel::cli
