#pragma once

namespace zandel {

struct AppSettings;
class IMessageService;
class IRowStore;

// Command 32836: the addresses of the selected rows, as they stand, into the favourites' free slots.
void RegisterFavourites(AppSettings& settings, const IRowStore& rows, IMessageService& messages);
// Command 32853: the same into the chain proxies of multi-stage browsing.
void RegisterChainProxies(AppSettings& settings, const IRowStore& rows, IMessageService& messages);

} // namespace zandel
