// The HTTPS target, from both sides: the settings page, the check run and zandel-check's --https-target take
// exactly the same texts and make the same target of each, and the parser holds to a small model of the
// grammar written without it (the IPv6 literal by its groups, not by the resolver).
#include <optional>
#include <string>
#include <string_view>

#include "cli/Options.h"
#include "core/settings/IniFile.h"
#include "core/check/TestRequest.h"
#include "core/settings/HttpsTarget.h"
#include "fuzz/FuzzSupport.h"

using zandel::fuzz::Require;

namespace {

struct ModelTarget {
    std::string host;
    int port = 0;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHex(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Dotted IPv4 as an IPv6 literal may end: four numbers 0 to 255 without leading zeros.
bool IsDottedQuad(std::string_view text) {
    int parts = 0;
    while (true) {
        std::size_t digits = 0;
        while (digits < text.size() && IsDigit(text[digits])) {
            ++digits;
        }
        if (digits == 0 || digits > 3 || (digits > 1 && text[0] == '0') ||
            std::stoi(std::string(text.substr(0, digits))) > 255) {
            return false;
        }
        ++parts;
        text.remove_prefix(digits);
        if (text.empty()) {
            return parts == 4;
        }
        if (text[0] != '.' || parts == 4) {
            return false;
        }
        text.remove_prefix(1);
    }
}

// Colon-separated groups of one to four hexadecimal digits, the last one maybe dotted IPv4 (two groups' worth);
// how many groups, or nothing when the side is malformed. An empty side has none.
std::optional<int> CountGroups(std::string_view side, bool quadAllowed) {
    if (side.empty()) {
        return 0;
    }
    int groups = 0;
    while (true) {
        const std::size_t colon = side.find(':');
        const std::string_view group = side.substr(0, colon);
        if (colon == std::string_view::npos && quadAllowed && group.find('.') != std::string_view::npos) {
            return IsDottedQuad(group) ? std::optional<int>(groups + 2) : std::nullopt;
        }
        if (group.empty() || group.size() > 4) {
            return std::nullopt;
        }
        for (char c : group) {
            if (!IsHex(c)) {
                return std::nullopt;
            }
        }
        ++groups;
        if (colon == std::string_view::npos) {
            return groups;
        }
        side.remove_prefix(colon + 1);
    }
}

// Eight groups, or fewer with one "::" standing for at least one zero group.
bool IsIpv6Literal(std::string_view text) {
    const std::size_t gap = text.find("::");
    if (gap == std::string_view::npos) {
        return CountGroups(text, true) == 8;
    }
    const std::string_view before = text.substr(0, gap);
    const std::string_view after = text.substr(gap + 2);
    if (after.find("::") != std::string_view::npos) {
        return false;
    }
    const std::optional<int> head = CountGroups(before, false);
    const std::optional<int> tail = CountGroups(after, true);
    return head && tail && *head + *tail <= 7;
}

bool IsNameByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > ' ' && byte != 0x7f && std::string_view("/@[]:").find(c) == std::string_view::npos;
}

std::optional<ModelTarget> Model(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    std::string_view host;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
        if (!IsIpv6Literal(host)) {
            return std::nullopt;
        }
    } else {
        const std::size_t colon = text.find(':');
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        for (char c : host) {
            if (!IsNameByte(c)) {
                return std::nullopt;
            }
        }
    }
    if (host.empty() || host.size() > 253 || port.empty() || port.size() > 5) {
        return std::nullopt;
    }
    for (char c : port) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
    }
    const int number = std::stoi(std::string(port));
    if (number < 1 || number > 65535) {
        return std::nullopt;
    }
    return ModelTarget{std::string(host), number};
}

bool Same(const std::optional<zandel::HttpsTargetAddress>& a, const std::optional<zandel::HttpsTargetAddress>& b) {
    return a.has_value() == b.has_value() && (!a || (a->host == b->host && a->port == b->port));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string whole(reinterpret_cast<const char*>(data), size);
    const std::optional<zandel::HttpsTargetAddress> parsed = zandel::ParseHttpsTarget(whole);
    const std::optional<ModelTarget> model = Model(whole);
    Require(parsed.has_value() == model.has_value(), "a target exactly when the model has one");
    if (parsed) {
        Require(parsed->host == model->host && parsed->port == model->port, "the model's host and port");
        const std::string authority = parsed->Authority();
        Require(Same(zandel::ParseHttpsTarget(authority), parsed), "the CONNECT line's form reads back the same");
        for (char c : authority) {
            const auto byte = static_cast<unsigned char>(c);
            Require(byte > ' ' && byte != 0x7f, "nothing in the CONNECT line's target can end or split it");
        }
    }

    // A command-line argument ends at its first NUL, so the three sides are given the text up to there.
    const std::string text = zandel::fuzz::Input(data, size).Text();
    const std::string_view blanks = " \t";
    const bool empty = text.find_first_not_of(blanks) == std::string::npos;
    const std::optional<zandel::HttpsTargetAddress> target = zandel::ParseHttpsTarget(text);
    const std::string accessUrl = "http://judge.test:8080/cgi-bin/envchk.cgi";
    const std::optional<zandel::HttpsTargetAddress> byDefault =
        zandel::EffectiveHttpsTarget("", zandel::AccessUrlHost(accessUrl));
    Require(byDefault && byDefault->Authority() == "judge.test:443", "no target: the access URL's host on 443");

    // The page: empty or a target, stored without its blanks.
    std::string stored = "kept";
    const zandel::FieldCheck page = zandel::CheckHttpsTargetField(text, stored);
    Require(page.ok == (empty || target.has_value()), "the page takes empty text or a target");
    Require(page.ok || (page.message == zandel::kHttpsTargetMessage && stored == "kept"),
            "a refused target keeps the box's value and says the one message");

    // zandel-check's option.
    const char* argv[] = {"zandel-check", "--https-target", text.c_str(), "list.txt"};
    const zandel::cli::ParseOutcome option = zandel::cli::ParseOptions(4, argv);
    Require(option.error.empty() == page.ok, "the option takes exactly what the page takes");
    Require(option.error.empty() ? option.options.httpsTarget == stored
                                 : option.error == std::string("--https-target: ") + zandel::kHttpsTargetMessage,
            "the option keeps what the page stores, or says the page's message");

    // The run, given the setting as the page stored it, as it reads back from the settings file at the next
    // start, or as a hand-edited file or the option gives it.
    const std::string host = zandel::AccessUrlHost(accessUrl);
    const std::optional<zandel::HttpsTargetAddress> run = zandel::EffectiveHttpsTarget(text, host);
    Require(run.has_value() == page.ok, "the run takes exactly what the page takes");
    if (page.ok) {
        Require(Same(run, empty ? byDefault : target), "the run tunnels to the target the text names");
        Require(Same(zandel::EffectiveHttpsTarget(stored, host), run), "the stored setting names the same target");
        zandel::IniFile ini;
        ini.Set("HttpsCheck", "Target", stored);
        const std::string reread = zandel::IniFile::Parse(ini.Text()).GetString("HttpsCheck", "Target", "");
        Require(reread == stored, "the settings file gives the stored target back");
    }
    return 0;
}
