#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

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

    // From now until ReleaseHeld, the boxes nobody waits on (told ones, and OK-only ones, whose answer is OK
    // whatever the user does) are kept back: while the program starts they would come up before the main
    // window, over the splash, with nothing to stand over.
    void HoldUnanswered();
    // The boxes kept back, in their order, each shown once the event loop comes to it.
    void ReleaseHeld();
    // The same at once, for a start that ends before its event loop runs: what ended it is said all the same.
    void ShowHeldNow();
    // A program that ends before its window was up says nothing more.
    void DropHeld();

private:
    struct HeldBox {
        std::string text;
        MbIcon icon;
    };

    MbResult ShowHere(const std::string& text, MbButtons buttons, MbIcon icon);
    bool Hold(const std::string& text, MbIcon icon);
    std::vector<HeldBox> TakeHeld();
    void Post(const std::string& text, MbIcon icon);

    QPointer<QWidget> m_parent;
    std::mutex m_heldLock; // any thread may tell
    bool m_holding = false;
    std::vector<HeldBox> m_held;
};

} // namespace zandel::ui
