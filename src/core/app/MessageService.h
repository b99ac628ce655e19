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
};

// An OK-only box carries the exclamation (warning) icon unless told otherwise.
inline MbResult ShowOk(IMessageService& messages, const std::string& text, MbIcon icon = MbIcon::Warning) {
    return messages.Show(text, MbButtons::Ok, icon);
}

} // namespace zandel
