#include "support/FakeSite.h"

#include "support/EchoJudge.h"

namespace zandel::test {

FakeSite::FakeSite(std::map<std::string, std::string> pages, std::map<std::string, TlsIdentity> tunnels,
                   TlsIdentity identity)
    : m_pages(std::move(pages)), m_tunnels(std::move(tunnels)), m_identity(std::move(identity)),
      m_server([this](ServerConnection& connection) { Serve(connection); }) {}

std::string FakeSite::Page(const std::string& status, const std::string& headers, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body;
}

std::vector<std::string> FakeSite::Heads() const {
    std::lock_guard lock(m_mutex);
    return m_heads;
}

void FakeSite::Serve(ServerConnection& connection) {
    if (!m_identity.empty()) {
        ServeTlsHandshake(connection, m_identity, m_pages["tls"]);
        return;
    }
    if (!connection.ReadRequestHead()) {
        return;
    }
    const std::string head(connection.RequestHead());
    {
        std::lock_guard lock(m_mutex);
        m_heads.push_back(head);
    }
    const std::size_t blank = head.find(' ');
    std::string target = head.substr(blank + 1, head.find(' ', blank + 1) - blank - 1);
    if (head.rfind("CONNECT ", 0) == 0) {
        const auto identity = m_tunnels.find(target);
        if (identity == m_tunnels.end()) {
            connection.Send("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        connection.Send("HTTP/1.1 200 Connection established\r\n\r\n");
        ServeTlsHandshake(connection, identity->second, m_pages["tls://" + target]);
        return;
    }
    if (target.rfind("http://", 0) == 0) {
        target.erase(0, target.find('/', 7));
    }
    if (target == EchoJudge::kPath) {
        connection.Send(EchoJudge::Answer(head, "127.0.0.1"));
        connection.FinishSending();
        return;
    }
    Answer(connection, target.substr(0, target.find('?')));
}

void FakeSite::Answer(ServerConnection& connection, const std::string& path) {
    if (path == "/flood") {
        const std::string chunk(64 * 1024, 'x');
        if (connection.Send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n")) {
            while (connection.Send(chunk)) {
                m_floodBytes += chunk.size();
            }
        }
        return;
    }
    if (path == "/drip") {
        if (connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n")) {
            while (connection.Pause(100) && connection.Send("x")) {
            }
        }
        return;
    }
    const auto page = m_pages.find(path);
    connection.Send(page != m_pages.end() ? page->second : Page("404 Not Found", "", ""));
    connection.FinishSending();
}

} // namespace zandel::test
