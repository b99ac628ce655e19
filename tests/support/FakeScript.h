#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zandel::test {

// One thing a fake proxy does on a connection, in order.
struct FakeStep {
    enum class Kind {
        Refuse,      // only as the whole script: a port that refuses every connection
        ReadRequest, // wait for the request head; the connection ends if the client goes first
        ReadBytes,   // wait until `milliseconds` bytes in all have come (a binary handshake has no blank line)
        Expect,      // the bytes read so far begin with `bytes`, or the connection is closed (a server of one protocol)
        Send,        // `bytes`, with one send
        Pause,       // `milliseconds`
        WaitGate,    // until the test opens the gate once more (FakeProxy::OpenGate)
        Close,       // end the answer, wait until the client has it all, then until the client closes
        StaySilent,  // read until the client closes, answer nothing
        Forward,     // act as an HTTP proxy to a loopback server, adding the header lines in `bytes`; a CONNECT
                     // is answered with 200 and relayed both ways
        AnswerGet,   // a request that is not a CONNECT gets `bytes` and the close; a CONNECT goes on
        Tls,         // the server's side of a TLS handshake with the certificate and key in `bytes` (PEM)
    };
    Kind kind;
    std::string bytes;
    int milliseconds = 0;
};

using FakeScript = std::vector<FakeStep>;

namespace fake {

FakeStep Read();
FakeStep ReadBytes(int total);
FakeStep Expect(std::string_view start);
FakeStep Send(std::string_view bytes);
FakeStep Pause(int milliseconds);
FakeStep Gate();
FakeStep Close();
FakeStep Silent();
FakeStep AnswerGet(std::string_view answer);
FakeStep PresentCertificate(std::string_view identityPem);

FakeScript Refuse();
FakeScript NeverAnswer();
FakeScript AnswerPartly(std::string_view part);
FakeScript AnswerAndClose(std::string_view answer);
// The answer in pieces of `chunkBytes`, a pause between two pieces, then the close.
FakeScript AnswerInChunks(std::string_view answer, std::size_t chunkBytes, int pauseMs);
// `before`, a zero byte and `after` as one piece, then the close.
FakeScript AnswerWithZeroByte(std::string_view before, std::string_view after);
// A complete answer, then the connection stays open as an HTTP/1.1 server would keep it.
FakeScript KeepOpenAfterAnswer(std::string_view answer);
// One byte at a time, `intervalMs` apart, then the close.
FakeScript Drip(std::string_view answer, int intervalMs);
// An HTTP proxy in front of loopback servers: each of `headerLines` ("Name: value") is added to the request.
FakeScript ForwardToJudge(const std::vector<std::string>& headerLines);
// The cheapest useful answer, sent as soon as the client is in, then the close.
FakeScript AnswerAtOnce();

} // namespace fake

} // namespace zandel::test
