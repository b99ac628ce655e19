#include "core/schedule/ListRefetch.h"

#include <algorithm>

namespace zandel {

bool ShouldRefetchList(const ListRefetchState& state) {
    return state.optionOn && state.fromUrl && !state.runGoing && !state.editOpen && !state.fetchPending;
}

std::string RefetchFailedLine(const std::string& why) {
    std::string line = "RECHECK>ﾘｽﾄの再取得に失敗しました";
    if (!why.empty()) {
        line += ": " + why;
    }
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line + "\r\n";
}

} // namespace zandel
