#include "ui/UiTestSupport.h"

#include <QApplication>
#include <QPointer>
#include <QTest>

#include "ui/util/MessageBoxService.h"

namespace zandel::test {

MessageRecorder::MessageRecorder() {
    ui::MessageBoxService::SetResponder([this](const std::string& text, MbButtons buttons, MbIcon icon) {
        QStringList shown;
        for (const QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible()) {
                shown << window->objectName();
            }
        }
        const QWidget* over = ui::MessageBoxService::Instance().ParentWindow();
        m_boxes.push_back({text, buttons, icon, shown, over != nullptr ? over->objectName() : QString()});
        if (m_takesFocus) {
            // The window manager gives the focus back to the window below once the box has closed.
            const QPointer<QWidget> below = QApplication::activeWindow();
            {
                QWidget box;
                box.show();
                box.activateWindow();
                if (!QTest::qWaitForWindowActive(&box)) {
                    QTest::qFail("the box did not take the focus", __FILE__, __LINE__);
                }
            }
            if (!below.isNull()) {
                below->activateWindow();
            }
        }
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
