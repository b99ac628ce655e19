#include "core/geo/GeoUpkeep.h"

#include <cstdio>
#include <optional>

#include "core/util/DateFields.h"
#include "core/settings/SettingRanges.h"
#include "core/util/FileIo.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

constexpr std::time_t kDaySeconds = std::time_t{24} * 60 * 60;

bool ContainsNoCase(std::string_view text, std::string_view part) {
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
        if (EqualsNoCase(text.substr(at, part.size()), part)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool GeoRefreshDue(std::string_view lastDownload, int refreshDays, std::time_t now) {
    const std::optional<std::time_t> last = ParseIsoUtc(lastDownload);
    return !last || *last > now || now - *last >= static_cast<std::time_t>(refreshDays) * kDaySeconds;
}

bool GeoIsStale(std::uint64_t buildEpoch, std::time_t now) {
    return buildEpoch != 0 && static_cast<std::int64_t>(now) - static_cast<std::int64_t>(buildEpoch) >
                                  static_cast<std::int64_t>(kGeoStaleDays) * kDaySeconds;
}

std::string GeoBuildDate(std::uint64_t buildEpoch) {
    if (buildEpoch == 0) {
        return {};
    }
    const auto when = static_cast<std::time_t>(buildEpoch);
    std::tm parts{};
    if (::gmtime_r(&when, &parts) == nullptr) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
    return text;
}

GeoFileNote NoteOfGeoFile(const std::string& path, GeoKind kind, std::string_view url, std::time_t now) {
    GeoFileNote note;
    note.dbIp = NeedsDbIpAttribution({}, url);
    if (path.empty()) {
        return note;
    }
    if (!FileExists(path)) {
        note.text = url.empty() ? "ﾌｧｲﾙがありません" : "まだ取得していません (今すぐ更新で取得します)";
        return note;
    }
    GeoDatabase database;
    std::string error;
    if (!database.Open(path, kind, error)) {
        note.text = "使用できません: " + error;
        return note;
    }
    note.dbIp = NeedsDbIpAttribution(database.Type(), url);
    note.stale = GeoIsStale(database.BuildEpoch(), now);
    note.text = "作成日 " + GeoBuildDate(database.BuildEpoch()) + " (" + database.Type() + ")";
    if (note.stale) {
        note.text += " " + std::to_string(kGeoStaleDays) + "日より古いﾃﾞｰﾀﾍﾞｰｽです。更新してください";
    }
    return note;
}

bool NeedsDbIpAttribution(std::string_view databaseType, std::string_view url) {
    return ContainsNoCase(databaseType, "dbip") || ContainsNoCase(databaseType, "db-ip") ||
           ContainsNoCase(url, "db-ip") || ContainsNoCase(url, "dbip");
}

} // namespace zandel
