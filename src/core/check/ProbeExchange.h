#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <netinet/in.h>

#include "core/check/ProxyProbe.h"

namespace zandel {

// What a job's fields name, the same for every probe.
using ProbeHostName = char[sizeof(ProbeJob::szHost) + 1];
// The host field up to its terminator (a field filled to the brim ends at its size).
void ProbeHost(const ProbeJob& job, ProbeHostName& host);
// IPv4 with the port of the job: its leading digits, taken modulo 2^16.
sockaddr_in ProbeTargetPort(const ProbeJob& job);
// A dotted IPv4 address is taken as it is and never goes to the resolver.
bool LiteralProbeHost(const char* host, in_addr* address);
// Anything else through the system's resolver (which may block): the first IPv4 address of the answer.
bool ResolveProbeHost(const char* host, in_addr* address);
// "GET <request line>\r\n<headers>\r\n\r\n", cut after 1023 characters. Its length.
std::size_t ComposeProbeRequest(char (&out)[CProxyProbe::kMaxRequestChars + 1], const std::string& requestLine,
                                const std::string& headers);

// The stage rules of one proxy connection, fed with the readiness of its non-blocking socket by whichever
// probe drives it (a worker thread per job, or one thread multiplexing many): the connect completes (a
// refused or unreachable proxy ends as a socket error), the request goes out in one send, the answer comes in
// pieces of at most 5120 bytes into the job's buffer (a piece counts up to its first zero byte), and the job
// ends by the peer's close once nothing is left to read, a full buffer, an expired wait or a stop. It allocates
// nothing and raises PE_CONNECTED, PE_SENT, PE_RECEIVING and PE_RECEIVED through the probe's callback.
class ProbeExchange final {
public:
    enum class Step { WantWrite, WantRead, Finished };

    // `request` must outlive the exchange.
    ProbeExchange(ProbeJob& job, int fd, const char* request, std::size_t requestLength, ProbeCallback callback);
    ProbeExchange(const ProbeExchange&) = delete;
    ProbeExchange& operator=(const ProbeExchange&) = delete;

    // The socket is ready for what the last step asked (writable before the connection, readable after).
    Step OnReady();
    // The wait ran out with nothing happening: a proxy that sent nothing has timed out.
    Step OnWaitExpired();
    // Ends the exchange with a status of the probe's (a cancel, an error outside the socket).
    void Stop(int status);

    Step Current() const { return m_step; }
    // The connection to the proxy was made.
    bool Connected() const { return m_connected; }
    // Once finished: records the length received in the job and raises PE_RECEIVED for an answer that was
    // not cut off by a time-out or a cancel. The worker's exit status.
    int Finish();

private:
    Step Finished(int status);
    void Raise(int event);

    ProbeJob& m_job;
    int m_fd;
    const char* m_request;
    std::size_t m_requestLength;
    ProbeCallback m_callback;
    Step m_step = Step::WantWrite;
    int m_status = CProxyProbe::kStatusOk;
    bool m_firstChunk = true;
    bool m_connected = false;
    std::uint32_t m_received = 0;
};

} // namespace zandel
