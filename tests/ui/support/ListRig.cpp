#include "ui/support/ListRig.h"

#include "ui/list/ListRows.h"
#include "ui/util/MessageBoxService.h"

namespace zandel::test {

ListRig::ListRig()
    : host(std::make_unique<FakeListViewHost>(settings)), view(host->MakeView(settings)),
      doc(std::make_unique<ProxyListDocument>(view->Rows(), ui::MessageBoxService::Instance(), docHost)) {
    view->SetDocument(doc.get());
    view->resize(640, 480);
    view->show();
}

AppSettings ListRig::SettingsIn(const TempDir& dir) {
    AppSettings settings;
    settings.StartDir = dir.Path();
    // The rig's proxies answer pages of their own, with no judge behind them: a run asks no judge directly.
    settings.JudgeBaseline = false;
    return settings;
}

// The window first: it still answers its closing questions through the recorder.
ListRig::~ListRig() {
    view.reset();
    doc.reset();
    host.reset();
}

} // namespace zandel::test
