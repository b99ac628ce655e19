#include "core/frame/CommandRules.h"

#include "core/frame/CommandIds.h"
#include "core/frame/CommandTable.h"

namespace zandel {

namespace {

constexpr int kRecentFileCount = 4;

bool IsRowCommand(int id) {
    return HasFlag(id, cmdflag::kRowCommand);
}

// Adding at the end and appending a file keep, during a run, the state the menu bar left them in.
bool KeepsStateDuringRun(int id) {
    return id == cmd::kAddAtEnd || id == cmd::kAppendFile;
}

CommandUpdate EnableIf(bool condition) {
    return condition ? CommandUpdate::Enable : CommandUpdate::Disable;
}

} // namespace

std::vector<std::pair<int, bool>> CommandRules::MenuBarOpened(const FrameState& state) {
    m_cachedRows = state.rowCount;
    std::vector<std::pair<int, bool>> states;
    states.emplace_back(kSaveWithoutResultsMenu, !state.running);
    for (const CommandInfo& info : Commands()) {
        if ((info.flags & cmdflag::kNeedsIdle) != 0 || KeepsStateDuringRun(info.id)) {
            states.emplace_back(info.id, !state.running);
        }
    }
    if (m_cachedRows == 0) {
        for (auto& [id, enabled] : states) {
            if (IsRowCommand(id) || id == cmd::kAppendFile) {
                enabled = false;
            } else if (id == cmd::kAddAtEnd) {
                enabled = true;
            }
        }
    }
    return states;
}

CommandUpdate CommandRules::Rule(int id, const FrameState& state) {
    if (IsRowCommand(id)) {
        return EnableIf(m_cachedRows != 0 && !state.running);
    }
    if (KeepsStateDuringRun(id)) {
        return state.running ? CommandUpdate::Keep : CommandUpdate::Enable;
    }
    // A recent file opens like Open: loaded under a run, it would get the results of the old list's rows.
    if (HasFlag(id, cmdflag::kNeedsIdle) || (id >= cmd::kFileMru1 && id < cmd::kFileMru1 + kRecentFileCount)) {
        return EnableIf(!state.running);
    }
    switch (id) {
    case cmd::kCheckStartStop:
        // The start button's rule is also what keeps the cached row count fresh between menu openings.
        m_cachedRows = state.rowCount;
        return EnableIf(state.rowCount > 0);
    case cmd::kCheckSkip:
        return EnableIf(state.running && state.remaining > 1);
    case kSaveWithoutResultsMenu:
        return CommandUpdate::Keep;
    case cmd::kServeStart:
        return EnableIf(!state.serving);
    case cmd::kServeStop:
    case cmd::kServeDesktop:
        return EnableIf(state.serving);
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
    return (id == cmd::kAlwaysOnTop && state.onTop) || (id == cmd::kHistoryColumns && state.historyColumns) ||
           (id == cmd::kPlaceColumns && state.placeColumns) || (id == cmd::kSiteColumns && state.siteColumns) ||
           (id == cmd::kFilterBar && state.filterBar);
}

} // namespace zandel
