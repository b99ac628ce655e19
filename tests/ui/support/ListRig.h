#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QPoint>
#include <Qt>

#include "core/settings/AppSettings.h"
#include "core/list/ProxyListDocument.h"
#include "support/FakeDocumentHost.h"
#include "support/TempDir.h"
#include "ui/UiTestSupport.h"
#include "ui/list/ProxyListView.h"
#include "ui/support/FakeListViewHost.h"

namespace zandel::test {

// A distinct address for each row number.
std::string AddressOf(int n);

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

    // `count` checked rows at the end of the list, each with its own address (AddressOf) and an NG result.
    void Fill(int count);
    // Exactly these rows selected.
    void Select(const std::vector<int>& rows);
    QPoint RowCentre(int row, int column = 0) const;
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = {});

private:
    static AppSettings SettingsIn(const TempDir& dir);
};

} // namespace zandel::test
