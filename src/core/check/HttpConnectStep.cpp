#include "core/check/HttpConnectStep.h"

#include <algorithm>
#include <cerrno>

#include <sys/socket.h>

namespace zandel {

namespace {

// A proxy's answer head to CONNECT is a few lines; anything longer is not an answer worth waiting for.
constexpr std::size_t kMaxAnswerHead = 8192;
// As much of the status line as the transcript shows.
constexpr std::size_t kMaxStatusLine = 258;

// "HTTP/x.y" and a blank, then the code's first digit `kind`, two more digits and the end of the line or a blank.
bool IsStatus(const std::string& line, char kind) {
    const std::size_t blank = line.find(' ');
    if (line.compare(0, 5, "HTTP/") != 0 || blank == std::string::npos) {
        return false;
    }
    const std::string code = line.substr(blank + 1, 4);
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return code.size() >= 3 && code[0] == kind && digit(code[1]) && digit(code[2]) &&
           (code.size() == 3 || code[3] == ' ');
}

} // namespace

HttpConnectStep::HttpConnectStep(IStepContext& context, std::string_view request)
    : m_context(context), m_report(context.Job().tunnel), m_request(request) {}

StepWait HttpConnectStep::Ended(TunnelReport::End end) {
    if (!m_over) {
        m_over = true;
        m_report.end = end;
    }
    return StepWait::Over;
}

void HttpConnectStep::Stop(StepStop why) {
    Ended(StoppedEnd(why, TunnelReport::End::Stopped, TunnelReport::End::TimedOut,
                     m_fd < 0 ? TunnelReport::End::Refused : TunnelReport::End::Closed));
}

StepWait HttpConnectStep::Start(int fd, std::string_view /*early*/) {
    m_fd = fd;
    return Send();
}

StepWait HttpConnectStep::OnReady() {
    if (m_over) {
        return StepWait::Over;
    }
    return m_sent < m_request.size() ? Send() : Read();
}

std::string HttpConnectStep::TakeEarly() {
    return std::move(m_head);
}

StepWait HttpConnectStep::Send() {
    const ssize_t sent = ::send(m_fd, m_request.data() + m_sent, m_request.size() - m_sent, MSG_NOSIGNAL);
    if (sent < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? StepWait::Write
                                                                         : Ended(TunnelReport::End::Closed);
    }
    m_sent += static_cast<std::size_t>(sent);
    if (m_sent < m_request.size()) {
        return StepWait::Write;
    }
    m_context.Raise(ProbeEvent::PE_TUNNEL_SENT);
    return StepWait::Read;
}

StepWait HttpConnectStep::Read() {
    char chunk[kChunkBytes];
    const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return StepWait::Read;
    }
    if (got <= 0) {
        return Ended(TunnelReport::End::Closed);
    }
    m_head.append(chunk, static_cast<std::size_t>(got));
    return Answer();
}

StepWait HttpConnectStep::Answer() {
    for (;;) {
        const std::size_t end = m_head.find("\r\n\r\n");
        if (end == std::string::npos && m_head.size() < kMaxAnswerHead) {
            return StepWait::Read;
        }
        const std::size_t lineEnd = m_head.find_first_of("\r\n");
        std::string& line = m_report.statusLine;
        line = m_head.substr(0, std::min({lineEnd, kMaxStatusLine, m_head.size()}));
        line.erase(std::find(line.begin(), line.end(), '\0'), line.end());
        const bool success = IsStatus(line, '2');
        if (end == std::string::npos) {
            // A success whose head never ends is no tunnel, but the proxy did not refuse it either.
            return Ended(success ? TunnelReport::End::TooLong : TunnelReport::End::BadStatus);
        }
        if (IsStatus(line, '1')) {
            // An interim answer: the final one follows.
            line.clear();
            m_head.erase(0, end + 4);
            continue;
        }
        if (!success) {
            return Ended(TunnelReport::End::BadStatus);
        }
        m_context.Raise(ProbeEvent::PE_TUNNEL_OPEN);
        m_head.erase(0, end + 4);
        // Through: how the tunnel ends is the next step's to say.
        m_over = true;
        m_through = true;
        return StepWait::Over;
    }
}

} // namespace zandel
