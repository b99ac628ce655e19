#include "core/util/SharedLibrary.h"

#include <gtest/gtest.h>

namespace zandel {
namespace {

// Callers test Error() before they call through what Resolve gave them: a library or a function that is not
// there must show in it, or the first call would jump through a null pointer.
TEST(SharedLibraryTest, AMissingLibraryOrFunctionIsAnError) {
    SharedLibrary absent("libzandel-absent.so.9", "Absent");
    void (*function)() = nullptr;
    absent.Resolve("anything", function);
    EXPECT_EQ(function, nullptr);
    EXPECT_EQ(absent.Error().rfind("Absent could not be loaded: ", 0), 0U) << absent.Error();

    SharedLibrary libc("libc.so.6", "libc");
    int (*getPid)() = nullptr;
    libc.Resolve("getpid", getPid);
    ASSERT_NE(getPid, nullptr);
    EXPECT_EQ(libc.Error(), "");
    libc.Resolve("zandel_no_such_function", function);
    EXPECT_EQ(function, nullptr);
    EXPECT_EQ(libc.Error(), "libc could not be loaded: zandel_no_such_function is missing");
}

} // namespace
} // namespace zandel
