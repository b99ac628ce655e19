#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "core/util/MessageService.h"

namespace zandel::test {

// Answers message boxes from a queue and keeps every box shown. Without a queued answer an OK box answers
// OK and a question answers Cancel, the choice that changes least.
class RecordingMessageService final : public IMessageService {
public:
    struct Shown {
        std::string text;
        MbButtons buttons;
        MbIcon icon;
    };

    MbResult Show(const std::string& text, MbButtons buttons, MbIcon icon) override;
    void QueueAnswer(MbResult answer);
    std::vector<Shown> Boxes() const;
    std::vector<std::string> Texts() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::deque<MbResult> m_answers;
    std::vector<Shown> m_shown;
};

} // namespace zandel::test
