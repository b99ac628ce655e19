#include "cli/FetchedList.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "core/fetch/ListFetcher.h"
#include "core/util/FileIo.h"

namespace zandel::cli {

std::string FetchedList::Fetch(const std::string& url, const std::optional<std::string>& caFile, long seconds,
                               std::string& error) {
    FetchOptions options;
    options.caFile = caFile;
    options.wholeSeconds = seconds;
    FetchResult fetched = FetchUrl(url, options);
    if (!fetched.ok) {
        error = ShownUrl(url) + ": " + fetched.error;
        return {};
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zandel-check.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = "no folder for the fetched list: " + std::string(std::strerror(errno));
        return {};
    }
    m_dir = pattern;
    const std::string file = m_dir + "/list.txt";
    if (const FileResult written = WriteFileAtomically(file, fetched.body); !written) {
        error = "the fetched list could not be kept: " + std::string(std::strerror(written.error));
        return {};
    }
    m_file = file;
    return m_file;
}

void FetchedList::Discard() {
    if (!m_file.empty()) {
        ::unlink(m_file.c_str());
        m_file.clear();
    }
    if (!m_dir.empty()) {
        ::rmdir(m_dir.c_str());
        m_dir.clear();
    }
}

} // namespace zandel::cli
