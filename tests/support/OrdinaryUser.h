#pragma once

#include <functional>
#include <string>

#include <sys/types.h>

namespace zandel::test {

// Runs `body` as an ordinary user, for what file permissions forbid. Run as root, the body runs in a child
// process that has become the user nobody, with `dir` (a folder the user nobody can reach, such as a TempDir)
// handed to nobody first so that the body can work in it; otherwise it runs in this process. The body reports what went
// wrong, or nothing; that report is returned.
std::string RunAsOrdinaryUser(const std::string& dir, const std::function<std::string()>& body);

// A second user, neither root nor the ordinary user above: the owner of what "another user" planted. Only root
// can give a file to them.
uid_t OtherUserUid();
// Writes the file (or makes the folder, for a name ending in '/') as root and gives it to `owner`, with `mode`.
// The path of the file or folder.
std::string MakeOwned(const std::string& path, const std::string& bytes, uid_t owner, mode_t mode);

} // namespace zandel::test
