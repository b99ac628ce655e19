#include "core/check/TlsHelloStep.h"

#include <cerrno>

#include <sys/socket.h>

namespace zandel {

namespace {

constexpr char kAlertRecord = 0x15;
constexpr char kHandshakeRecord = 0x16;
// A record's type and version: all the answer needs to show.
constexpr std::size_t kRecordStart = 3;

// A TLS 1.2 ClientHello of the plainest kind: no extensions, a few common suites. Whether the server takes it or
// refuses it, its answer is a TLS record.
std::string_view ClientHello() {
    static const std::string hello = [] {
        std::string body("\x03\x03", 2);
        body.append(32, '\x5a'); // the client's random
        body.append("\x00"
                    "\x00\x0a"
                    "\xc0\x2f\xc0\x30\x00\x9c\x00\x2f\x13\x01"
                    "\x01\x00",
                    1 + 2 + 10 + 2);
        std::string handshake("\x01\x00", 2);
        handshake += static_cast<char>(body.size() >> 8);
        handshake += static_cast<char>(body.size() & 0xFF);
        handshake += body;
        std::string record("\x16\x03\x01", 3);
        record += static_cast<char>(handshake.size() >> 8);
        record += static_cast<char>(handshake.size() & 0xFF);
        return record + handshake;
    }();
    return hello;
}

} // namespace

bool LooksLikeTlsRecord(std::string_view answer) {
    // The third byte, the version's minor, is cut off where a NUL ended the text of an answer (SSL 3.0's 0).
    return answer.size() >= 2 && (answer[0] == kAlertRecord || answer[0] == kHandshakeRecord) && answer[1] == 3 &&
           (answer.size() == 2 || static_cast<unsigned char>(answer[2]) <= 4);
}

StepWait TlsHelloStep::Ended(JobStatus status, bool misfit) {
    m_over = true;
    m_status = status;
    m_misfit = misfit;
    return StepWait::Over;
}

void TlsHelloStep::Stop(StepStop why) {
    if (!m_over) {
        Ended(StoppedEnd(why, JobStatus::Cancelled, JobStatus::TimedOut, JobStatus::SocketError), false);
    }
}

StepWait TlsHelloStep::Start(int fd, std::string_view /*early*/) {
    m_fd = fd;
    const std::string_view hello = ClientHello();
    // The hello is far smaller than any socket's send buffer.
    if (::send(m_fd, hello.data(), hello.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(hello.size())) {
        return Ended(JobStatus::SocketError, true);
    }
    return StepWait::Read;
}

StepWait TlsHelloStep::OnReady() {
    if (m_over) {
        return StepWait::Over;
    }
    char chunk[kRecordStart];
    const ssize_t got = ::recv(m_fd, chunk, kRecordStart - m_in.size(), 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return StepWait::Read;
    }
    if (got > 0) {
        m_in.append(chunk, static_cast<std::size_t>(got));
    }
    // The first bytes of a record, so far as they came: wait for the rest of its start.
    const bool opening =
        !m_in.empty() && (m_in[0] == kAlertRecord || m_in[0] == kHandshakeRecord) && (m_in.size() < 2 || m_in[1] == 3);
    if (got > 0 && m_in.size() < kRecordStart && opening) {
        return StepWait::Read;
    }
    if (LooksLikeTlsRecord(m_in)) {
        m_context.Job().tlsServer = true;
        return Ended(JobStatus::SocketError, false);
    }
    return Ended(JobStatus::SocketError, true);
}

} // namespace zandel
