#include "ui/util/MessageBoxService.h"

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
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [this, text] { ShowHere(text, MbButtons::Ok, MbIcon::Warning); }, Qt::QueuedConnection);
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
