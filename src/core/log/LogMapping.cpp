#include "core/log/LogMapping.h"

#include "core/log/ProbeEvents.h"

namespace zandel {

std::string_view LogLineForEvent(ProbeEvent event, bool timeoutMark) {
    constexpr const char* timeoutLine = "ERROR>プロキシチェック時にタイムアウトが発生したため終了\r\n";
    using enum ProbeEvent;
    switch (event) {
    case PE_START:
        return "START>プロキシチェック開始\r\n";
    case PE_END:
        return "END>プロキシチェック終了\r\n";
    case PE_CONNECTED:
        return "CONNECT>接続成功\r\n";
    case PE_SENT:
        return "SEND>リクエスト送信成功\r\n";
    case PE_RECEIVING:
        return "RECV>レスポンス受信中\r\n";
    case PE_RECEIVED:
        return "RECV>レスポンス受信終了\r\n";
    case PE_TIMEOUT:
        return timeoutLine;
    case PE_CANCELLED:
        return timeoutMark ? timeoutLine : "STOP>プロキシチェックがユーザにより中断\r\n";
    case PE_SOCKET_ERROR:
        return "ERROR>プロキシチェック時にソケットエラーが発生したため終了\r\n";
    case PE_TUNNEL_SENT:
        return "CONNECT>トンネル要求送信成功\r\n";
    case PE_TUNNEL_OPEN:
        return "CONNECT>トンネル接続成功\r\n";
    case PE_HANDSHAKE_DONE:
        return "TLS>ハンドシェイク成功\r\n";
    case PE_SOCKS_GREETED:
        return "SOCKS>ネゴシエーション成功\r\n";
    case PE_SOCKS_OPEN:
        return "SOCKS>中継接続成功\r\n";
    }
    return "";
}

std::string FrameLineBefore(std::string_view host, std::string_view port) {
    constexpr std::string_view frame = "●---";
    constexpr std::string_view end = "---●\r\n";
    std::string line;
    line.reserve(frame.size() + host.size() + 1 + port.size() + end.size() + 2); // room for FrameLineAfter's too
    line.append(frame).append(host).append(":").append(port).append(end);
    return line;
}

std::string FrameLineAfter(std::string_view host, std::string_view port) {
    return FrameLineBefore(host, port) + "\r\n";
}

} // namespace zandel
