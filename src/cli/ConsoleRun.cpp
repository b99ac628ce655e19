#include "cli/ConsoleRun.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include <unistd.h>

#include "cli/ConsoleHost.h"
#include "cli/ConsoleRows.h"
#include "cli/FetchedList.h"
#include "cli/RunOutput.h"
#include "cli/RunPlaces.h"
#include "cli/RunRecorder.h"
#include "cli/RunSettings.h"
#include "cli/RunWait.h"
#include "cli/ServeRun.h"
#include "core/check/CheckEngine.h"
#include "core/check/ParallelProbe.h"
#include "core/check/SiteCheck.h"
#include "core/check/TimeoutTimer.h"
#include "core/check/TlsStep.h"
#include "core/fetch/ListFetcher.h"
#include "core/frame/ListUrl.h"
#include "core/history/HistoryRecorder.h"
#include "core/history/HistoryStore.h"
#include "core/list/ProxyListDocument.h"
#include "core/list/ListFile.h"
#include "core/settings/AppSettings.h"
#include "core/util/FileIo.h"
#include "core/util/UniqueFd.h"

namespace zandel::cli {

namespace {

// Why a run could not start or end, when the system refuses threads (a process or thread limit).
constexpr const char* kNoThread = "the system refused a thread for the run";

// What a run is made of, each part made when the run comes to need it and all gone in the reverse order.
class ConsoleRun final {
public:
    ConsoleRun(const Options& options, std::FILE* transcript, int wake);
    ConsoleRun(const ConsoleRun&) = delete;
    ConsoleRun& operator=(const ConsoleRun&) = delete;

    // The exit status.
    int Run(AppSettings& settings, const std::shared_ptr<const TunnelTrust>& trust);

private:
    std::optional<int> OpenList();
    void OpenHistory(const AppSettings& settings);
    void TellSiteUptimes();
    void MakeEngine(AppSettings& settings, const std::shared_ptr<const TunnelTrust>& trust);
    std::optional<int> Start();
    int Finish(RunEnd end);
    bool Recheck();

    const Options& m_options;
    ConsoleHost m_host;
    ThreadTimeoutTimer m_timer;
    ConsoleRows m_rows;
    ProxyListDocument m_document;
    HistoryStore m_history;
    std::optional<HistoryRecorder> m_historyBatches;
    std::optional<RunPlaces> m_places;
    std::optional<RunRecorder> m_recorder;
    std::optional<CheckEngine> m_engine;
    std::vector<SiteTarget> m_sites;
};

ConsoleRun::ConsoleRun(const Options& options, std::FILE* transcript, int wake)
    : m_options(options), m_host(transcript), m_document(m_rows, m_host, m_host) {
    m_host.WakeOnRunEnd(wake);
    m_document.m_maxRows = options.maxRows;
    m_document.m_tellRowLimit = options.maxRows == MaxListRows;
}

int ConsoleRun::Run(AppSettings& settings, const std::shared_ptr<const TunnelTrust>& trust) {
    // The command line's sites, else PrxSet.ini's, each named after where it was given.
    const std::string source = m_options.sites.empty() ? "[Sites] " : "--site ";
    m_sites = ParseSites(settings.Sites, [&source](const SiteLeftOut& leftOut) {
        Tell(source + leftOut.Console() + "; the checks go on without it");
    });
    std::optional<ServeRun> serve;
    if (m_options.serve.on) {
        serve.emplace(m_options, settings.TimeOut);
        if (const std::optional<int> code = serve->Open()) {
            return *code;
        }
    }
    if (const std::optional<int> code = OpenList()) {
        return *code;
    }
    OpenHistory(settings);
    MakeEngine(settings, trust);
    const int total = std::min(m_rows.RowCount(), m_options.maxRows);
    const bool showProgress = m_options.logPath && isatty(STDERR_FILENO);
    if (const std::optional<int> code = Start()) {
        return *code;
    }
    const RunEnd end = WaitForRun(*m_engine, m_host, total, showProgress);
    const int code = Finish(end);
    if (!serve || end != RunEnd::Completed) {
        return code;
    }
    serve->RecordInto(m_historyBatches ? &*m_historyBatches : nullptr);
    serve->Renew(m_rows);
    return serve->Serve(m_host, m_rows, [this] { return Recheck(); });
}

// The whole list again, while the serve goes on with the pool of the check before; its transcript is not written.
bool ConsoleRun::Recheck() {
    m_host.ExpectRun();
    for (int row = 0; row < m_rows.RowCount(); ++row) {
        m_rows.SetRowSelected(row, true);
    }
    if (!m_engine->StartCheck()) {
        return false;
    }
    const RunEnd end = WaitForRun(*m_engine, m_host, std::min(m_rows.RowCount(), m_options.maxRows), false);
    if (end == RunEnd::GivenUp) {
        // Not a return: that would wait for the run thread, stuck in a name lookup.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    if (m_historyBatches) {
        m_historyBatches->Flush();
    }
    return end == RunEnd::Completed;
}

// The list file, or the list at a URL, every row of it selected for the run.
std::optional<int> ConsoleRun::OpenList() {
    const std::string& named = m_options.listPath;
    // Another scheme names no file either: the user is told what a URL may be rather than what a file may be.
    if (LooksLikeUrl(named) && !IsListUrl(named) && !FileExists(named)) {
        return Fail(OneLine(NotListUrlMessage(named)));
    }
    FetchedList fetched;
    std::string listPath = named;
    if (IsListUrl(named)) {
        std::string error;
        listPath = fetched.Fetch(named, m_options.caFile, m_options.fetchTimeout, error);
        if (listPath.empty()) {
            return Fail(error);
        }
    }
    const bool opened = m_document.OpenListFile(listPath, OpenReplace);
    fetched.Discard();
    if (!opened) {
        // The document has told the cause already, on its one line.
        return m_host.LastMessage().empty()
                   ? Fail((IsListUrl(named) ? ShownUrl(named) : named) + ": cannot be read as a list file")
                   : 2;
    }
    for (int row = 0; row < m_rows.RowCount(); ++row) {
        m_rows.SetRowSelected(row, true);
    }
    return std::nullopt;
}

// The history only records: a file that cannot be used is told once, and the run goes on without it.
void ConsoleRun::OpenHistory(const AppSettings& settings) {
    const int keepDays = m_options.historyDays > 0 ? m_options.historyDays : settings.HistoryKeepDays;
    if (m_options.historyPath &&
        m_history.Open(*m_options.historyPath, keepDays, std::time(nullptr),
                       [](const std::string& cause) { Tell("the history is not kept: " + cause); })) {
        m_historyBatches.emplace(m_history);
    }
    m_places.emplace(m_options, settings);
    m_recorder.emplace(m_historyBatches ? &*m_historyBatches : nullptr, m_options.format != ExportFormat::Txt,
                       &*m_places, m_sites.size());
}

void ConsoleRun::MakeEngine(AppSettings& settings, const std::shared_ptr<const TunnelTrust>& trust) {
    m_engine.emplace(settings, m_rows, m_host, m_timer, m_host);
    m_engine->Initialize();
    m_engine->SetRecorder(&*m_recorder);
    if (trust) {
        m_engine->SetTunnelTrust(trust);
    }
    m_engine->SetMaxRows(m_options.maxRows);
    m_engine->SetPlainKind(m_options.plainKind);
    m_engine->SetSecondLook(settings.TwiceOn, std::chrono::seconds(settings.TwicePause));
    m_engine->SetSites(m_sites);
    InstallSignalHandlers();
}

// Nothing when the run has started (or a Ctrl+C came before it could), else the exit status.
std::optional<int> ConsoleRun::Start() {
    // A Ctrl+C that came before the run had begun keeps it from starting.
    if (Interrupted() || m_engine->StartCheck()) {
        return std::nullopt;
    }
    m_host.EndTranscript();
    // A setting the run cannot use has been told already.
    if (!m_host.LastMessage().empty()) {
        return 2;
    }
    Tell(std::string("the check could not be started: ") + kNoThread);
    return 1;
}

int ConsoleRun::Finish(RunEnd end) {
    const int transcriptError = m_host.EndTranscript();
    if (m_engine->JudgeRefused()) {
        return 2; // the judge, not any proxy, is at fault: the list is left as it was, and the cause told
    }
    if (end == RunEnd::GivenUp) {
        // The run thread lives on in its lookup: what it would still write is dropped.
        m_rows.Abandon();
        m_recorder->Abandon();
    }
    if (m_historyBatches) {
        m_historyBatches->Flush();
    }
    const RunRecorder& recorder = *m_recorder;
    RowOutput output;
    output.reasonOf = [&recorder](int row) { return recorder.ReasonOf(row); };
    if (m_places->Any()) {
        output.places = m_places->Columns();
        output.places->placeOf = [&recorder](int row, GeoPlace& place) { return recorder.PlaceOf(row, place); };
    }
    if (m_places->Filters()) {
        output.keep = [&recorder](int row) { return recorder.Keeps(row); };
    }
    if (!m_sites.empty()) {
        output.sites.emplace();
        for (const SiteTarget& site : m_sites) {
            output.sites->urls.push_back(site.given);
        }
        output.sites->classOf = [&recorder](int row, std::vector<SiteClass>& classes) {
            return recorder.SitesOf(row, classes);
        };
        TellSiteUptimes();
    }
    const bool written = WriteCheckedList(m_options, m_rows, m_document, output);
    // A transcript file cut short (a full disk) would pass for a whole one.
    const bool transcriptCut = transcriptError != 0 && m_options.logPath;
    if (transcriptCut) {
        Tell("the transcript could not be written whole to " + *m_options.logPath + ": " +
             std::strerror(transcriptError));
    }
    // Rows the system gave no thread to were not checked, whatever they read.
    const bool lackedThreads = m_engine->RunLackedThreads();
    if (lackedThreads) {
        Tell(std::string("the check could not be completed: ") + kNoThread);
    }
    const int code = end == RunEnd::Completed && written && !transcriptCut && !lackedThreads ? 0 : 1;
    if (end == RunEnd::GivenUp) {
        // Not a return: that would wait for the run thread.
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}

// What the history holds of each site over the kept days, this run's checks with them.
void ConsoleRun::TellSiteUptimes() {
    if (!m_historyBatches) {
        return;
    }
    for (const SiteUptime& uptime : m_history.SiteUptimes()) {
        if (std::none_of(m_sites.begin(), m_sites.end(),
                         [&uptime](const SiteTarget& site) { return site.given == uptime.site; })) {
            continue;
        }
        Tell("--site " + uptime.site + ": reached in " + std::to_string(uptime.reached) + " of " +
             std::to_string(uptime.checks) + " checks of live proxies over the kept days (" +
             std::to_string((uptime.reached * 200 + uptime.checks) / (2 * uptime.checks)) + "%)");
    }
}

} // namespace

int RunCheck(const Options& options) {
    AppSettings settings;
    std::shared_ptr<const TunnelTrust> trust;
    if (const std::optional<int> code = SettingsForRun(options, settings, trust)) {
        return *code;
    }
    RaiseOpenFileLimit();
    std::FILE* transcript = OpenTranscript(options);
    if (transcript == nullptr) {
        return 2;
    }
    const UniqueFd wake = OpenWake();
    if (!wake.IsOpen()) {
        const int error = errno;
        Tell(std::string("the check could not be started: ") + std::strerror(error));
        return 1;
    }
    ConsoleRun run(options, transcript, wake.Get());
    return run.Run(settings, trust);
}

} // namespace zandel::cli
