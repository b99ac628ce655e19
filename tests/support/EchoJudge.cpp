#include "support/EchoJudge.h"

#include "support/HttpHead.h"
#include "support/Loopback.h"

namespace zandel::test {

EchoJudge::EchoJudge(std::uint16_t port) : m_server(&EchoJudge::Serve, port) {}

std::string EchoJudge::Url() const {
    return "http://" + LoopbackAddress(Port()) + std::string(kPath);
}

std::string EchoJudge::Answer(std::string_view requestHead, std::string_view remoteAddress) {
    RequestHead head;
    if (!ParseRequestHead(requestHead, head)) {
        return "HTTP/1.0 400 Bad Request\r\nContent-Type: text/plain\r\n\r\nbad request\r\n";
    }
    std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    auto line = [&answer](std::string_view name, std::string_view value) {
        answer.append(name).append("=").append(value).append("\r\n");
    };
    line("REMOTE_ADDR", remoteAddress);
    line("REQUEST_METHOD", head.method);
    line("REQUEST_URI", head.target);
    line("SERVER_PROTOCOL", head.version);
    for (const auto& [name, value] : head.headers) {
        line(CgiVariableName(name), value);
    }
    return answer;
}

void EchoJudge::Serve(ServerConnection& connection) {
    if (!connection.ReadRequestHead()) {
        return;
    }
    if (connection.Send(Answer(connection.RequestHead(), connection.PeerAddress()))) {
        connection.FinishSending();
        connection.DrainUntilPeerCloses();
    }
}

} // namespace zandel::test
