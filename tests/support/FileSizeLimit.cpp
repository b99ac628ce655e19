#include "support/FileSizeLimit.h"

#include <algorithm>
#include <csignal>
#include <stdexcept>

namespace zandel::test {

FileSizeLimit::FileSizeLimit(std::size_t bytes) {
    if (::getrlimit(RLIMIT_FSIZE, &m_previous) != 0) {
        throw std::runtime_error("getrlimit failed");
    }
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = m_previous;
    limited.rlim_cur = std::min(static_cast<rlim_t>(bytes), m_previous.rlim_max);
    if (::setrlimit(RLIMIT_FSIZE, &limited) != 0) {
        std::signal(SIGXFSZ, m_previousHandler);
        throw std::runtime_error("setrlimit failed");
    }
}

FileSizeLimit::~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &m_previous);
    std::signal(SIGXFSZ, m_previousHandler);
}

} // namespace zandel::test
