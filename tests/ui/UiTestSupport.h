#pragma once

#include <string>
#include <vector>

#include <QAction>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "core/util/MessageService.h"

namespace zandel::test {

// Answers every message box in place of the user and remembers what it was asked.
class MessageRecorder final {
public:
    struct Box {
        std::string text;
        MbButtons buttons;
        MbIcon icon;
        // The windows on screen when the box came, by object name, and the one it stood over.
        QStringList shown;
        QString over;
    };
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    // Answers to give, in order; when they run out every box is answered with OK (or Yes).
    void QueueAnswer(MbResult answer) { m_answers.push_back(answer); }
    const std::vector<Box>& Boxes() const { return m_boxes; }
    void Clear() { m_boxes.clear(); }
    // Each box then takes the focus in a window of its own until it is answered, as a modal box does.
    void SetTakesFocus(bool takesFocus) { m_takesFocus = takesFocus; }

private:
    std::vector<Box> m_boxes;
    std::vector<MbResult> m_answers;
    bool m_takesFocus = false;
};

// The action with this object name below `root`; fails the test when it is missing or disabled.
QAction* RequireEnabledAction(QWidget* root, const QString& objectName);

} // namespace zandel::test
