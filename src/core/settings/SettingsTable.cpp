#include "core/settings/SettingsTable.h"

#include <type_traits>

#include "core/settings/IniFile.h"

namespace zandel {

namespace {

std::string TextOf(bool value) {
    return value ? "1" : "0";
}

std::string TextOf(int value) {
    return std::to_string(value);
}

std::string TextOf(const std::string& value) {
    return value;
}

std::string TextOf(const char* value) {
    return value;
}

} // namespace

void SetDefault(const SettingRow& row, AppSettings& settings) {
    std::visit(
        [&](auto field) {
            using Kind = std::remove_reference_t<decltype(settings.*field)>;
            if constexpr (std::is_same_v<Kind, std::string>) {
                settings.*field = std::get<const char*>(row.fallback);
            } else {
                settings.*field = std::get<Kind>(row.fallback);
            }
        },
        row.field);
}

void ReadSetting(const IniFile& ini, const SettingRow& row, AppSettings& settings) {
    std::visit(
        [&](auto field) {
            using Kind = std::remove_reference_t<decltype(settings.*field)>;
            if constexpr (std::is_same_v<Kind, bool>) {
                settings.*field = ini.GetInt(row.section, row.key, settings.*field ? 1 : 0) != 0;
            } else if constexpr (std::is_same_v<Kind, int>) {
                const int value = ini.GetInt(row.section, row.key, settings.*field);
                const bool reset = row.outOfBounds == OutOfBounds::Default && !row.bounds.Holds(value);
                settings.*field = reset ? std::get<int>(row.fallback) : value;
            } else {
                settings.*field = ini.GetString(row.section, row.key, settings.*field);
            }
        },
        row.field);
}

void WriteSetting(IniFile& ini, const SettingRow& row, const AppSettings& settings) {
    const std::string text = std::visit([&](auto field) { return TextOf(settings.*field); }, row.field);
    const std::string fallback = std::visit([](auto value) { return TextOf(value); }, row.fallback);
    if (row.written == Written::UnlessDefault && text == fallback) {
        ini.Remove(row.section, row.key);
    } else {
        ini.Set(row.section, row.key, text);
    }
}

} // namespace zandel
