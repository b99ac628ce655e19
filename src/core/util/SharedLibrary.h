#pragma once

#include <string>

namespace zandel {

// A system library loaded on its first use instead of linked. OpenSSL, SQLite and libcurl serve HTTPS checks,
// the history and lists from the web; linked, every start of zandel-check would load and relocate them (a few
// milliseconds, as much CPU as a thousand plain checks spend in their own code), though a plain run needs none.
// A loaded library is kept for the life of the process.
class SharedLibrary {
public:
    // `soname` is the file the dynamic loader looks for; `shownName` names it in Error().
    SharedLibrary(const char* soname, const char* shownName);

    // Points `function` at the library's function of that name (null when it is missing, which Error() then says).
    template <typename Function> void Resolve(const char* name, Function& function) {
        function = reinterpret_cast<Function>(Symbol(name));
    }

    // Empty when the library and every function asked of it were found.
    const std::string& Error() const { return m_error; }

private:
    void* Symbol(const char* name);

    void* m_handle = nullptr;
    std::string m_shownName;
    std::string m_error;
};

// A table of a library's functions: `struct Api { LIST(ZANDEL_LIBRARY_MEMBER) std::string error; };`, where LIST
// applies its argument to each function's name, gives each member the type of the function it is named after;
// LoadLibraryApi fills one in, `error` saying why it could not.
#define ZANDEL_LIBRARY_MEMBER(name) decltype(&::name) name = nullptr; // NOLINT(bugprone-macro-parentheses)
#define ZANDEL_LIBRARY_RESOLVE(name) library.Resolve(#name, api.name);

template <typename Api, typename ResolveAll>
Api LoadLibraryApi(const char* soname, const char* shownName, ResolveAll resolveAll) {
    Api api;
    SharedLibrary library(soname, shownName);
    resolveAll(library, api);
    api.error = library.Error();
    return api;
}

} // namespace zandel
