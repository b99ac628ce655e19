#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/fetch/ListFetcher.h"

namespace zandel {

// Fetches a list away from the user-interface thread, so that the window stays responsive, and hands the result
// back on that thread.
class IUrlFetcher {
public:
    using Done = std::function<void(const FetchResult&)>;

    virtual ~IUrlFetcher() = default;
    // Gives up a fetch under way, then starts this one. `done` comes later, never from within Start.
    virtual void Start(const std::string& url, const FetchOptions& options, Done done) = 0;
    // Gives up the fetch under way: its `done` never comes.
    virtual void Cancel() = 0;
};

// The user of the URL's login as written, "" for none.
std::string UrlUser(const std::string& url);
// The URL with this login in place of any it has, user and password percent-escaped.
std::string UrlWithLogin(const std::string& url, const std::string& user, const std::string& password);
// The name a list from `url` goes by until it is saved: the last part of its path, which the save dialog then
// offers as the file's name, or the host when the path names no file.
std::string ListUrlTitle(const std::string& url);
// The proxy bar's address as libcurl takes a proxy ("scheme://[user:password@]host:port"), or nothing for an
// address no form of the list reads.
std::optional<std::string> FetchProxyOf(const std::string& address);
// The fetch options of a download the window makes as it fetches a list (the offline databases): through the proxy
// bar's proxy (`currentProxy`) when lists go through it ([ListUrl] ViaProxy), else directly; false when a proxy is
// asked for and none is set, which never falls back to a direct fetch behind the user's back.
bool FetchOptionsLikeList(bool viaProxy, const std::string& currentProxy, FetchOptions& options);
// The message for a failed fetch, naming its cause; "" for one the user gave up.
std::string FetchFailureMessage(const std::string& url, const FetchResult& result);

// The messages of an open that never reached the network.
std::string NotListUrlMessage(const std::string& text);
std::string NoProxyMessage(const std::string& url);
std::string RunningMessage(const std::string& url);

} // namespace zandel
