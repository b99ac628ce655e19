#include "support/FakeScript.h"

#include <algorithm>

namespace zandel::test::fake {

FakeStep Read() {
    return {FakeStep::Kind::ReadRequest, {}, 0};
}

FakeStep Expect(std::string_view start) {
    return {FakeStep::Kind::Expect, std::string(start), 0};
}

FakeStep ReadBytes(int total) {
    return {FakeStep::Kind::ReadBytes, {}, total};
}

FakeStep Send(std::string_view bytes) {
    return {FakeStep::Kind::Send, std::string(bytes), 0};
}

FakeStep Pause(int milliseconds) {
    return {FakeStep::Kind::Pause, {}, milliseconds};
}

FakeStep Gate() {
    return {FakeStep::Kind::WaitGate, {}, 0};
}

FakeStep Close() {
    return {FakeStep::Kind::Close, {}, 0};
}

FakeStep Silent() {
    return {FakeStep::Kind::StaySilent, {}, 0};
}

FakeStep AnswerGet(std::string_view answer) {
    return {FakeStep::Kind::AnswerGet, std::string(answer), 0};
}

FakeStep PresentCertificate(std::string_view identityPem) {
    return {FakeStep::Kind::Tls, std::string(identityPem), 0};
}

FakeScript Refuse() {
    return {{FakeStep::Kind::Refuse, {}, 0}};
}

FakeScript NeverAnswer() {
    return {Silent()};
}

FakeScript AnswerPartly(std::string_view part) {
    return {Read(), Send(part), Silent()};
}

FakeScript AnswerAndClose(std::string_view answer) {
    return {Read(), Send(answer), Close()};
}

FakeScript AnswerInChunks(std::string_view answer, std::size_t chunkBytes, int pauseMs) {
    FakeScript script{Read()};
    chunkBytes = std::max<std::size_t>(chunkBytes, 1);
    for (std::size_t at = 0; at < answer.size(); at += chunkBytes) {
        if (at > 0) {
            script.push_back(Pause(pauseMs));
        }
        script.push_back(Send(answer.substr(at, chunkBytes)));
    }
    script.push_back(Close());
    return script;
}

FakeScript AnswerWithZeroByte(std::string_view before, std::string_view after) {
    std::string piece(before);
    piece.push_back('\0');
    piece.append(after);
    return AnswerAndClose(piece);
}

FakeScript KeepOpenAfterAnswer(std::string_view answer) {
    return AnswerPartly(answer);
}

FakeScript Drip(std::string_view answer, int intervalMs) {
    return AnswerInChunks(answer, 1, intervalMs);
}

FakeScript ForwardToJudge(const std::vector<std::string>& headerLines) {
    std::string added;
    for (const std::string& line : headerLines) {
        added.append(line).append("\r\n");
    }
    return {{FakeStep::Kind::Forward, added, 0}};
}

FakeScript AnswerAtOnce() {
    return {Send("HTTP/1.0 200 OK\r\n\r\nHTTP_VIA=x\r\n"), Close()};
}

} // namespace zandel::test::fake
