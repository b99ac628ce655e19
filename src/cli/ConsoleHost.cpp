#include "cli/ConsoleHost.h"

#include <cerrno>
#include <cstdint>

#include <unistd.h>

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

std::string EscapeControls(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    auto escape = [&out](unsigned char c) {
        out += "\\x";
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 0xF]);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0U;
        if ((c < 0x20 && c != '\n') || c == 0x7F) {
            escape(c);
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            escape(c);
            escape(static_cast<unsigned char>(next));
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

ConsoleHost::ConsoleHost(std::FILE* transcript)
    : m_transcript(transcript), m_onTerminal(::isatty(::fileno(transcript)) == 1) {}

void ConsoleHost::RunEnded() {
    m_runEnded = true;
    if (m_runEndWake >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_runEndWake, &one, sizeof one);
    }
}

void ConsoleHost::AppendLog(const std::string& text) {
    std::lock_guard lock(m_mutex);
    // After the first failed write (a full disk) the rest is dropped rather than written with a gap.
    if (m_transcript == nullptr || m_transcriptError != 0) {
        return;
    }
    if (m_transcript == stderr) {
        ClearProgressLocked();
    }
    const std::string lines = m_onTerminal ? EscapeControls(CrLfToLf(text)) : CrLfToLf(text);
    errno = 0;
    // A terminal shows each block as it comes; a file or a pipe is flushed by FlushTranscript, a write per
    // tenth of a second rather than one per proxy when thousands are checked at once.
    if (std::fwrite(lines.data(), 1, lines.size(), m_transcript) != lines.size() ||
        (m_onTerminal && std::fflush(m_transcript) != 0)) {
        m_transcriptError = errno != 0 ? errno : EIO;
    }
}

void ConsoleHost::FlushTranscript() {
    std::lock_guard lock(m_mutex);
    if (m_transcript == nullptr || m_transcriptError != 0) {
        return;
    }
    errno = 0;
    if (std::fflush(m_transcript) != 0) {
        m_transcriptError = errno != 0 ? errno : EIO;
    }
}

int ConsoleHost::EndTranscript() {
    std::lock_guard lock(m_mutex);
    if (m_transcript != nullptr && m_transcript != stderr) {
        errno = 0;
        if (std::fclose(m_transcript) != 0 && m_transcriptError == 0) {
            m_transcriptError = errno != 0 ? errno : EIO;
        }
    }
    m_transcript = nullptr;
    return m_transcriptError;
}

std::string ConsoleHost::GetTitle() {
    std::lock_guard lock(m_mutex);
    return m_title;
}

void ConsoleHost::SetTitle(const std::string& title) {
    std::lock_guard lock(m_mutex);
    m_title = title;
}

void ConsoleHost::RunNotice(const std::string& text) {
    if (m_transcript == stderr) {
        return;
    }
    std::lock_guard lock(m_mutex);
    ClearProgressLocked();
    std::fprintf(stderr, "zandel-check: %s\n", OneLine(text).c_str());
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
