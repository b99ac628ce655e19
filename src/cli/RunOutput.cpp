#include "cli/RunOutput.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

#include <fcntl.h>

#include "cli/ConsoleHost.h"
#include "core/list/ProxyListDocument.h"
#include "core/list/ListFile.h"
#include "core/list/RowStore.h"
#include "core/util/FileIo.h"
#include "core/util/UniqueFd.h"

namespace zandel::cli {

namespace {

ByteSink StreamSink(std::FILE* stream) {
    return
        [stream](std::string_view piece) { return std::fwrite(piece.data(), 1, piece.size(), stream) == piece.size(); };
}

} // namespace

void Tell(const std::string& message) {
    std::fprintf(stderr, "zandel-check: %s\n", message.c_str());
}

int Fail(const std::string& message) {
    Tell(message);
    return 2;
}

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

std::FILE* OpenTranscript(const Options& options) {
    if (!options.logPath) {
        return stderr;
    }
    // The transcript quotes what proxies and the judge answered, a login passed on among it: a new one is the
    // user's alone, as every file the program makes.
    UniqueFd fd(::open(options.logPath->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    std::FILE* transcript = fd.IsOpen() ? ::fdopen(fd.Get(), "wb") : nullptr;
    if (transcript == nullptr) {
        Tell(OneLine(FileErrorMessage(*options.logPath, errno, true)));
        return nullptr;
    }
    fd.Release();
    return transcript;
}

bool WriteCheckedList(const Options& options, const IRowStore& rows, ProxyListDocument& document,
                      const RowOutput& output) {
    // The list kept whole is the document's own save; one cut to some countries is a file of another content.
    if (options.format == ExportFormat::Txt && options.outputPath && !output.keep) {
        return document.SaveListFile(*options.outputPath, options.saveMode);
    }
    const ExportPlaces* places = output.places ? &*output.places : nullptr;
    const auto stream = [&](const ByteSink& sink) {
        return options.format == ExportFormat::Txt
                   ? StreamList(rows, options.saveMode, sink, output.keep, document.IsCp932())
                   : StreamExport(rows, options.saveMode, options.format, output.reasonOf, sink, places, output.keep,
                                  output.sites ? &*output.sites : nullptr);
    };
    if (options.outputPath) {
        const FileResult result = WriteFileAtomically(*options.outputPath, stream);
        if (!result.ok) {
            Tell(OneLine(FileErrorMessage(*options.outputPath, result.error, true)));
        }
        return result.ok;
    }
    const bool written = stream(StreamSink(stdout)) && std::fflush(stdout) == 0;
    if (!written) {
        Tell("the checked list could not be written to standard output");
    }
    return written;
}

} // namespace zandel::cli
