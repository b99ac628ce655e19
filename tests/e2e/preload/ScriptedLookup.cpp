// Preloaded into zandel-check by the end-to-end tests: a resolver that answers by the name's ending and never asks
// the network. "*.v4.test" is 127.0.0.1, "*.v6.test" ::1, "*.v6v4.test" ::1 and then 127.0.0.1; "*.hang.test"
// hangs as a lookup waiting on a silent name server does (giving up after a minute, so that a program left behind
// by a failed test still ends); any other name is unknown. With ZANDEL_LOOKUP_LOG set, every name asked is added to
// that file, one a line, so that a test can tell which names the program looked up itself.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

namespace {

bool EndsWith(const char* text, const char* tail) {
    const std::size_t length = std::strlen(text);
    const std::size_t tailLength = std::strlen(tail);
    return length >= tailLength && std::strcmp(text + length - tailLength, tail) == 0;
}

// One block for the entry and its address, as the C library's own freeaddrinfo expects.
addrinfo* Entry(int family, addrinfo* next) {
    struct Block {
        addrinfo info;
        sockaddr_in6 address;
    };
    auto* block = static_cast<Block*>(std::calloc(1, sizeof(Block)));
    block->info.ai_family = family;
    block->info.ai_socktype = SOCK_STREAM;
    block->info.ai_protocol = IPPROTO_TCP;
    block->info.ai_addr = reinterpret_cast<sockaddr*>(&block->address);
    block->info.ai_next = next;
    if (family == AF_INET6) {
        block->address.sin6_family = AF_INET6;
        block->address.sin6_addr = in6addr_loopback;
        block->info.ai_addrlen = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&block->address);
        in4->sin_family = AF_INET;
        in4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        block->info.ai_addrlen = sizeof(sockaddr_in);
    }
    return &block->info;
}

} // namespace

extern "C" int getaddrinfo(const char* node, const char*, const addrinfo*, addrinfo** result) {
    *result = nullptr;
    if (node == nullptr) {
        return EAI_NONAME;
    }
    if (const char* log = std::getenv("ZANDEL_LOOKUP_LOG"); log != nullptr) {
        if (std::FILE* file = std::fopen(log, "a"); file != nullptr) {
            std::fprintf(file, "%s\n", node);
            std::fclose(file);
        }
    }
    if (EndsWith(node, ".v4.test")) {
        *result = Entry(AF_INET, nullptr);
    } else if (EndsWith(node, ".v6.test")) {
        *result = Entry(AF_INET6, nullptr);
    } else if (EndsWith(node, ".v6v4.test")) {
        *result = Entry(AF_INET6, Entry(AF_INET, nullptr));
    } else if (EndsWith(node, ".hang.test")) {
        for (int tick = 0; tick < 600; ++tick) {
            ::usleep(100000);
        }
        return EAI_AGAIN;
    }
    return *result != nullptr ? 0 : EAI_NONAME;
}

extern "C" void freeaddrinfo(addrinfo* list) {
    while (list != nullptr) {
        addrinfo* next = list->ai_next;
        std::free(list);
        list = next;
    }
}
