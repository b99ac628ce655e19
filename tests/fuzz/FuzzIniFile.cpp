// The INI reader and writer: any text parses, and a value that a line can hold is written so that it reads
// back as it was, without disturbing what the file held before.
#include <string>

#include "core/settings/IniFile.h"
#include "fuzz/FuzzSupport.h"

using zandel::fuzz::Require;

namespace {

// Section and key names the writer can always place: letters and digits only.
std::string Name(std::string text) {
    std::string name;
    for (const char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            name.push_back(c);
        }
    }
    return name.empty() ? std::string("k") : name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zandel::fuzz::Input input(data, size);
    const std::string section = Name(input.Text());
    const std::string key = Name(input.Text());
    const std::string value = input.Text();
    const std::string file = input.Rest();

    zandel::IniFile ini = zandel::IniFile::Parse(file);
    const std::string text = ini.Text();
    Require(zandel::IniFile::Parse(text).Text() == text, "what is written reads back to the same text");

    const std::string other = key + "x";
    const auto before = ini.Get(section, other);
    ini.Set(section, key, value);
    const zandel::IniFile back = zandel::IniFile::Parse(ini.Text());
    if (zandel::IniFile::CanHold(value)) {
        Require(back.Get(section, key) == value, "a value that a line can hold reads back as it was");
        Require(back.GetString(section, key, "-") == value, "and as a string");
    }
    Require(back.Get(section, other) == before, "a neighbouring key is left as it was");

    ini.Remove(section, key);
    Require(!zandel::IniFile::Parse(ini.Text()).Get(section, key).has_value(), "a removed key is gone");
    return 0;
}
