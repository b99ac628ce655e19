#include "core/settings/UserAgentList.h"

#include <algorithm>

#include "core/settings/FieldRules.h"
#include "core/util/Text.h"

namespace zandel {

bool UserAgentList::Load(const std::string& path) {
    LineListReadResult read = ReadLineListFile(path, kMaxUserAgents);
    m_entries = std::move(read.entries);
    m_selected = m_entries.empty() ? -1 : 0;
    m_changed = false;
    return read.hitLimit;
}

FileResult UserAgentList::Save(const std::string& path) const {
    return WriteLineListFile(path, m_entries);
}

UserAgentList::AddResult UserAgentList::Add(std::string_view entry) {
    if (m_entries.size() >= static_cast<std::size_t>(kMaxUserAgents)) {
        return AddResult::Full;
    }
    if (entry.empty()) {
        return AddResult::Empty;
    }
    m_entries.push_back(CutAtCharBoundary(entry, kMaxFieldText));
    m_selected = static_cast<int>(m_entries.size()) - 1;
    m_changed = true;
    return AddResult::Added;
}

bool UserAgentList::DeleteSelected() {
    if (m_selected < 0 || m_selected >= static_cast<int>(m_entries.size())) {
        return false;
    }
    m_entries.erase(m_entries.begin() + m_selected);
    m_selected = std::min(m_selected, static_cast<int>(m_entries.size()) - 1);
    m_changed = true;
    return true;
}

void UserAgentList::Select(int index) {
    m_selected = index >= 0 && index < static_cast<int>(m_entries.size()) ? index : -1;
}

std::string UserAgentList::SelectedText() const {
    return m_selected >= 0 ? m_entries[static_cast<std::size_t>(m_selected)] : std::string();
}

UserAgentChoice OpenUserAgentChoice(const AppSettings& settings) {
    UserAgentChoice choice;
    choice.useBrowser = settings.UserAgentOn;
    choice.current = choice.useBrowser ? settings.DefaultUserAgent : settings.UserAgent;
    return choice;
}

void ApplyUserAgentChoice(const UserAgentChoice& choice, AppSettings& settings) {
    settings.UserAgentOn = choice.useBrowser;
    settings.UserAgent = choice.current;
}

} // namespace zandel
