#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "cli/Options.h"
#include "core/check/CheckEngine.h"
#include "core/list/CheckExport.h"

namespace zandel {
class ProxyListDocument;
class IRowStore;
} // namespace zandel

namespace zandel::cli {

// One line on standard error, after the tool's name.
void Tell(const std::string& message);
// Tells why the tool cannot go on: the exit status of unusable input.
int Fail(const std::string& message);

// "checked 120/1000  running 100  good 7  0:42"
std::string ProgressLine(const CheckEngine::Progress& progress, int total, std::chrono::steady_clock::duration elapsed);

// The transcript's stream: standard error, or the --log file; nullptr after saying why it cannot be opened.
std::FILE* OpenTranscript(const Options& options);

// What the run knows of each row besides its cells: its reason, its place (with databases), whether it is written
// (with --country), its sites' classes (with --site).
struct RowOutput {
    RowReason reasonOf;
    std::optional<ExportPlaces> places;
    RowKeep keep;
    std::optional<ExportSites> sites;
};

// The checked list where the options send it, in their format; false after saying why it was not written whole.
bool WriteCheckedList(const Options& options, const IRowStore& rows, ProxyListDocument& document,
                      const RowOutput& output);

} // namespace zandel::cli
