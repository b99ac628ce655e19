// zandel-check: the check engine of Zandel without a window, for lists checked on a server or in a script.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "cli/ConsoleHost.h"
#include "cli/ConsoleRows.h"
#include "cli/Options.h"
#include "cli/RunRecorder.h"
#include "cli/Usage.h"
#include "core/settings/AppSettings.h"
#include "core/app/CommandLine.h"
#include "core/util/Texts.h"
#include "core/check/CheckEngine.h"
#include "core/check/JudgePage.h"
#include "core/check/TlsStep.h"
#include "core/fetch/ListFetcher.h"
#include "core/list/CheckExport.h"
#include "core/frame/ListUrl.h"
#include "core/history/HistoryRecorder.h"
#include "core/history/HistoryStore.h"
#include "core/list/ProxyListDocument.h"
#include "core/list/RowStore.h"
#include "core/util/FileIo.h"
#include "core/util/UniqueFd.h"

namespace {

using namespace zandel;

// Every Ctrl+C (or SIGTERM) counts: the first stops the run, a later one also gives up on a job that a
// name lookup holds, since nothing can cut the lookup short.
std::atomic<int> g_signals{0};
static_assert(std::atomic<int>::is_always_lock_free);
// Written by a signal and by the run's end: the waiting main thread wakes at once, never on a fixed beat.
int g_wake = -1;

void OnSignal(int) {
    g_signals.fetch_add(1);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_wake, &one, sizeof one);
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// How long a stopped run may take to end once the user has asked twice.
constexpr auto kGiveUpAfter = std::chrono::milliseconds(500);
// How often the progress line is redrawn and the transcript flushed, and a stop repeated while a name lookup
// holds a job.
constexpr auto kRefresh = std::chrono::milliseconds(100);

// Why a run could not start or end, when the system refuses threads (a process or thread limit).
constexpr const char* kNoThread = "the system refused a thread for the run";

int Fail(const std::string& message) {
    std::fprintf(stderr, "zandel-check: %s\n", message.c_str());
    return 2;
}

bool WriteList(std::FILE* stream, const IRowStore& rows, int saveMode) {
    return StreamList(rows, saveMode,
                      [stream](std::string_view piece) {
                          return std::fwrite(piece.data(), 1, piece.size(), stream) == piece.size();
                      }) &&
           std::fflush(stream) == 0;
}

bool WriteExport(std::FILE* stream, const IRowStore& rows, int saveMode, ExportFormat format,
                 const RowReason& reasonOf) {
    return StreamExport(rows, saveMode, format, reasonOf,
                        [stream](std::string_view piece) {
                            return std::fwrite(piece.data(), 1, piece.size(), stream) == piece.size();
                        }) &&
           std::fflush(stream) == 0;
}

// A list fetched from the web, in a folder of the user's own for as long as it is being read.
class FetchedList final {
public:
    FetchedList() = default;
    ~FetchedList() { Discard(); }
    FetchedList(const FetchedList&) = delete;
    FetchedList& operator=(const FetchedList&) = delete;

    // The path of the list file, or "" after writing why not to `error`.
    std::string Fetch(const std::string& url, const std::optional<std::string>& caFile, long seconds,
                      std::string& error) {
        FetchOptions options;
        options.caFile = caFile;
        options.wholeSeconds = seconds;
        FetchResult fetched = FetchUrl(url, options);
        if (!fetched.ok) {
            error = ShownUrl(url) + ": " + fetched.error;
            return {};
        }
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zandel-check.XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            error = "no folder for the fetched list: " + std::string(std::strerror(errno));
            return {};
        }
        m_dir = pattern;
        const std::string file = m_dir + "/list.txt";
        if (const FileResult written = WriteFileAtomically(file, fetched.body); !written) {
            error = "the fetched list could not be kept: " + std::string(std::strerror(written.error));
            return {};
        }
        m_file = file;
        return m_file;
    }

    // Once the list is read, its copy goes: a run given up on ends without returning here.
    void Discard() {
        if (!m_file.empty()) {
            ::unlink(m_file.c_str());
            m_file.clear();
        }
        if (!m_dir.empty()) {
            ::rmdir(m_dir.c_str());
            m_dir.clear();
        }
    }

private:
    std::string m_dir;
    std::string m_file;
};

enum class RunEnd { Completed, Stopped, GivenUp };

// "checked 120/1000  running 100  good 7  0:42"
std::string ProgressLine(const CheckEngine::Progress& progress, int total,
                         std::chrono::steady_clock::duration elapsed) {
    const int checked = std::min(progress.checked, total);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    char clock[32];
    std::snprintf(clock, sizeof clock, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return "checked " + std::to_string(checked) + "/" + std::to_string(total) + "  running " +
           std::to_string(progress.running) + "  good " + std::to_string(progress.good) + "  " + clock;
}

// Waits for the run, passing every Ctrl+C on as a stop and keeping the progress line fresh.
RunEnd WaitForRun(CheckEngine& engine, cli::ConsoleHost& host, int total, bool showProgress) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    int handled = 0;
    std::optional<Clock::time_point> giveUpAt;
    bool givenUp = false;
    bool ended = false;
    while (!ended && engine.HasRunThreads()) {
        // Repeated while the run lasts: a cancel that came during a name lookup did nothing, and the job
        // must end as soon as the lookup is over.
        const int signals = g_signals.load();
        if (signals > 0) {
            engine.StopCheck();
        }
        if (signals > handled) {
            handled = signals;
            if (signals >= 2 && !giveUpAt) {
                giveUpAt = Clock::now() + kGiveUpAfter;
            }
        }
        if (giveUpAt && Clock::now() >= *giveUpAt) {
            givenUp = true;
            break;
        }
        if (showProgress) {
            host.SetProgressLine(ProgressLine(engine.CurrentProgress(), total, Clock::now() - started));
        }
        // The transcript is flushed on every turn, so the loop turns at least once a refresh while the run lasts.
        host.FlushTranscript();
        int waitMs = static_cast<int>(kRefresh.count());
        if (giveUpAt) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*giveUpAt - Clock::now()).count();
            waitMs = static_cast<int>(std::clamp<long long>(left, 0, waitMs));
        }
        pollfd wake{g_wake, POLLIN, 0};
        if (::poll(&wake, 1, waitMs) > 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(g_wake, &count, sizeof count);
        }
        // The run's end wakes us just before its thread returns: joining it waits no longer than that.
        ended = host.RunHasEnded();
    }
    if (!givenUp) {
        engine.JoinRunThreads();
    }
    const bool stopped = givenUp || handled > 0 || g_signals.load() > 0;
    if (showProgress) {
        CheckEngine::Progress last = engine.CurrentProgress();
        last.checked = stopped ? last.checked : total;
        host.SetProgressLine(ProgressLine(last, total, Clock::now() - started) + "\n");
    }
    return givenUp ? RunEnd::GivenUp : stopped ? RunEnd::Stopped : RunEnd::Completed;
}

} // namespace

int main(int argc, char** argv) {
    // One heap for every thread. The check runs on a thread of its own, and a thread's own heap grows and shrinks a
    // page at a time, a system call and page faults each time a run's jobs come and go; the main heap grows in
    // large steps. The other threads (lookups, the history's writer) are few and seldom allocate.
    mallopt(M_ARENA_MAX, 1);
    const cli::ParseOutcome parsed = cli::ParseOptions(argc, argv);
    if (const std::optional<int> answered = cli::AnswerWithoutRun(parsed)) {
        return *answered;
    }
    const cli::Options& options = parsed.options;

    AppSettings settings;
    settings.StartDir = ".";
    LoadSettings(settings);
    if (options.url) {
        settings.WebPage = *options.url;
    }
    if (options.timeOut) {
        settings.TimeOut = *options.timeOut;
    }
    if (options.httpVersion) {
        settings.HttpVer = *options.httpVersion;
    }
    if (options.userAgent) {
        settings.UserAgent = *options.userAgent;
    }
    if (options.jobs) {
        settings.ParallelChecks = *options.jobs;
    }
    if (options.https) {
        settings.HttpsCheckOn = true;
    }
    if (options.detect) {
        settings.DetectProxyType = true;
    }
    if (options.httpsTarget) {
        settings.HttpsTarget = *options.httpsTarget;
    }
    if (options.noBaseline) {
        settings.JudgeBaseline = false;
    }
    if (options.fallbackUrl) {
        settings.JudgeFallback = *options.fallbackUrl;
    }
    if (options.strict) {
        settings.JudgeStrict = true;
    }
    if (options.judgeKeyShown) {
        std::fputs("zandel-check: warning: a key given with --judge-key can be read by every user of this machine "
                   "(ps); use --judge-key-file FILE or ZANDEL_JUDGE_KEY\n",
                   stderr);
    }
    if (options.judgeKey) {
        settings.JudgeKey = *options.judgeKey;
    } else if (const char* key = std::getenv("ZANDEL_JUDGE_KEY"); key != nullptr && *key != '\0') {
        if (!IsValidJudgeKey(key)) {
            std::fputs("zandel-check: ZANDEL_JUDGE_KEY: a key of 8 to 256 printable ASCII characters without blanks is "
                       "needed\n",
                       stderr);
            return 2;
        }
        settings.JudgeKey = key;
    }
    std::shared_ptr<const TunnelTrust> trust;
    if (options.caFile) {
        std::string error;
        trust = TunnelTrust::Load(*options.caFile, error);
        if (!trust) {
            return Fail(error);
        }
    }
    RaiseOpenFileLimit();
    if (settings.WebPage.empty()) {
        return Fail(cli::OneLine(texts::kNoAccessUrl));
    }

    std::FILE* transcript = stderr;
    if (options.logPath) {
        // The transcript quotes what proxies and the judge answered, a login passed on among it: a new one is the
        // user's alone, as every file the program makes.
        UniqueFd fd(::open(options.logPath->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        transcript = fd.IsOpen() ? ::fdopen(fd.Get(), "wb") : nullptr;
        if (transcript != nullptr) {
            fd.Release();
        }
        if (transcript == nullptr) {
            return Fail(cli::OneLine(FileErrorMessage(*options.logPath, errno, true)));
        }
    }

    const UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.IsOpen()) {
        std::fprintf(stderr, "zandel-check: the check could not be started: %s\n", std::strerror(errno));
        return 1;
    }
    g_wake = wake.Get();
    cli::ConsoleHost host(transcript);
    host.WakeOnRunEnd(wake.Get());
    ThreadTimeoutTimer timer;
    cli::ConsoleRows rows;
    ProxyListDocument document(rows, host, host);
    document.m_maxRows = options.maxRows;
    FetchedList fetched;
    std::string listPath = options.listPath;
    // Another scheme names no file either: the user is told what a URL may be rather than what a file may be.
    if (LooksLikeUrl(listPath) && !IsListUrl(listPath) && !FileExists(listPath)) {
        return Fail(cli::OneLine(NotListUrlMessage(listPath)));
    }
    if (IsListUrl(listPath)) {
        std::string error;
        listPath = fetched.Fetch(options.listPath, options.caFile, options.fetchTimeout, error);
        if (listPath.empty()) {
            return Fail(error);
        }
    }
    const bool opened = document.OpenListFile(listPath, OpenReplace);
    fetched.Discard();
    if (!opened) {
        // The document has told the cause already, on its one line.
        return host.LastMessage().empty()
                   ? Fail((IsListUrl(options.listPath) ? ShownUrl(options.listPath) : options.listPath) +
                          ": cannot be read as a list file")
                   : 2;
    }
    for (int row = 0; row < rows.RowCount(); ++row) {
        rows.SetRowSelected(row, true);
    }

    // The history only records: a file that cannot be used is told once, and the run goes on without it.
    HistoryStore history;
    std::optional<HistoryRecorder> historyBatches;
    if (options.historyPath) {
        const int days = options.historyDays > 0 ? options.historyDays : settings.HistoryKeepDays;
        if (history.Open(*options.historyPath, days, std::time(nullptr), [](const std::string& cause) {
                std::fprintf(stderr, "zandel-check: the history is not kept: %s\n", cause.c_str());
            })) {
            historyBatches.emplace(history);
        }
    }
    cli::RunRecorder recorder(historyBatches ? &*historyBatches : nullptr, options.format != ExportFormat::Txt);

    CheckEngine engine(settings, rows, host, timer, host);
    engine.Initialize();
    engine.SetRecorder(&recorder);
    if (trust) {
        engine.SetTunnelTrust(trust);
    }
    engine.SetMaxRows(options.maxRows);
    engine.SetPlainKind(options.plainKind);
    InstallSignalHandlers();

    const int total = std::min(rows.RowCount(), options.maxRows);
    const bool showProgress = options.logPath && isatty(STDERR_FILENO);
    // A Ctrl+C that came before the run had begun keeps it from starting.
    if (g_signals.load() == 0 && !engine.StartCheck()) {
        host.EndTranscript();
        // A setting the run cannot use has been told already.
        if (!host.LastMessage().empty()) {
            return 2;
        }
        std::fprintf(stderr, "zandel-check: the check could not be started: %s\n", kNoThread);
        return 1;
    }
    const RunEnd end = WaitForRun(engine, host, total, showProgress);
    const int transcriptError = host.EndTranscript();
    if (engine.JudgeRefused()) {
        return 2; // the judge, not any proxy, is at fault: the list is left as it was, and the cause told
    }
    if (end == RunEnd::GivenUp) {
        // The run thread lives on in its lookup: what it would still write is dropped.
        rows.Abandon();
        recorder.Abandon();
    }
    if (historyBatches) {
        historyBatches->Flush();
    }

    bool written = true;
    const RowReason reasonOf = [&recorder](int row) { return recorder.ReasonOf(row); };
    if (options.format != ExportFormat::Txt) {
        if (options.outputPath) {
            const FileResult result = WriteFileAtomically(*options.outputPath, [&](const ByteSink& sink) {
                return StreamExport(rows, options.saveMode, options.format, reasonOf, sink);
            });
            written = result.ok;
            if (!written) {
                std::fprintf(stderr, "zandel-check: %s\n",
                             cli::OneLine(FileErrorMessage(*options.outputPath, result.error, true)).c_str());
            }
        } else {
            written = WriteExport(stdout, rows, options.saveMode, options.format, reasonOf);
            if (!written) {
                std::fprintf(stderr, "zandel-check: the checked list could not be written to standard output\n");
            }
        }
    } else if (options.outputPath) {
        written = document.SaveListFile(*options.outputPath, options.saveMode);
    } else {
        written = WriteList(stdout, rows, options.saveMode);
        if (!written) {
            std::fprintf(stderr, "zandel-check: the checked list could not be written to standard output\n");
        }
    }
    // A transcript file cut short (a full disk) would pass for a whole one.
    const bool transcriptCut = transcriptError != 0 && options.logPath;
    if (transcriptCut) {
        std::fprintf(stderr, "zandel-check: the transcript could not be written whole to %s: %s\n",
                     options.logPath->c_str(), std::strerror(transcriptError));
    }
    // Rows the system gave no thread to were not checked, whatever they read.
    const bool lackedThreads = engine.RunLackedThreads();
    if (lackedThreads) {
        std::fprintf(stderr, "zandel-check: the check could not be completed: %s\n", kNoThread);
    }
    const int code = end == RunEnd::Completed && written && !transcriptCut && !lackedThreads ? 0 : 1;
    if (end == RunEnd::GivenUp) {
        // Not a return: that would wait for the run thread.
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
