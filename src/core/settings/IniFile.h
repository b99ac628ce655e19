#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zandel {

// An INI text file held in memory, read by the private-profile rules: sections and keys match without
// regard to letter case, the first occurrence wins, blanks around keys and values are dropped and then one
// pair of matching quotes around a value, lines that are neither a section header nor a key line are
// passed over. Writing keeps the order of the file and adds new sections at the end and new keys at the end
// of their section; it quotes a value only where the reader would otherwise not give it back as it is.
class IniFile final {
public:
    // A missing or unreadable file gives an empty document, and so does another user's file (root's aside): a
    // settings file is read only from its owner (see ReadTrustedFile).
    static IniFile Load(const std::string& path);
    static IniFile Parse(const std::string& text);

    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    // A text value is read up to 259 bytes.
    std::string GetString(const std::string& section, const std::string& key, const std::string& fallback) const;
    // A present key is read as a decimal number (0 when it holds none); a missing one, or one with an empty
    // value, gives the fallback.
    int GetInt(const std::string& section, const std::string& key, int fallback) const;

    // A value is kept up to its first line feed.
    void Set(const std::string& section, const std::string& key, const std::string& value);
    // Drops every occurrence of the key from the section.
    void Remove(const std::string& section, const std::string& key);
    // Drops the section when no key is left in it.
    void RemoveIfEmpty(const std::string& section);
    // The section's keys in file order.
    std::vector<std::string> Keys(const std::string& section) const;

    // Whether a value reads back from the file exactly as it is (no line feed, at most 259 bytes).
    static bool CanHold(const std::string& value);

    std::string Text() const;
    // Replaces the file only once the whole text is on disk. False when it cannot be written, or is another
    // user's (WriteTrustedFile).
    bool Save(const std::string& path) const;

private:
    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    Section* FindSection(const std::string& name);
    const Section* FindSection(const std::string& name) const;

    std::vector<Section> m_sections;
};

} // namespace zandel
