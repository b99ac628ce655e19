#include "ui/util/MessageBoxService.h"

#include <utility>

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include "core/util/Texts.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

MessageBoxService::Responder& TestResponder() {
    static MessageBoxService::Responder responder;
    return responder;
}

} // namespace

MessageBoxService& MessageBoxService::Instance() {
    static MessageBoxService service;
    return service;
}

void MessageBoxService::SetResponder(Responder responder) {
    TestResponder() = std::move(responder);
}

MbResult MessageBoxService::Show(const std::string& text, MbButtons buttons, MbIcon icon) {
    if (buttons == MbButtons::Ok && Hold(text, icon)) {
        return MbResult::Ok;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        return ShowHere(text, buttons, icon);
    }
    MbResult result = MbResult::Cancel;
    QMetaObject::invokeMethod(
        app, [&] { result = ShowHere(text, buttons, icon); }, Qt::BlockingQueuedConnection);
    return result;
}

void MessageBoxService::Tell(const std::string& text) {
    if (!Hold(text, MbIcon::Warning)) {
        Post(text, MbIcon::Warning);
    }
}

void MessageBoxService::HoldUnanswered() {
    const std::lock_guard lock(m_heldLock);
    m_holding = true;
}

void MessageBoxService::ReleaseHeld() {
    for (const HeldBox& box : TakeHeld()) {
        Post(box.text, box.icon);
    }
}

void MessageBoxService::ShowHeldNow() {
    for (const HeldBox& box : TakeHeld()) {
        ShowHere(box.text, MbButtons::Ok, box.icon);
    }
}

void MessageBoxService::DropHeld() {
    TakeHeld();
}

std::vector<MessageBoxService::HeldBox> MessageBoxService::TakeHeld() {
    const std::lock_guard lock(m_heldLock);
    m_holding = false;
    return std::exchange(m_held, {});
}

bool MessageBoxService::Hold(const std::string& text, MbIcon icon) {
    const std::lock_guard lock(m_heldLock);
    if (m_holding) {
        m_held.push_back({text, icon});
    }
    return m_holding;
}

void MessageBoxService::Post(const std::string& text, MbIcon icon) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [this, text, icon] { ShowHere(text, MbButtons::Ok, icon); }, Qt::QueuedConnection);
    }
}

MbResult MessageBoxService::ShowHere(const std::string& text, MbButtons buttons, MbIcon icon) {
    if (TestResponder()) {
        return TestResponder()(text, buttons, icon);
    }
    QMessageBox box(m_parent);
    box.setWindowTitle(QString::fromUtf8(texts::kAppName));
    box.setText(FromBytes(text));
    switch (icon) {
    case MbIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MbIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MbIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MbIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case MbButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MbButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MbButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MbResult::Ok;
    case QMessageBox::Yes:
        return MbResult::Yes;
    case QMessageBox::No:
        return MbResult::No;
    default:
        return MbResult::Cancel;
    }
}

} // namespace zandel::ui
