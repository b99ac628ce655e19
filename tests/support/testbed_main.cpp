// zandel-testbed: an echo page and a handful of fake proxies on 127.0.0.1, for trying Zandel and zandel-check
// by hand and for demonstrations. Runs until SIGINT or SIGTERM.
//
// A script starts it in the background with --ready-file and waits for that file: it appears (complete, by
// rename) once every server listens, as "key=value" lines, and goes away when the test bed ends.

#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pthread.h>

#include "support/EchoJudge.h"
#include "support/FakeProxy.h"
#include "support/Loopback.h"

namespace {

using zandel::test::EchoJudge;
using zandel::test::FakeProxy;
using zandel::test::FakeScript;
namespace fake = zandel::test::fake;

struct Options {
    std::uint16_t judgePort = 0;
    std::uint16_t basePort = 0;
    std::string listFile;
    std::string readyFile;
};

struct ProxyKind {
    const char* key;
    const char* description;
    FakeScript script;
};

constexpr std::string_view kUsage =
    "usage: zandel-testbed [--judge-port N] [--base-port N] [--print-list FILE] [--ready-file FILE]\n"
    "\n"
    "Starts an echo page and fake proxies on 127.0.0.1 and runs until SIGINT or SIGTERM.\n"
    "  --judge-port N      port of the echo page (default: any free port)\n"
    "  --base-port N       the proxies take ports N, N+1, ... (default: any free ports)\n"
    "  --print-list FILE   write a proxy list file naming every proxy\n"
    "  --ready-file FILE   once all servers listen, write judge_url=... and one key=address line per proxy;\n"
    "                      removed again at the end\n";

bool ParsePort(std::string_view text, std::uint16_t& port) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "zandel-testbed: %s needs a value\n", argv[i]);
            return false;
        }
        const std::string_view value = argv[++i];
        if (name == "--judge-port" && ParsePort(value, options.judgePort)) {
            continue;
        }
        if (name == "--base-port" && ParsePort(value, options.basePort)) {
            continue;
        }
        if (name == "--print-list") {
            options.listFile = value;
        } else if (name == "--ready-file") {
            options.readyFile = value;
        } else {
            std::fprintf(stderr, "zandel-testbed: bad option %s %s\n", argv[i - 1], argv[i]);
            return false;
        }
    }
    return true;
}

bool WriteFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            return false;
        }
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

int Run(const Options& options) {
    // Every server thread inherits this mask, so the signals reach only the sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    EchoJudge judge(options.judgePort);
    std::vector<ProxyKind> kinds;
    kinds.push_back({"anonymous_a", "forwards, adds nothing: Anonymous(A)", fake::ForwardToJudge({})});
    kinds.push_back({"anonymous_b", "forwards, adds Via: Anonymous(B)", fake::ForwardToJudge({"Via: 1.1 fake"})});
    kinds.push_back({"non_anonymous", "forwards, adds X-Forwarded-For: Non-Anonymous",
                     fake::ForwardToJudge({"X-Forwarded-For: 127.0.0.1"})});
    kinds.push_back({"forbidden", "answers 403: NG",
                     fake::AnswerAndClose("HTTP/1.0 403 Forbidden\r\nContent-Type: text/plain\r\n\r\nno\r\n")});
    kinds.push_back({"refusing", "refuses every connection: NG", fake::Refuse()});
    kinds.push_back({"silent", "accepts and never answers: NG after the time-out", fake::NeverAnswer()});
    kinds.push_back({"captive", "answers every request with a page of its own: NG(Tampered)",
                     fake::AnswerAndClose("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body>Welcome to "
                                          "FreeWiFi. Please log in.</body></html>\r\n")});

    std::vector<std::unique_ptr<FakeProxy>> proxies;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const auto port = static_cast<std::uint16_t>(options.basePort == 0 ? 0 : options.basePort + i);
        proxies.push_back(std::make_unique<FakeProxy>(std::move(kinds[i].script), port));
    }

    std::string facts = "judge_url=" + judge.Url() + "\n";
    std::string list = "# Zandel test bed: fake proxies on this machine, judge " + judge.Url() + "\n";
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        facts += std::string(kinds[i].key) + "=" + proxies[i]->Address() + "\n";
        list += "# " + std::string(kinds[i].key) + ": " + kinds[i].description + "\n" + proxies[i]->Address() + "\n";
    }
    if (!options.listFile.empty()) {
        facts += "list_file=" + options.listFile + "\n";
        if (!WriteFile(options.listFile, list)) {
            std::fprintf(stderr, "zandel-testbed: cannot write %s\n", options.listFile.c_str());
            return 1;
        }
    }
    if (!options.readyFile.empty() && !WriteFile(options.readyFile, facts)) {
        std::fprintf(stderr, "zandel-testbed: cannot write %s\n", options.readyFile.c_str());
        return 1;
    }
    std::fputs(facts.c_str(), stdout);
    std::fputs("ready\n", stdout);
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    if (!options.readyFile.empty()) {
        std::remove(options.readyFile.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(kUsage.data(), stdout);
        return 0;
    }
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(kUsage.data(), stderr);
        return 2;
    }
    try {
        return Run(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zandel-testbed: %s\n", error.what());
        return 1;
    }
}
