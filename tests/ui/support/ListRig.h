#pragma once

#include <memory>

#include "core/settings/AppSettings.h"
#include "core/list/ProxyListDocument.h"
#include "support/FakeDocumentHost.h"
#include "support/TempDir.h"
#include "ui/UiTestSupport.h"
#include "ui/list/ProxyListView.h"
#include "ui/support/FakeListViewHost.h"

namespace zandel::test {

// The list window on its own, shown, over a recording main window and a list document; message boxes are
// answered by the recorder.
class ListRig final {
public:
    ListRig();
    ~ListRig();
    ListRig(const ListRig&) = delete;
    ListRig& operator=(const ListRig&) = delete;

    // The start folder: a run's history goes here, never into the folder the tests run in.
    TempDir dir;
    AppSettings settings = SettingsIn(dir);
    MessageRecorder messages;
    FakeDocumentHost docHost;
    std::unique_ptr<FakeListViewHost> host;
    std::unique_ptr<ui::ProxyListView> view;
    std::unique_ptr<ProxyListDocument> doc;

private:
    static AppSettings SettingsIn(const TempDir& dir);
};

} // namespace zandel::test
