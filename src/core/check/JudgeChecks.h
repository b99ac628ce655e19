#pragma once

#include <string>

#include "core/check/AnswerJudge.h"
#include "core/check/StrictGrade.h"

namespace zandel {

// What a run adds to the grading of every proxy: strict grading against what the judge showed when asked
// directly, and the signed judge's key.
struct JudgeChecks {
    bool strict = false; // only with a usable baseline
    JudgeBaseline baseline;
    std::string key; // empty: pages are not checked for the judge's signature
    // Strict grading with the HTTPS step: the handshake made straight with the target, when one was made.
    bool tunnelBaseline = false;
    TunnelReport tunnelDirect;
};

// Applies the run's checks to a judgement of `answer`, the page fetched through a proxy with `nonce` in its URL.
// Only an answer that was usable is looked at again: a page the judge did not sign for this request, or (strict)
// one that is not the judge's, becomes "NG"; strict grading replaces the plain grade.
void ApplyJudgeChecks(Judgement& judgement, const std::string& answer, const JudgeChecks& checks,
                      const std::string& nonce);

// What the request made directly to the judge at a run's start gave.
struct DirectJudgeOutcome {
    JudgeChecks checks;
    std::string notice; // a transcript line: strict grading was asked for but the judge gave no baseline
    std::string stop;   // why the run must not check any proxy: the signed judge did not verify
};
// `answered`: the direct exchange completed. `strict` and `key` are the run's settings.
DirectJudgeOutcome ReadDirectJudgeAnswer(bool answered, const std::string& answer, bool strict, const std::string& key,
                                         const std::string& nonce);

// A judge's own text (its error line) as it may be shown: printable ASCII, cut short.
std::string ShownJudgeText(const std::string& text);

} // namespace zandel
