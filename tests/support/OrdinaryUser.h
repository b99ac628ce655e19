#pragma once

#include <functional>
#include <string>

namespace zandel::test {

// Runs `body` as an ordinary user, for what file permissions forbid. Run as root, the body runs in a child
// process that has become the user nobody, with `dir` (a folder the user nobody can reach, such as a TempDir)
// handed to nobody first so that the body can work in it; otherwise it runs in this process. The body reports what went
// wrong, or nothing; that report is returned.
std::string RunAsOrdinaryUser(const std::string& dir, const std::function<std::string()>& body);

} // namespace zandel::test
