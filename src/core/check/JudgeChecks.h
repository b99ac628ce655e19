#pragma once

#include <string>

#include "core/check/AnswerJudge.h"
#include "core/check/StrictGrade.h"

namespace zandel {

// What a run adds to the grading of every proxy: our address looked for by value against what the judge showed
// when asked directly (the baseline), strict grading against that baseline, and the signed judge's key.
struct JudgeChecks {
    // Every page's headers are searched for our addresses; with a usable baseline, a page that is not the judge's is
    // "NG", and a proxy's header the baseline lacks makes Anonymous(A) Anonymous(B).
    bool byValue = false;
    bool strict = false; // only with a usable baseline
    JudgeBaseline baseline;
    OwnAddresses ours;         // the baselines' addresses and this machine's
    std::string directHeaders; // the response headers of the judge's page asked for directly
    std::string key;           // empty: pages are not checked for the judge's signature
    // Strict grading with the HTTPS step: the handshake made straight with the target, when one was made.
    bool tunnelBaseline = false;
    TunnelReport tunnelDirect;
};

// Applies the run's checks to a judgement of `answer`, the page fetched through a proxy with `nonce` in its URL.
// Only an answer that was usable is looked at again: a page the judge did not sign for this request, or one that is
// not the judge's while the judge's was had directly, becomes "NG"; strict grading replaces the plain grade, the
// search by value makes it worse where the page proves it.
void ApplyJudgeChecks(Judgement& judgement, const std::string& answer, const JudgeChecks& checks,
                      const std::string& nonce);

// What the run asks of the judge, from its settings.
struct JudgeAsks {
    bool byValue = false; // the baseline of every run ([Judge] Baseline), for a judge script's page
    bool strict = false;
    std::string key;
};
// What the request made directly to the judge at a run's start gave.
struct DirectJudgeOutcome {
    JudgeChecks checks;
    std::string notice; // a transcript line: the judge gave no baseline, and what the run grades by instead
    std::string stop;   // why the run must not check any proxy: the signed judge did not verify
};
// `answered`: the direct exchange completed. `machine` are this machine's own addresses.
DirectJudgeOutcome ReadDirectJudgeAnswer(bool answered, const std::string& answer, const JudgeAsks& asks,
                                         const std::string& nonce, const OwnAddresses& machine);

// A judge's own text (its error line) as it may be shown: printable ASCII, cut short.
std::string ShownJudgeText(const std::string& text);

} // namespace zandel
