// zandel-check: the check engine of Zandel without a window, for lists checked on a server or in a script.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include <unistd.h>

#include "cli/ConsoleHost.h"
#include "cli/Options.h"
#include "core/app/AppSettings.h"
#include "core/app/Texts.h"
#include "core/check/CheckEngine.h"
#include "core/list/ListDocument.h"
#include "core/list/RowStore.h"

namespace {

using namespace zandel;

std::atomic<bool> g_interrupted{false};

void OnSignal(int) {
    g_interrupted = true;
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "zandel-check: %s\n", message.c_str());
    return 2;
}

bool WriteAll(std::FILE* stream, const std::string& bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() && std::fflush(stream) == 0;
}

// Waits for the run, passing a Ctrl+C on as a stop and keeping the progress line fresh.
bool WaitForRun(CheckEngine& engine, cli::ConsoleHost& host, int total, bool showProgress) {
    bool stopped = false;
    while (engine.HasRunThreads()) {
        if (g_interrupted && !stopped) {
            engine.StopCheck();
            stopped = true;
        }
        if (showProgress) {
            const int remaining = engine.RemainingCount();
            const int checked = remaining > 0 ? total - remaining : 0;
            std::string title = host.GetTitle();
            const std::string prefix = std::string(texts::kAppName) + " - ";
            if (title.rfind(prefix, 0) == 0) {
                title.erase(0, prefix.size());
            }
            host.SetProgressLine("checked " + std::to_string(checked) + " of " + std::to_string(total) + "  " + title);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    engine.JoinRunThreads();
    if (showProgress) {
        host.SetProgressLine("checked " + std::to_string(stopped ? total - engine.RemainingCount() : total) + " of " +
                             std::to_string(total) + "\n");
    }
    return !stopped && !g_interrupted;
}

} // namespace

int main(int argc, char** argv) {
    const cli::ParseOutcome parsed = cli::ParseOptions(argc, argv);
    if (parsed.options.help) {
        std::fputs(cli::UsageText(), stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "zandel-check: %s\n%s", parsed.error.c_str(), cli::UsageText());
        return 2;
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
    if (settings.WebPage.empty()) {
        return Fail(cli::OneLine(texts::kNoAccessUrl));
    }

    std::FILE* transcript = stderr;
    if (options.logPath) {
        transcript = std::fopen(options.logPath->c_str(), "wb");
        if (transcript == nullptr) {
            return Fail(cli::OneLine(FileErrorMessage(*options.logPath, errno, true)));
        }
    }

    CheckEngine* engineForTimer = nullptr;
    cli::ConsoleHost* hostForTimer = nullptr;
    cli::ConsoleHost host(transcript, [&engineForTimer, &hostForTimer] {
        if (engineForTimer != nullptr && hostForTimer != nullptr) {
            engineForTimer->OnTimeoutTimer(hostForTimer->TimedJob());
        }
    });
    hostForTimer = &host;
    MemoryRowStore rows;
    CRidIdiDoc document(rows, host, host);
    if (!document.OpenListFile(options.listPath)) {
        const std::string cause = host.LastMessage();
        return Fail(options.listPath + ": " + (cause.empty() ? "cannot be read as a list file" : cause));
    }
    for (int row = 0; row < rows.RowCount(); ++row) {
        rows.SetRowSelected(row, true);
    }

    CheckEngine engine(settings, rows, host, host);
    engineForTimer = &engine;
    engine.Initialize();
    InstallSignalHandlers();

    const int total = std::min(rows.RowCount(), MaxListRows);
    const bool showProgress = options.logPath && isatty(STDERR_FILENO);
    engine.StartCheck();
    const bool completed = WaitForRun(engine, host, total, showProgress);

    bool written = true;
    if (options.outputPath) {
        document.m_saveMode = options.saveMode;
        written = document.SaveListFile(*options.outputPath);
        document.m_saveMode = SaveWithResults;
    } else {
        written = WriteAll(stdout, FormatList(rows, options.saveMode));
        if (!written) {
            std::fprintf(stderr, "zandel-check: the checked list could not be written to standard output\n");
        }
    }
    if (transcript != stderr) {
        std::fclose(transcript);
    }
    return completed && written ? 0 : 1;
}
