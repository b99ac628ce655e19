#pragma once

#include <string>

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "core/util/SharedLibrary.h"

namespace zandel {

// The OpenSSL functions Zandel calls, by their own names; OpenSsl() loads libssl and libcrypto on first use
// (core/util/SharedLibrary.h says why they are not linked). A function-like macro of OpenSSL's headers is
// written out as the call it stands for, since the macro would name the linked function.
#define ZANDEL_OPENSSL_FUNCTIONS(F)                                                                                    \
    F(BIO_ctrl)                                                                                                        \
    F(BIO_free)                                                                                                        \
    F(BIO_new)                                                                                                         \
    F(BIO_read)                                                                                                        \
    F(BIO_s_mem)                                                                                                       \
    F(BIO_write)                                                                                                       \
    F(CRYPTO_memcmp)                                                                                                   \
    F(ERR_clear_error)                                                                                                 \
    F(ERR_peek_last_error)                                                                                             \
    F(ERR_reason_error_string)                                                                                         \
    F(EVP_sha256)                                                                                                      \
    F(HMAC)                                                                                                            \
    F(RAND_bytes)                                                                                                      \
    F(SSL_CTX_ctrl)                                                                                                    \
    F(SSL_CTX_free)                                                                                                    \
    F(SSL_CTX_get_cert_store)                                                                                          \
    F(SSL_CTX_load_verify_locations)                                                                                   \
    F(SSL_CTX_new)                                                                                                     \
    F(SSL_CTX_set_default_verify_paths)                                                                                \
    F(SSL_CTX_set_verify)                                                                                              \
    F(SSL_ctrl)                                                                                                        \
    F(SSL_do_handshake)                                                                                                \
    F(SSL_free)                                                                                                        \
    F(SSL_get0_param)                                                                                                  \
    F(SSL_get0_peer_certificate)                                                                                       \
    F(SSL_get_error)                                                                                                   \
    F(SSL_get_verify_result)                                                                                           \
    F(SSL_new)                                                                                                         \
    F(SSL_read)                                                                                                        \
    F(SSL_set1_host)                                                                                                   \
    F(SSL_set_bio)                                                                                                     \
    F(SSL_set_connect_state)                                                                                           \
    F(SSL_shutdown)                                                                                                    \
    F(SSL_write)                                                                                                       \
    F(TLS_client_method)                                                                                               \
    F(X509_NAME_print_ex)                                                                                              \
    F(X509_STORE_load_locations)                                                                                       \
    F(X509_VERIFY_PARAM_set1_ip_asc)                                                                                   \
    F(X509_digest)                                                                                                     \
    F(X509_get_issuer_name)                                                                                            \
    F(X509_get_subject_name)                                                                                           \
    F(X509_verify_cert_error_string)

struct OpenSslApi {
    ZANDEL_OPENSSL_FUNCTIONS(ZANDEL_LIBRARY_MEMBER)
    std::string error; // why OpenSSL could not be loaded; empty once it is
};

// Loaded once, on the first call, from any thread.
const OpenSslApi& OpenSsl();

} // namespace zandel
