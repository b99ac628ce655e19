#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/settings/AppSettings.h"

namespace zandel {

inline constexpr int kMaxAccessUrls = 50;
inline constexpr const char* kLastAccessUrlMessage = "ﾌﾟﾛｷｼﾁｪｯｸができなくなるため、これ以上削除できません";

// "%d件以上登録されています.これ以上登録できません" with the limit of 50.
std::string AccessUrlLimitMessage();

// The access URL page's box: the list of URLs to choose from, its selection, and the edit line whose text
// is the access URL the checks use. Changes reach the settings only through Apply.
class AccessUrlList final {
public:
    enum class AddResult { Added, Empty, Full };
    enum class DeleteResult { Deleted, LastEntry, NoSelection };

    // Fills the list from the stored one (the defaults when there is none) and picks the stored access URL,
    // else the first entry.
    void Open(const AppSettings& settings);
    // Appends the URL; the current access URL stays as it is.
    AddResult Add(std::string_view url);
    // Removes the selected entry; the entry before it (or the new first) becomes current. The list never
    // becomes empty this way: no check could be made without an access URL.
    DeleteResult DeleteSelected();
    void RestoreDefaults();
    // An entry chosen in the list: selected, and its text becomes the current access URL.
    void Choose(int index);
    // Text of the edit line as the user typed it.
    void SetCurrent(std::string_view text) { m_current = std::string(text); }

    // Stores the current access URL (the judge's default when it is empty) and the list. True when the list
    // held more entries than can be stored, which the user is told; the first 50 are stored all the same.
    bool Apply(AppSettings& settings) const;

    const std::vector<std::string>& Entries() const { return m_entries; }
    int Selected() const { return m_selected; }
    const std::string& Current() const { return m_current; }

    bool operator==(const AccessUrlList&) const = default;

private:
    std::vector<std::string> m_entries;
    int m_selected = -1;
    std::string m_current;
};

} // namespace zandel
