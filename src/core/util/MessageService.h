#pragma once

#include <string>

namespace zandel {

enum class MbButtons { Ok, OkCancel, YesNoCancel };
enum class MbIcon { None, Warning, Information, Question };
enum class MbResult { Ok, Cancel, Yes, No };

// Every message box of Zandel goes through one service (caption "Zandel"), so that tests can answer it.
// Implementations must accept calls from any thread: the check run shows its warning from its own thread.
class IMessageService {
public:
    virtual ~IMessageService() = default;
    virtual MbResult Show(const std::string& text, MbButtons buttons, MbIcon icon) = 0;
    // An OK box with the warning icon that nobody waits for: it returns at once, whatever the thread, and the
    // box comes up on its own (what a program started earlier reports from a thread of its own).
    virtual void Tell(const std::string& text) { Show(text, MbButtons::Ok, MbIcon::Warning); }
};

// An OK-only box carries the exclamation (warning) icon unless told otherwise.
inline MbResult ShowOk(IMessageService& messages, const std::string& text, MbIcon icon = MbIcon::Warning) {
    return messages.Show(text, MbButtons::Ok, icon);
}

} // namespace zandel
