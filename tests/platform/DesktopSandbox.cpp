#include "DesktopSandbox.h"

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/TempDir.h"

namespace zandel::test {

namespace {

std::unique_ptr<TempDir>& Folder() {
    static std::unique_ptr<TempDir> folder;
    return folder;
}

class Sandbox final : public ::testing::Environment {
public:
    void SetUp() override {
        Folder() = std::make_unique<TempDir>();
        const TempDir& dir = *Folder();
        for (const char* sub : {"config", "data", "data/applications"}) {
            ASSERT_EQ(::mkdir(dir.File(sub).c_str(), 0700), 0) << sub;
        }
        const std::string browser = dir.Write("browser", "#!/bin/sh\n"
                                                         "out=\"$(dirname \"$0\")/browser-args.txt\"\n"
                                                         "{ echo \"$#\"; for a in \"$@\"; do echo \"[$a]\"; done; } "
                                                         "> \"$out.tmp\"\n"
                                                         "mv \"$out.tmp\" \"$out\"\n");
        ASSERT_EQ(::chmod(browser.c_str(), 0755), 0);
        dir.Write("data/applications/stand-in-browser.desktop",
                  "[Desktop Entry]\nType=Application\nName=Stand-in browser\nExec=" + browser +
                      " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;text/html;\n");
        dir.Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=stand-in-browser.desktop\n");
        ::setenv("GSETTINGS_BACKEND", "keyfile", 1);
        ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
        ::unsetenv("XDG_CURRENT_DESKTOP");
    }
    void TearDown() override { Folder().reset(); }
};

[[maybe_unused]] ::testing::Environment* const kSandbox = ::testing::AddGlobalTestEnvironment(new Sandbox);

} // namespace

std::string DesktopSandbox::KeyfilePath() {
    return Folder()->File("config/glib-2.0/settings/keyfile");
}

std::string DesktopSandbox::BrowserArgs() {
    return Folder()->File("browser-args.txt");
}

} // namespace zandel::test
