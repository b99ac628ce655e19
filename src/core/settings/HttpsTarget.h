#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/settings/FieldRules.h"

namespace zandel {

// Where the HTTPS step of a check tunnels to: HttpsTarget of the settings as "host:port", or, when that is
// empty, the access URL's host on the HTTPS port. The settings page, the check run and zandel-check's
// --https-target all take a target through ParseHttpsTarget and refuse it with this one message.
inline constexpr int kHttpsDefaultPort = 443;
inline constexpr const char* kHttpsTargetMessage =
    "HTTPSﾁｪｯｸ先は ﾎｽﾄ名:ﾎﾟｰﾄ番号 の形で指定してください。ﾎﾟｰﾄ番号は 1 から 65535 までの整数です。";

struct HttpsTargetAddress {
    std::string host; // an IPv6 literal without its brackets
    int port = kHttpsDefaultPort;
    // "host:port" as a CONNECT line names it, an IPv6 literal in brackets.
    std::string Authority() const;
};

// A host name, an IPv4 literal or an IPv6 literal in brackets, a colon and a decimal port from 1 to 65535,
// blanks around the whole allowed. The host takes no blank, slash, "@", colon or control byte, so that it
// cannot bend the CONNECT line or the request it stands in; an IPv6 literal is one only in brackets (a bare
// "::3" is not a host and a port). Nothing for anything else, the empty text included.
std::optional<HttpsTargetAddress> ParseHttpsTarget(std::string_view text);

// The target a check tunnels to, from the setting and the access URL's host: nothing when the setting is not a
// target or, empty, the access URL has no host.
std::optional<HttpsTargetAddress> EffectiveHttpsTarget(std::string_view setting, std::string_view accessUrlHost);

// The page's target box: empty, or a target as ParseHttpsTarget takes it, stored without the blanks around.
FieldCheck CheckHttpsTargetField(std::string_view text, std::string& value);

} // namespace zandel
