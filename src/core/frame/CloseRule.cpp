#include "core/frame/CloseRule.h"

#include "core/app/MessageService.h"
#include "core/app/Texts.h"

namespace zandel {

CloseAction DecideClose(bool running, IMessageService& messages) {
    if (!running) {
        return CloseAction::Close;
    }
    return messages.Show(texts::kCloseDuringRun, MbButtons::OkCancel, MbIcon::Warning) == MbResult::Ok
               ? CloseAction::StopThenClose
               : CloseAction::Stay;
}

} // namespace zandel
