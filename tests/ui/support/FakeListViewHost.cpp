#include "ui/support/FakeListViewHost.h"

#include <QPushButton>

#include "ui/frame/CheckBar.h"
#include "ui/frame/ProxyBar.h"
#include "ui/list/ProxyListView.h"
#include "ui/log/LogView.h"

namespace zandel::test {

FakeListViewHost::FakeListViewHost(AppSettings& settings)
    : m_proxyBar(std::make_unique<ui::CProxyBar>(settings, internet)), m_checkBar(std::make_unique<ui::CCheckBar>()),
      m_logView(std::make_unique<ui::CLogView>()),
      m_run(std::make_unique<ui::RunWindows>(*this, *m_checkBar, *m_proxyBar)) {}

FakeListViewHost::~FakeListViewHost() = default;

std::unique_ptr<ui::ProxyListView> FakeListViewHost::MakeView(AppSettings& settings) {
    auto view = std::make_unique<ui::ProxyListView>(settings, *m_run);
    view->SetHost(this);
    m_view = view.get();
    m_run->SetPanes(view.get(), m_logView.get());
    return view;
}

bool FakeListViewHost::DispatchKey(int id) {
    keyCommands.push_back(id);
    return m_view != nullptr && m_view->OnCommand(id);
}

IProxyBar* FakeListViewHost::ProxyBar() {
    return m_proxyBar.get();
}

void FakeListViewHost::SetCaption(const QString& text) {
    caption = text;
    captions << text;
}

QString FakeListViewHost::LogText() const {
    QString text = m_logView->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

QString FakeListViewHost::StartStopCaption() const {
    return m_checkBar->StartStopButton()->text();
}

} // namespace zandel::test
