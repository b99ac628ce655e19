#include "support/OrdinaryUser.h"

#include <cerrno>
#include <exception>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempDir.h"

namespace zandel::test {

uid_t OtherUserUid() {
    const passwd* daemon = ::getpwnam("daemon");
    return daemon != nullptr && daemon->pw_uid != 0 ? daemon->pw_uid : 1;
}

std::string MakeOwned(const std::string& path, const std::string& bytes, uid_t owner, mode_t mode) {
    std::string made = path;
    if (!made.empty() && made.back() == '/') {
        made.pop_back();
        ::mkdir(made.c_str(), mode);
    } else {
        TempDir::WriteFile(made, bytes);
    }
    if (::lchown(made.c_str(), owner, static_cast<gid_t>(-1)) != 0 || ::chmod(made.c_str(), mode) != 0) {
        return {};
    }
    return made;
}

std::string RunAsOrdinaryUser(const std::string& dir, const std::function<std::string()>& body) {
    if (::geteuid() != 0) {
        return body();
    }
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr) {
        return "no user nobody";
    }
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    if (::chown(dir.c_str(), uid, gid) != 0) {
        return "cannot hand " + dir + " to nobody";
    }
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return "no pipe";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        std::string text;
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
            text = "cannot become nobody";
        } else {
            // Nothing may leave the body: the child would go on to run the rest of the tests.
            try {
                text = body();
            } catch (const std::exception& error) {
                text = error.what();
            } catch (...) {
                text = "the body threw";
            }
        }
        const char* cursor = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const ssize_t n = ::write(report[1], cursor, left);
            if (n <= 0) {
                break;
            }
            cursor += n;
            left -= static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(report[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(report[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return text + " (the ordinary user's process did not end normally)";
    }
    return text;
}

} // namespace zandel::test
