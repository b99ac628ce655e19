#pragma once

#include <functional>
#include <string>

namespace zandel {

class IMessageService;

// How long after its start a program's failure still means that it could not start: an opener that finds nothing
// to open gives up within it, while a browser keeps running or hands the page to one already running and ends
// well.
inline constexpr int kFailedStartMs = 3000;

// Starting a program with one parameter string, the way the browser and the manual are opened.
class IProgramLauncher {
public:
    // Told when a started program ends in failure (a status other than 0, or a signal) within kFailedStartMs of
    // its start. It is called on a thread of the launcher's own, never once the launcher is gone, and must not
    // wait for another thread.
    using FailedStart = std::function<void()>;

    virtual ~IProgramLauncher() = default;
    // Starts `program` detached with `parameter` as its one argument (none when it is empty), in the
    // current working folder. A name without a "/" is looked for along PATH, as the desktop's launchers do.
    // False when the program could not be started at all.
    virtual bool Launch(const std::string& program, const std::string& parameter, FailedStart failed) = 0;
    // Starts the desktop's default web browser, detached, on no page. False when the desktop names none or it
    // could not be started at all.
    virtual bool LaunchDefaultBrowser(FailedStart failed) = 0;
};

// The desktop's URL opener ("xdg-open", the default browser path), known by its file name: given a page it opens
// it in the user's browser, but given none it only prints its usage.
bool IsUrlOpener(const std::string& program);

// A launch that silently did nothing would pass for a started browser: a program that cannot be started, or
// that fails at once, is told in a message box naming the program (`messages` must outlive the launcher). The
// URL opener without a parameter starts the desktop's default web browser instead. False when nothing started.
bool LaunchOrReport(IProgramLauncher& launcher, const std::string& program, const std::string& parameter,
                    IMessageService& messages);

} // namespace zandel
