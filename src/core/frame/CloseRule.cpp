#include "core/frame/CloseRule.h"

#include "core/util/MessageService.h"
#include "core/util/Texts.h"

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
