#include "core/frame/CommandRules.h"

#include <algorithm>
#include <array>

#include "core/frame/CommandIds.h"

namespace zandel {

namespace {

// The list's row commands: they need rows and no run.
constexpr std::array<int, 7> kRowCommands = {cmd::kEdit,         cmd::kSelectAll, cmd::kInsert,  cmd::kDelete,
                                             cmd::kClearResults, cmd::kMoveUp,    cmd::kMoveDown};
// Commands that a run forbids.
constexpr std::array<int, 5> kIdleCommands = {cmd::kFileNew, cmd::kFileOpen, cmd::kFileSave, cmd::kFileSaveAs,
                                              cmd::kClearLog};

constexpr int kRecentFileCount = 4;

template <std::size_t N> bool IsOneOf(const std::array<int, N>& ids, int id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

CommandUpdate EnableIf(bool condition) {
    return condition ? CommandUpdate::Enable : CommandUpdate::Disable;
}

} // namespace

std::vector<std::pair<int, bool>> CommandRules::MenuBarOpened(const FrameState& state) {
    m_cachedRows = state.rowCount;
    std::vector<std::pair<int, bool>> states;
    for (const int id : {cmd::kFileNew, cmd::kFileOpen, cmd::kAppendFile, cmd::kFileSave, cmd::kFileSaveAs,
                         kSaveWithoutResultsMenu, cmd::kEdit, cmd::kInsert, cmd::kAddAtEnd, cmd::kDelete,
                         cmd::kSelectAll, cmd::kClearResults, cmd::kMoveUp, cmd::kMoveDown, cmd::kClearLog}) {
        states.emplace_back(id, !state.running);
    }
    if (m_cachedRows == 0) {
        for (auto& [id, enabled] : states) {
            if (IsOneOf(kRowCommands, id) || id == cmd::kAppendFile) {
                enabled = false;
            } else if (id == cmd::kAddAtEnd) {
                enabled = true;
            }
        }
    }
    return states;
}

CommandUpdate CommandRules::Rule(int id, const FrameState& state) {
    if (IsOneOf(kRowCommands, id)) {
        return EnableIf(m_cachedRows != 0 && !state.running);
    }
    // A recent file opens like Open: loaded under a run, it would get the results of the old list's rows.
    if (IsOneOf(kIdleCommands, id) || (id >= cmd::kFileMru1 && id < cmd::kFileMru1 + kRecentFileCount)) {
        return EnableIf(!state.running);
    }
    switch (id) {
    case cmd::kAddAtEnd:
    case cmd::kAppendFile:
        return state.running ? CommandUpdate::Keep : CommandUpdate::Enable;
    case cmd::kCheckStartStop:
        // The start button's rule is also what keeps the cached row count fresh between menu openings.
        m_cachedRows = state.rowCount;
        return EnableIf(state.rowCount > 0);
    case cmd::kCheckSkip:
        return EnableIf(state.running && state.remaining > 1);
    case kSaveWithoutResultsMenu:
        return CommandUpdate::Keep;
    default:
        return CommandUpdate::Enable;
    }
}

bool CommandRules::Enabled(int id, const FrameState& state, bool current) {
    switch (Rule(id, state)) {
    case CommandUpdate::Enable:
        return true;
    case CommandUpdate::Disable:
        return false;
    case CommandUpdate::Keep:
        break;
    }
    return current;
}

bool CommandRules::Checked(int id, const FrameState& state) const {
    return (id == cmd::kAlwaysOnTop && state.onTop) || (id == cmd::kHistoryColumns && state.historyColumns);
}

} // namespace zandel
