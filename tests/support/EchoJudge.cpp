#include "support/EchoJudge.h"

#include <chrono>

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

FlakyJudge::FlakyJudge(int answered, int downMs)
    : m_answered(answered), m_downMs(downMs), m_server([this](ServerConnection& connection) { Serve(connection); }) {}

std::string FlakyJudge::Url() const {
    return "http://" + LoopbackAddress(m_server.Port()) + std::string(EchoJudge::kPath);
}

void FlakyJudge::Serve(ServerConnection& connection) {
    if (!connection.ReadRequestHead()) {
        return;
    }
    const std::int64_t now = std::chrono::steady_clock::now().time_since_epoch() / std::chrono::milliseconds(1);
    if (++m_requests > m_answered) {
        std::int64_t none = 0;
        m_downSince.compare_exchange_strong(none, now);
        if (now - m_downSince.load() < m_downMs) {
            return;
        }
    }
    if (connection.Send(EchoJudge::Answer(connection.RequestHead(), connection.PeerAddress()))) {
        connection.FinishSending();
        connection.DrainUntilPeerCloses();
    }
}

} // namespace zandel::test
