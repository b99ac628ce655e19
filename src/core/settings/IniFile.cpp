#include "core/settings/IniFile.h"

#include <algorithm>
#include <limits>
#include <string_view>
#include <unordered_map>

#include "core/util/FileIo.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";
constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);

std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// A line break inside a name would split it into lines of its own and so forge sections or keys; only the
// first line is kept, which is also all a reader would see of it.
std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// The reading rule drops one pair of matching quotes around a value.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// From a line end on, a value would forge keys; the reader sees none of it. A lone CR stays: only LF (with
// the CR before it) ends a line for the reader.
std::string StoredValue(const std::string& value) {
    std::string line = value.substr(0, value.find('\n'));
    if (line.size() < value.size() && !line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

// What the reader needs to give the value back as it is: a value with a blank at an end, or one that a pair
// of quotes encloses, goes inside a further pair.
std::string ValueLine(const std::string& value) {
    const bool blankAtAnEnd = !value.empty() && (kBlanks.find(value.front()) != std::string_view::npos ||
                                                 kBlanks.find(value.back()) != std::string_view::npos);
    if (blankAtAnEnd || Unquote(value).size() != value.size()) {
        return '"' + value + '"';
    }
    return value;
}

} // namespace

IniFile IniFile::Load(const std::string& path) {
    std::string text;
    if (!ReadTrustedFile(path, text).ok) {
        return {};
    }
    return Parse(text);
}

IniFile IniFile::Parse(const std::string& text) {
    IniFile ini;
    // Section index by folded name: a linear search per header would make a file of many sections quadratic.
    std::unordered_map<std::string, std::size_t> index;
    std::size_t current = kNoSection;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view line = Trim(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;

        if (!line.empty() && line.front() == '[') {
            const auto close = line.rfind(']');
            if (close == std::string_view::npos) {
                continue;
            }
            // Keys of a repeated section join its first occurrence, the one a reader consults.
            const std::string name(Trim(line.substr(1, close - 1)));
            const auto [it, added] = index.try_emplace(FoldCase(name), ini.m_sections.size());
            if (added) {
                ini.m_sections.push_back(Section{name, {}});
            }
            current = it->second;
            continue;
        }
        const auto equals = line.find('=');
        if (current == kNoSection || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = Trim(line.substr(0, equals));
        if (key.empty()) {
            continue;
        }
        ini.m_sections[current].entries.push_back(
            Entry{std::string(key), std::string(Unquote(Trim(line.substr(equals + 1))))});
    }
    return ini;
}

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const {
    const Section* found = FindSection(section);
    if (found == nullptr) {
        return std::nullopt;
    }
    for (const Entry& entry : found->entries) {
        if (EqualsNoCase(entry.key, key)) {
            return entry.value;
        }
    }
    return std::nullopt;
}

std::string IniFile::GetString(const std::string& section, const std::string& key, const std::string& fallback) const {
    return CutBytes(Get(section, key).value_or(fallback));
}

int IniFile::GetInt(const std::string& section, const std::string& key, int fallback) const {
    const std::string text = GetString(section, key, std::string());
    if (text.empty()) {
        return fallback;
    }
    const long long value = ParseLeadingInt(text);
    return static_cast<int>(
        std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    const std::string sectionName = FirstLine(section);
    const std::string keyName = FirstLine(key);
    Section* found = FindSection(sectionName);
    if (found == nullptr) {
        m_sections.push_back(Section{sectionName, {}});
        found = &m_sections.back();
    }
    for (Entry& entry : found->entries) {
        if (EqualsNoCase(entry.key, keyName)) {
            entry.value = StoredValue(value);
            return;
        }
    }
    found->entries.push_back(Entry{keyName, StoredValue(value)});
}

void IniFile::Remove(const std::string& section, const std::string& key) {
    Section* found = FindSection(section);
    if (found == nullptr) {
        return;
    }
    std::erase_if(found->entries, [&key](const Entry& entry) { return EqualsNoCase(entry.key, key); });
}

void IniFile::RemoveIfEmpty(const std::string& section) {
    std::erase_if(m_sections, [&section](const Section& found) {
        return found.entries.empty() && EqualsNoCase(found.name, section);
    });
}

std::vector<std::string> IniFile::Keys(const std::string& section) const {
    std::vector<std::string> keys;
    if (const Section* found = FindSection(section)) {
        for (const Entry& entry : found->entries) {
            keys.push_back(entry.key);
        }
    }
    return keys;
}

std::string IniFile::Text() const {
    std::string text;
    for (const Section& section : m_sections) {
        text += '[';
        text += section.name;
        text += "]\r\n";
        for (const Entry& entry : section.entries) {
            text += entry.key;
            text += '=';
            text += ValueLine(entry.value);
            text += "\r\n";
        }
    }
    return text;
}

bool IniFile::Save(const std::string& path) const {
    return WriteTrustedFile(path, Text()).ok;
}

bool IniFile::CanHold(const std::string& value) {
    return value.find('\n') == std::string::npos && value.size() <= kMaxFieldText;
}

IniFile::Section* IniFile::FindSection(const std::string& name) {
    for (Section& section : m_sections) {
        if (EqualsNoCase(section.name, name)) {
            return &section;
        }
    }
    return nullptr;
}

const IniFile::Section* IniFile::FindSection(const std::string& name) const {
    for (const Section& section : m_sections) {
        if (EqualsNoCase(section.name, name)) {
            return &section;
        }
    }
    return nullptr;
}

} // namespace zandel
