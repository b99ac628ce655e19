#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/AppSettings.h"

namespace zandel {

inline constexpr const char* kUserAgentLimitMessage = "100個のUser-Agentが追加されました\nこれ以上は追加できません";
// The User-Agent boxes hold at most this many bytes.
inline constexpr std::size_t kUserAgentTextLimit = 260;

// The registered User-Agents of "USER.DAT" with the list box's selection. Entries keep file and insertion
// order and may repeat or be empty.
class UserAgentList final {
public:
    enum class AddResult { Added, Full, Empty };

    // Replaces the entries with those of the file; a missing or unreadable file gives an empty list. The
    // first entry is selected. True when the file filled the list, which the user is told.
    bool Load(const std::string& path);
    // Rewrites the file in full; a failure (the old file kept) when it cannot be written.
    FileResult Save(const std::string& path) const;

    // Appends and selects the entry. Entries longer than a line of the file can carry are shortened here, so
    // that the list shows what the file will give back.
    AddResult Add(std::string_view entry);
    // Removes the selected entry and selects the one now at its place, or the new last one. False when
    // nothing is selected.
    bool DeleteSelected();
    void Select(int index);

    const std::vector<std::string>& Entries() const { return m_entries; }
    // Whether an entry was added or deleted since the list was loaded.
    bool Changed() const { return m_changed; }
    int Selected() const { return m_selected; }
    // "設定(&S)" and "削除(&D)" need an entry to act on.
    bool HasEntries() const { return !m_entries.empty(); }
    std::string SelectedText() const;

private:
    std::vector<std::string> m_entries;
    int m_selected = -1;
    bool m_changed = false;
};

// The User-Agent the checks send, as the page holds it until applied.
struct UserAgentChoice {
    bool useBrowser = false;
    std::string current;
};

UserAgentChoice OpenUserAgentChoice(const AppSettings& settings);
void ApplyUserAgentChoice(const UserAgentChoice& choice, AppSettings& settings);

} // namespace zandel
