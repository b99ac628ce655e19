#pragma once

namespace zandel {

class IMessageService;

enum class CloseAction {
    Close,         // no run: close normally (the document may still ask to save)
    StopThenClose, // the user chose OK while a run was active
    Stay,          // the user chose Cancel: the window stays and the run goes on
};

// A close request of the main window (close box, Alt+F4, the exit command). During a run the user is asked
// first; nothing else is asked here.
CloseAction DecideClose(bool running, IMessageService& messages);

} // namespace zandel
