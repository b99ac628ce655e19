// The judgement of an answer, against a model of its grading rules.
#include <array>
#include <string_view>

#include "core/check/AnswerJudge.h"
#include "fuzz/FuzzSupport.h"

using zandel::fuzz::Require;

namespace {

bool HasAny(const std::string& answer, std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) {
        if (answer.find(name) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zandel::fuzz::Input input(data, size);
    const std::uint8_t options = input.Byte();
    const auto result = static_cast<zandel::ProbeResult>(options % 5);
    const bool cgi = (options & 0x10) != 0;
    const bool timeoutMark = (options & 0x20) != 0;
    const std::string answer = input.Rest();
    const zandel::Judgement judgement = zandel::JudgeAnswerText(result, answer, cgi, timeoutMark);

    const bool usable = result == zandel::ProbeResult::PR_DONE && answer.find("200 OK") != std::string::npos;
    const bool stopped = result == zandel::ProbeResult::PR_CANCELLED && !timeoutMark;
    Require(judgement.usable == usable, "usable exactly when the exchange completed with 200 OK");
    Require(judgement.returnValue == (usable || stopped ? 1 : 0), "return value 1 when usable or stopped");
    Require(judgement.log.size() >= 2 && judgement.log.compare(judgement.log.size() - 2, 2, "\r\n") == 0,
            "the log ends its last line");
    // The note of found variables is bounded: the log never grows with the answer.
    Require(judgement.log.size() <= 1039 + 512, "the log is bounded");

    std::string expected = zandel::kResultNg;
    // A page that is no server-variable echo (it lacks REMOTE_ADDR) proves nothing about anonymity.
    if (usable && (!cgi || answer.find("REMOTE_ADDR") == std::string::npos)) {
        expected = zandel::kResultOk;
    } else if (usable && HasAny(answer, {"HTTP_X_FORWARDED_FOR", "HTTP_FROM", "HTTP_CLIENT_IP", "HTTP_SP_HOST",
                                         "HTTP_X_LOCKING"})) {
        expected = zandel::kResultNonAnonymous;
    } else if (usable && HasAny(answer, {"HTTP_PROXY_CONNECTION", "HTTP_XONNECTION", "HTTP_XROXY_CONNECTION",
                                         "HTTP_CACHE_CONTROL", "HTTP_CACHE_INFO", "HTTP_FORWARDED", "HTTP_VIA"})) {
        expected = zandel::kResultAnonymousB;
    } else if (usable) {
        expected = zandel::kResultAnonymousA;
    }
    Require(judgement.result == expected, "result graded by the first matching rule");
    return 0;
}
