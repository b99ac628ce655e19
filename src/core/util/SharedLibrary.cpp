#include "core/util/SharedLibrary.h"

#include <dlfcn.h>

namespace zandel {

SharedLibrary::SharedLibrary(const char* soname, const char* shownName) : m_shownName(shownName) {
    m_handle = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* why = ::dlerror();
        m_error = m_shownName + " could not be loaded: " + (why != nullptr ? why : soname);
    }
}

void* SharedLibrary::Symbol(const char* name) {
    if (m_handle == nullptr) {
        return nullptr;
    }
    void* symbol = ::dlsym(m_handle, name);
    if (symbol == nullptr && m_error.empty()) {
        m_error = m_shownName + " could not be loaded: " + name + " is missing";
    }
    return symbol;
}

} // namespace zandel
