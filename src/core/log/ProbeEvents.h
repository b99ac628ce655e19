#pragma once

namespace zandel {

// The stages of one proxy check, as the probe reports them and the transcript names them: the historic codes and
// their values (6 is not used). PE_TUNNEL_SENT to PE_HANDSHAKE_DONE come from the HTTPS step, PE_SOCKS_GREETED and
// PE_SOCKS_OPEN from a SOCKS proxy's handshake.
enum class ProbeEvent : int {
    PE_START = 3,
    PE_END = 4,
    PE_CONNECTED = 5,
    PE_SENT = 7,
    PE_RECEIVING = 8,
    PE_RECEIVED = 9,
    PE_TIMEOUT = 10,
    PE_CANCELLED = 11,
    PE_SOCKET_ERROR = 12,
    PE_TUNNEL_SENT = 13,
    PE_TUNNEL_OPEN = 14,
    PE_HANDSHAKE_DONE = 15,
    PE_SOCKS_GREETED = 16,
    PE_SOCKS_OPEN = 17,
};

} // namespace zandel
