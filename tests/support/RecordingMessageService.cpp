#include "support/RecordingMessageService.h"

namespace zandel::test {

MbResult RecordingMessageService::Show(const std::string& text, MbButtons buttons, MbIcon icon) {
    const std::lock_guard lock(m_mutex);
    m_shown.push_back({text, buttons, icon});
    if (!m_answers.empty()) {
        const MbResult answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    return buttons == MbButtons::Ok ? MbResult::Ok : MbResult::Cancel;
}

void RecordingMessageService::QueueAnswer(MbResult answer) {
    const std::lock_guard lock(m_mutex);
    m_answers.push_back(answer);
}

std::vector<RecordingMessageService::Shown> RecordingMessageService::Boxes() const {
    const std::lock_guard lock(m_mutex);
    return m_shown;
}

std::vector<std::string> RecordingMessageService::Texts() const {
    const std::lock_guard lock(m_mutex);
    std::vector<std::string> texts;
    for (const Shown& shown : m_shown) {
        texts.push_back(shown.text);
    }
    return texts;
}

void RecordingMessageService::Clear() {
    const std::lock_guard lock(m_mutex);
    m_shown.clear();
    m_answers.clear();
}

} // namespace zandel::test
