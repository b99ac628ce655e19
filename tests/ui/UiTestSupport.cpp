#include "ui/UiTestSupport.h"

#include <QTest>

#include "ui/util/MessageBoxService.h"

namespace zandel::test {

MessageRecorder::MessageRecorder() {
    ui::MessageBoxService::SetResponder([this](const std::string& text, MbButtons buttons, MbIcon icon) {
        m_boxes.push_back({text, buttons, icon});
        if (!m_answers.empty()) {
            const MbResult answer = m_answers.front();
            m_answers.erase(m_answers.begin());
            return answer;
        }
        return buttons == MbButtons::YesNoCancel ? MbResult::Yes : MbResult::Ok;
    });
}

MessageRecorder::~MessageRecorder() {
    ui::MessageBoxService::SetResponder(nullptr);
}

QAction* RequireEnabledAction(QWidget* root, const QString& objectName) {
    auto* action = root->findChild<QAction*>(objectName);
    if (action == nullptr) {
        QTest::qFail(qPrintable(QStringLiteral("no action %1").arg(objectName)), __FILE__, __LINE__);
        return nullptr;
    }
    if (!action->isEnabled()) {
        QTest::qFail(qPrintable(QStringLiteral("action %1 is disabled").arg(objectName)), __FILE__, __LINE__);
        return nullptr;
    }
    return action;
}

} // namespace zandel::test
