#include "ui/support/ListRig.h"

#include "ui/util/MessageBoxService.h"

namespace zandel::test {

ListRig::ListRig()
    : host(std::make_unique<FakeListViewHost>(settings)), view(std::make_unique<ui::CRidIdiView>(settings)),
      doc(std::make_unique<CRidIdiDoc>(*view, ui::MessageBoxService::Instance(), docHost)) {
    view->SetHost(host.get());
    view->SetDocument(doc.get());
    view->resize(640, 480);
    view->show();
}

// The window first: it still answers its closing questions through the recorder.
ListRig::~ListRig() {
    view.reset();
    doc.reset();
    host.reset();
}

} // namespace zandel::test
