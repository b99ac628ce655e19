#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "core/util/MessageService.h"
#include "core/check/CheckEngine.h"
#include "core/list/ProxyListDocument.h"

namespace zandel::cli {

// The windows of the desktop program, for a console: the transcript goes to a stream, messages become
// one-line notes on standard error. A transcript that goes
// to a terminal shows control characters escaped (a proxy's answer is copied into it and must not drive
// the user's terminal); one written to a file is kept byte for byte.
class ConsoleHost final : public ICheckHost, public IMessageService, public IDocumentHost {
public:
    explicit ConsoleHost(std::FILE* transcript);

    // ICheckHost
    void AppendLog(const std::string& text) override;
    std::string GetTitle() override;
    void SetTitle(const std::string& title) override;
    void SetStartStop(bool) override {}
    void SetLabelEditing(bool) override {}
    void StartCheckIndicator() override {}
    void StopCheckIndicator() override {}
    std::string GetProxyBarAddress() override { return {}; }
    // Said on standard error too when the transcript goes to a file.
    void RunNotice(const std::string& text) override;
    // Marks the run ended and writes to the descriptor given to WakeOnRunEnd, so that whoever waits for the
    // run wakes at once.
    void RunEnded() override;

    // IMessageService
    MbResult Show(const std::string& text, MbButtons buttons, MbIcon icon) override;

    // IDocumentHost
    void SetProxyFile(const std::string&) override {}
    void UpdateCounts() override {}
    void AddToRecentFiles(const std::string&) override {}
    void DocumentChanged() override {}
    bool SaveDocument() override { return false; }

    // The text of the last message shown, on one line.
    std::string LastMessage();
    // Writes out the transcript's lines still held in its buffer (a transcript that is not a terminal).
    void FlushTranscript();
    // Ends the transcript: later lines are dropped. Closes a transcript file (never standard error) and
    // gives the errno of the first failed write or of the close, 0 when every line was written.
    int EndTranscript();
    // Clears a progress line before other text reaches the terminal.
    void SetProgressLine(const std::string& line);
    // An eventfd written once a run has ended (-1: none).
    void WakeOnRunEnd(int eventFd) { m_runEndWake = eventFd; }
    // A run has ended: its thread returns at once.
    bool RunHasEnded() const { return m_runEnded.load(); }
    // Another run of the same engine is about to start (a re-check while serving).
    void ExpectRun() { m_runEnded = false; }

private:
    void ClearProgressLocked();

    std::FILE* m_transcript;
    bool m_onTerminal; // the transcript goes to a terminal: controls escaped, each block flushed
    int m_transcriptError = 0;
    std::mutex m_mutex;
    std::string m_title;
    std::string m_lastMessage;
    bool m_progressShown = false;
    int m_runEndWake = -1;
    std::atomic<bool> m_runEnded{false};
};

// A message's lines joined into one.
std::string OneLine(const std::string& text);
// The text with every control character but the line feed shown as \xHH (C1 controls as their UTF-8
// form), fit for a terminal.
std::string EscapeControls(const std::string& text);

} // namespace zandel::cli
