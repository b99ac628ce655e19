#pragma once

#include <vector>

#include "core/check/ProbeAddress.h"
#include "core/serve/ServePool.h"
#include "core/util/ProxyAddress.h"

namespace zandel {

class IRowStore;

// The upstreams a checked list offers: the rows a check graded live, never "NG" or "NG(Tampered)", and
// "Non-Anonymous" only with `allowLeaky`, since it tells every site the user's own address. A plain entry is of
// `plainKind` (--type). A proxy given by name is looked up here, once, through `resolve`; one without an address
// is left out.
std::vector<Upstream> UpstreamsOfRows(const IRowStore& rows, ProxyKind plainKind, bool allowLeaky,
                                      ProbeResolver resolve);

} // namespace zandel
