#include "ui/support/ListRig.h"

#include <QTest>

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

std::string AddressOf(int n) {
    return "10.0." + std::to_string(n / 256) + "." + std::to_string(n % 256) + ":80";
}

void ListRig::Fill(int count) {
    for (int row = view->Rows().RowCount(), end = row + count; row < end; ++row) {
        view->Rows().InsertRow(row, AddressOf(row), StatusNG, row);
        view->Rows().SetCellText(row, 1, "NG");
        view->Rows().SetCellText(row, 2, "--:---");
        view->Rows().SetCellText(row, 3, "2024/01/02(03:04:05)");
    }
}

void ListRig::Select(const std::vector<int>& rows) {
    view->clearSelection();
    for (int row : rows) {
        view->Rows().SetRowSelected(row, true);
    }
}

QPoint ListRig::RowCentre(int row, int column) const {
    return view->visualRect(view->model()->index(row, column)).center();
}

void ListRig::ClickRow(int row, Qt::KeyboardModifiers modifiers) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, RowCentre(row));
}

} // namespace zandel::test
