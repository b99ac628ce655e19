// Preloaded into zandel-check by the end-to-end tests: every name lookup hangs as one waiting on a silent
// name server does, and nothing is ever asked of the network. Gives up after a minute so that a program left
// behind by a failed test still ends.

#include <netdb.h>
#include <unistd.h>

extern "C" int getaddrinfo(const char*, const char*, const addrinfo*, addrinfo** result) {
    *result = nullptr;
    for (int tick = 0; tick < 600; ++tick) {
        ::usleep(100000);
    }
    return EAI_AGAIN;
}
