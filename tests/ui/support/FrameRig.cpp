#include "ui/support/FrameRig.h"

#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"

namespace zandel::test {

FrameRig::FrameRig() : recent(dir.File("config/Zandel.ini")) {
    settings.StartDir = dir.Path();
    // The rig's proxies answer pages of their own, with no judge behind them: a run asks no judge directly.
    settings.JudgeBaseline = false;
}

FrameRig::~FrameRig() {
    // The window first: it still answers its closing questions through the recorder.
    m_frame.reset();
}

ui::CMainFrame& FrameRig::Make() {
    m_frame = std::make_unique<ui::CMainFrame>(settings, internet, launcher, recent, &dialogs);
    m_frame->show();
    return *m_frame;
}

void FrameRig::AddRows(const std::vector<std::string>& addresses) {
    ui::ProxyListView& view = *m_frame->View();
    for (const std::string& address : addresses) {
        view.Rows().InsertRow(view.Rows().RowCount(), address, 3, view.Rows().RowCount());
    }
}

void FrameRig::SetList(SettingsList list, const std::vector<std::string>& entries) {
    ClearList(settings, list);
    for (std::size_t slot = 0; slot < entries.size(); ++slot) {
        SetListEntry(settings, list, entries[slot], static_cast<int>(slot));
    }
}

} // namespace zandel::test
