#include "core/fetch/GeoDownload.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/geo/GeoUpkeep.h"
#include "core/list/CheckRecord.h"
#include "core/settings/AppSettings.h"
#include "core/util/UniqueFd.h"

namespace zandel {

namespace {

std::string Failed(const std::string& url, const std::string& target, const std::string& cause) {
    return "位置情報ﾃﾞｰﾀﾍﾞｰｽを更新できませんでした。元のﾌｧｲﾙはそのままです。\n" + target + "\n" + ShownUrl(url) + "\n" +
           cause;
}

// What came instead of a database, in the words a user recognises.
std::string NotADatabase(const std::string& body, const std::string& error) {
    if (body.size() >= 2 && static_cast<unsigned char>(body[0]) == 0x1F &&
        static_cast<unsigned char>(body[1]) == 0x8B) {
        return "gzipで圧縮されたﾌｧｲﾙです。展開した .mmdb のURLを指定してください。";
    }
    const std::size_t start = body.find_first_not_of(" \t\r\n");
    if (start != std::string::npos && body[start] == '<') {
        return "ﾃﾞｰﾀﾍﾞｰｽではなくHTMLのﾍﾟｰｼﾞが返されました。";
    }
    return "ﾃﾞｰﾀﾍﾞｰｽとして開けません (" + error + ")";
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return ::fsync(fd) == 0;
}

} // namespace

GeoDownloadResult DownloadGeoDatabase(const std::string& url, const std::string& target, GeoKind kind,
                                      FetchOptions options) {
    GeoDownloadResult outcome;
    if (!IsListUrl(url)) {
        outcome.message = Failed(url, target, "http:// か https:// で始まるURLを指定してください。");
        return outcome;
    }
    options.maxBytes = kGeoFetchMaxBytes;
    options.wholeSeconds = kGeoFetchDeadlineSeconds;
    const FetchResult fetched = FetchUrl(url, options);
    if (!fetched.ok) {
        outcome.message = Failed(url, target, fetched.error);
        return outcome;
    }
    // Beside the target, so that the rename never crosses file systems; the user's alone, as every file we make.
    std::string temporary = target + ".XXXXXX";
    const UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.IsOpen()) {
        outcome.message = Failed(url, target, std::strerror(errno));
        return outcome;
    }
    // A file that exists keeps its mode.
    if (struct stat old{}; ::stat(target.c_str(), &old) == 0) {
        ::fchmod(fd.Get(), old.st_mode & 07777);
    }
    std::string error;
    GeoDatabase check;
    // Written whole, opened as what it must be, and only then put in the old file's place.
    const bool written = WriteAll(fd.Get(), fetched.body);
    if (written && !check.Open(temporary, kind, error)) {
        error = NotADatabase(fetched.body, error);
    } else if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        error = std::strerror(errno);
    } else {
        outcome.ok = true;
        return outcome;
    }
    ::unlink(temporary.c_str());
    outcome.message = Failed(url, target, error);
    return outcome;
}

GeoFiles GeoFilesOf(const AppSettings& settings) {
    const auto fileOf = [&settings](const std::string& file, const std::string& url, const char* name) {
        if (!file.empty() || url.empty()) {
            return file;
        }
        return StartDirFile(settings, name).value_or(std::string());
    };
    return {fileOf(settings.GeoCountryFile, settings.GeoCountryUrl, kGeoCountryFileName),
            fileOf(settings.GeoAsnFile, settings.GeoAsnUrl, kGeoAsnFileName), settings.GeoDatacenterFile};
}

std::vector<GeoUpdateJob> GeoUpdateJobsOf(const AppSettings& settings) {
    const GeoFiles files = GeoFilesOf(settings);
    std::vector<GeoUpdateJob> jobs;
    if (!settings.GeoCountryUrl.empty() && !files.country.empty()) {
        jobs.push_back({settings.GeoCountryUrl, files.country, GeoKind::Country});
    }
    if (!settings.GeoAsnUrl.empty() && !files.asn.empty()) {
        jobs.push_back({settings.GeoAsnUrl, files.asn, GeoKind::Asn});
    }
    return jobs;
}

void RecordGeoDownload(AppSettings& settings, std::time_t now) {
    settings.GeoLastDownload = IsoUtc(now);
}

bool GeoUpdateDue(const AppSettings& settings, std::time_t now) {
    return !GeoUpdateJobsOf(settings).empty() && GeoRefreshDue(settings.GeoLastDownload, settings.GeoRefreshDays, now);
}

} // namespace zandel
