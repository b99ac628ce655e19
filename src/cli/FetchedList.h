#pragma once

#include <optional>
#include <string>

namespace zandel::cli {

// A list fetched from the web, in a folder of the user's own for as long as it is being read.
class FetchedList final {
public:
    FetchedList() = default;
    ~FetchedList() { Discard(); }
    FetchedList(const FetchedList&) = delete;
    FetchedList& operator=(const FetchedList&) = delete;

    // The path of the list file, or "" after writing why not to `error`.
    std::string Fetch(const std::string& url, const std::optional<std::string>& caFile, long seconds,
                      std::string& error);

    // Once the list is read, its copy goes: a run given up on ends without returning here.
    void Discard();

private:
    std::string m_dir;
    std::string m_file;
};

} // namespace zandel::cli
