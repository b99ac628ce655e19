#include "ui/support/AppRig.h"

namespace zandel::test {

AppRig::AppRig() : lock(dir.File("Zandel.lock")), recent(dir.File("config/Zandel.ini")) {}

std::unique_ptr<ui::CMainApp> AppRig::MakeApp(const std::vector<std::string>& arguments) {
    return MakeAppIn(StartFolder{dir.Path(), {}, true}, arguments);
}

std::unique_ptr<ui::CMainApp> AppRig::MakeAppIn(StartFolder start, const std::vector<std::string>& arguments) {
    return std::make_unique<ui::CMainApp>(ui::CMainApp::Services{lock, internet, launcher, recent, &dialogs}, arguments,
                                          std::move(start));
}

} // namespace zandel::test
