#pragma once

#include <string_view>

#include "core/check/SiteCheck.h"
#include "core/list/SiteClass.h"

namespace zandel {

// What a site's answer, as far as it was read, tells the user of the proxy it came through. A redirect is not
// followed: it reads "block-redirect" when it leaves the site (another host, one neither a subdomain nor the parent
// of the site's, "www.example.com" for "example.com" being the same site) or goes to a path or host that looks like
// a block, challenge or consent page; otherwise the site answered, which is "reached" (or, since its page was not
// seen, "keyword-missing" when a keyword was given). The keyword is found as written, letter case counted.
SiteClass ClassifySiteAnswer(std::string_view answer, const SiteTarget& site);

} // namespace zandel
