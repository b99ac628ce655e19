#pragma once

#include <cstddef>

#include <sys/resource.h>

namespace zandel::test {

// Makes every write past `bytes` into any file fail with EFBIG while the object lives: a disk that fills up
// in the middle of a write, also for a test run as root. SIGXFSZ is ignored meanwhile so that the failure
// shows as an error code instead of ending the process.
class FileSizeLimit final {
public:
    explicit FileSizeLimit(std::size_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
};

} // namespace zandel::test
