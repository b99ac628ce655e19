#include "core/util/OpenSsl.h"

namespace zandel {

const OpenSslApi& OpenSsl() {
    // libssl brings libcrypto in as its own dependency; libcrypto's functions are looked up through it.
    static const OpenSslApi api =
        LoadLibraryApi<OpenSslApi>("libssl.so.3", "OpenSSL", [](SharedLibrary& library, OpenSslApi& api) {
            ZANDEL_OPENSSL_FUNCTIONS(ZANDEL_LIBRARY_RESOLVE)
        });
    return api;
}

} // namespace zandel
