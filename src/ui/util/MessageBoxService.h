#pragma once

#include <functional>

#include <QPointer>
#include <QWidget>

#include "core/util/MessageService.h"

namespace zandel::ui {

// Every message box of the program: caption "Zandel", the texts, buttons and icons it is given. Calls from
// other threads are carried to the user-interface thread and wait there for the user's answer. Tests set a
// responder that answers in place of the user and sees every box.
class MessageBoxService final : public IMessageService {
public:
    using Responder = std::function<MbResult(const std::string& text, MbButtons buttons, MbIcon icon)>;

    static MessageBoxService& Instance();
    static void SetResponder(Responder responder);

    void SetParentWindow(QWidget* parent) { m_parent = parent; }
    QWidget* ParentWindow() const { return m_parent; }
    MbResult Show(const std::string& text, MbButtons buttons, MbIcon icon) override;
    // Posted to the user-interface thread, shown once its event loop comes to it.
    void Tell(const std::string& text) override;

private:
    MbResult ShowHere(const std::string& text, MbButtons buttons, MbIcon icon);

    QPointer<QWidget> m_parent;
};

} // namespace zandel::ui
