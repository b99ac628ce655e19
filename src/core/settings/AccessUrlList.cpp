#include "core/settings/AccessUrlList.h"

#include "core/settings/ComboRules.h"

namespace zandel {

std::string AccessUrlLimitMessage() {
    return std::to_string(kMaxAccessUrls) + "件以上登録されています.これ以上登録できません";
}

void AccessUrlList::Open(const AppSettings& settings) {
    m_entries = ListEntries(settings, SettingsList::WebPageList);
    if (m_entries.empty()) {
        RestoreDefaults();
        return;
    }
    const int match = FindStoredEntry(m_entries, settings.WebPage);
    Choose(match >= 0 ? match : 0);
}

AccessUrlList::AddResult AccessUrlList::Add(std::string_view url) {
    if (url.empty()) {
        return AddResult::Empty;
    }
    if (m_entries.size() >= static_cast<std::size_t>(kMaxAccessUrls)) {
        return AddResult::Full;
    }
    m_entries.emplace_back(url);
    return AddResult::Added;
}

AccessUrlList::DeleteResult AccessUrlList::DeleteSelected() {
    if (m_entries.size() == 1) {
        return DeleteResult::LastEntry;
    }
    if (m_selected < 0 || m_selected >= static_cast<int>(m_entries.size())) {
        return DeleteResult::NoSelection;
    }
    m_entries.erase(m_entries.begin() + m_selected);
    Choose(m_selected > 0 ? m_selected - 1 : 0);
    return DeleteResult::Deleted;
}

void AccessUrlList::RestoreDefaults() {
    m_entries.assign(kDefaultAccessUrls.begin(), kDefaultAccessUrls.end());
    Choose(0);
}

void AccessUrlList::Choose(int index) {
    if (index < 0 || index >= static_cast<int>(m_entries.size())) {
        m_selected = -1;
        return;
    }
    m_selected = index;
    m_current = m_entries[static_cast<std::size_t>(index)];
}

bool AccessUrlList::Apply(AppSettings& settings) const {
    settings.WebPage = m_current.empty() ? std::string(kDefaultWebPage) : m_current;
    ClearList(settings, SettingsList::WebPageList);
    int slot = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (i >= static_cast<std::size_t>(kMaxAccessUrls)) {
            return true;
        }
        if (!m_entries[i].empty()) {
            SetListEntry(settings, SettingsList::WebPageList, m_entries[i], slot++);
        }
    }
    return false;
}

} // namespace zandel
