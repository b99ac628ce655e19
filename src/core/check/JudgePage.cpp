#include "core/check/JudgePage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "core/util/OpenSsl.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

constexpr std::string_view kNonceLine = "ZANDEL_NONCE=";
constexpr std::string_view kHmacLine = "ZANDEL_HMAC=";
constexpr std::string_view kErrorLine = "ZANDEL_ERROR=";
constexpr std::string_view kSignedTail = "</pre></body></html>\n";
constexpr std::size_t kHmacHexDigits = 64;

// Joins the chunks of a chunked body; false when the body ends before its last chunk.
bool Dechunk(std::string_view raw, std::string& body) {
    std::size_t at = 0;
    for (;;) {
        const std::size_t lineEnd = raw.find("\r\n", at);
        if (lineEnd == std::string_view::npos) {
            return false;
        }
        std::size_t size = 0;
        std::size_t digits = 0;
        for (std::size_t i = at; i < lineEnd && std::isxdigit(static_cast<unsigned char>(raw[i])); ++i, ++digits) {
            if (size > (SIZE_MAX >> 4)) {
                return false;
            }
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(raw[i])));
            size = size * 16 + static_cast<std::size_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        }
        if (digits == 0) {
            return false;
        }
        at = lineEnd + 2;
        if (size == 0) {
            return true;
        }
        if (raw.size() - at < size + 2) {
            body.append(raw.substr(at, std::min(size, raw.size() - at)));
            return false;
        }
        body.append(raw.substr(at, size));
        at += size + 2;
    }
}

// What a variable's name is made of: upper-case letters, digits and '_', a digit never first. A table, since every
// line of every page is read this way.
constexpr std::array<bool, 256> kNameChars = [] {
    std::array<bool, 256> chars{};
    for (const unsigned char c : std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZ_0123456789")) {
        chars[c] = true;
    }
    return chars;
}();

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The name and the value of a "NAME=value" (or "NAME: value") line, the blanks around each taken away; false for a
// line of any other form. One pass along the line, since every line of every page is read here.
bool SplitVariableLine(std::string_view line, std::string_view& name, std::string_view& value) {
    std::size_t at = 0;
    while (at < line.size() && IsBlank(line[at])) {
        ++at;
    }
    const std::size_t nameStart = at;
    if (at < line.size() && line[at] >= '0' && line[at] <= '9') {
        return false;
    }
    while (at < line.size() && kNameChars[static_cast<unsigned char>(line[at])]) {
        ++at;
    }
    const std::size_t nameEnd = at;
    while (at < line.size() && line[at] == ' ') {
        ++at;
    }
    if (nameEnd == nameStart || at == line.size() || (line[at] != '=' && line[at] != ':')) {
        return false;
    }
    ++at;
    while (at < line.size() && IsBlank(line[at])) {
        ++at;
    }
    std::size_t end = line.size();
    while (end > at && IsBlank(line[end - 1])) {
        --end;
    }
    name = std::string_view(line.data() + nameStart, nameEnd - nameStart);
    value = std::string_view(line.data() + at, end - at);
    return true;
}

// Markup out, character references resolved (an ASCII one to its byte, others kept as they are), into `text`.
void PlainText(std::string_view line, std::string& text) {
    text.clear();
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '<') {
            const std::size_t close = line.find('>', i);
            if (close == std::string_view::npos) {
                break;
            }
            i = close;
            continue;
        }
        if (line[i] == '&') {
            const std::size_t semi = line.find(';', i);
            const std::string_view entity =
                semi == std::string_view::npos || semi - i > 10 ? std::string_view() : line.substr(i + 1, semi - i - 1);
            int code = -1;
            if (entity == "amp") {
                code = '&';
            } else if (entity == "lt") {
                code = '<';
            } else if (entity == "gt") {
                code = '>';
            } else if (entity == "quot") {
                code = '"';
            } else if (entity.size() > 1 && entity[0] == '#') {
                const bool hex = entity[1] == 'x' || entity[1] == 'X';
                code = 0;
                for (std::size_t k = hex ? 2 : 1; k < entity.size() && code >= 0; ++k) {
                    const auto c = static_cast<unsigned char>(entity[k]);
                    const int digit = std::isdigit(c)           ? c - '0'
                                      : hex && std::isxdigit(c) ? std::tolower(c) - 'a' + 10
                                                                : -1;
                    code = digit < 0 || code > 0xFFFF ? -1 : code * (hex ? 16 : 10) + digit;
                }
                code = code > 0x7F ? -1 : code;
            }
            if (code >= 0) {
                text += static_cast<char>(code);
                i = semi;
                continue;
            }
        }
        text += line[i];
    }
}

std::size_t CountLines(std::string_view body, std::string_view prefix) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = body.find(prefix, at)) != std::string_view::npos; at += prefix.size()) {
        count += at == 0 || body[at - 1] == '\n' ? 1 : 0;
    }
    return count;
}

// The value of the line that starts with `prefix`, up to its end.
std::string_view LineValue(std::string_view body, std::size_t at, std::string_view prefix) {
    const std::size_t start = at + prefix.size();
    const std::size_t end = body.find('\n', start);
    return body.substr(start, (end == std::string_view::npos ? body.size() : end) - start);
}

std::size_t LineStart(std::string_view body, std::string_view prefix) {
    for (std::size_t at = 0; (at = body.find(prefix, at)) != std::string_view::npos; at += prefix.size()) {
        if (at == 0 || body[at - 1] == '\n') {
            return at;
        }
    }
    return std::string_view::npos;
}

std::string HexOf(const unsigned char* bytes, std::size_t length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < length; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    return hex;
}

} // namespace

std::string_view HeaderValue(std::string_view headers, std::string_view name) {
    std::size_t start = 0;
    while (start < headers.size()) {
        std::size_t end = headers.find('\n', start);
        if (end == std::string_view::npos) {
            end = headers.size();
        }
        std::string_view line = headers.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.size() > name.size() && line[name.size()] == ':' && StartsWithNoCase(line, name)) {
            std::string_view value = line.substr(name.size() + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
                value.remove_prefix(1);
            }
            return value;
        }
        start = end + 1;
    }
    return {};
}

bool SplitHttpAnswer(std::string_view answer, HttpAnswerView& out, std::string& joined) {
    out = HttpAnswerView{};
    std::size_t headEnd = answer.find("\r\n\r\n");
    std::size_t bodyStart = headEnd + 4;
    // A bare blank line counts only before the first CR LF one: the body is not searched for it.
    const std::string_view head = answer.substr(0, headEnd == std::string_view::npos ? headEnd : headEnd + 1);
    if (const std::size_t bare = head.find("\n\n"); bare != std::string_view::npos && bare < headEnd) {
        headEnd = bare;
        bodyStart = bare + 2;
    }
    if (headEnd == std::string_view::npos) {
        return false;
    }
    const std::size_t lineEnd = FindAnyOf(answer, "\r\n");
    out.statusLine = answer.substr(0, lineEnd);
    out.headers = answer.substr(lineEnd, headEnd - lineEnd);
    const std::string_view raw = answer.substr(bodyStart);
    if (EqualsNoCase(HeaderValue(out.headers, "Transfer-Encoding"), "chunked")) {
        joined.clear();
        out.whole = Dechunk(raw, joined);
        out.body = joined;
        return true;
    }
    out.body = raw;
    out.whole = true;
    if (const std::string_view length = HeaderValue(out.headers, "Content-Length"); !length.empty()) {
        const long long expected = ParseLeadingInt(length);
        if (expected >= 0 && static_cast<unsigned long long>(expected) < out.body.size()) {
            out.body = out.body.substr(0, static_cast<std::size_t>(expected));
        }
        out.whole = expected >= 0 && static_cast<unsigned long long>(expected) <= out.body.size();
    }
    return true;
}

bool SplitHttpAnswer(std::string_view answer, HttpAnswer& out) {
    HttpAnswerView parts;
    std::string joined;
    const bool split = SplitHttpAnswer(answer, parts, joined);
    out = HttpAnswer{std::string(parts.statusLine), std::string(parts.headers), std::string(parts.body), parts.whole};
    return split;
}

JudgeVariables::JudgeVariables(std::string_view body) : JudgeVariables(body, true) {}

JudgeVariables JudgeVariables::InPlace(std::string_view page) {
    return {page, false};
}

JudgeVariables::JudgeVariables(std::string_view body, bool copy) {
    if (copy) {
        m_text = body;
    } else {
        m_page = body;
    }
    // Spans are 32-bit: a page is at most the answer buffer, far below that.
    m_spans.reserve(32);
    std::string plain;
    // The next markup or reference, found by two fast scans of the page rather than a look at every byte.
    std::size_t markup = std::min(body.find('<'), body.find('&'));
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = body.find('\n', start);
        if (end == std::string_view::npos) {
            end = body.size();
        }
        if (markup < start) {
            markup = std::min(body.find('<', start), body.find('&', start));
        }
        std::string_view line = (copy ? std::string_view(m_text) : body).substr(start, end - start);
        bool inText = copy;
        start = end + 1;
        if (markup < end) {
            PlainText(line, plain);
            const std::size_t at = m_text.size();
            m_text += plain;
            line = std::string_view(m_text).substr(at);
            inText = true;
        }
        std::string_view name;
        std::string_view value;
        if (!SplitVariableLine(line, name, value)) {
            continue;
        }
        const auto spanOf = [this, inText](std::string_view part) {
            const std::size_t at = inText ? m_page.size() + static_cast<std::size_t>(part.data() - m_text.data())
                                          : static_cast<std::size_t>(part.data() - m_page.data());
            return Span{static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(part.size())};
        };
        m_spans.emplace_back(spanOf(name), spanOf(value));
    }
}

std::string_view JudgeVariables::TextOf(Span span) const {
    return span.at < m_page.size() ? std::string_view(m_page.data() + span.at, span.size)
                                   : std::string_view(m_text.data() + (span.at - m_page.size()), span.size);
}

JudgeVariables::Variable JudgeVariables::At(std::size_t index) const {
    const auto& [name, value] = m_spans[index];
    return {TextOf(name), TextOf(value)};
}

std::optional<std::string_view> JudgeVariables::Find(std::string_view name) const {
    // Lengths first: most names differ in theirs.
    for (const auto& [key, value] : m_spans) {
        if (key.size == name.size() && TextOf(key) == name) {
            return TextOf(value);
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> FindVariable(const JudgeVariables& variables, std::string_view name) {
    return variables.Find(name);
}

std::string MakeJudgeNonce() {
    unsigned char bytes[16];
    const OpenSslApi& ssl = OpenSsl();
    if (!ssl.error.empty() || ssl.RAND_bytes(bytes, sizeof bytes) != 1) {
        return {};
    }
    return HexOf(bytes, sizeof bytes);
}

std::string UrlWithNonce(const std::string& url, const std::string& nonce) {
    const std::size_t fragment = url.find('#');
    const std::string base = url.substr(0, fragment);
    const char joint = base.find('?') == std::string::npos        ? '?'
                       : base.back() == '?' || base.back() == '&' ? '\0'
                                                                  : '&';
    std::string result = base;
    if (joint != '\0') {
        result += joint;
    }
    return result + kNonceParameter + "=" + nonce;
}

bool IsValidJudgeKey(std::string_view key) {
    if (key.size() < 8 || key.size() > 256) {
        return false;
    }
    for (const char c : key) {
        if (c < 0x21 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

SignatureVerdict VerifyJudgeSignature(const HttpAnswerView& answer, const std::string& key, const std::string& nonce) {
    const OpenSslApi& ssl = OpenSsl();
    const std::string_view body = answer.body;
    const std::size_t hmacLines = CountLines(body, kHmacLine);
    const std::size_t nonceLines = CountLines(body, kNonceLine);
    if (hmacLines == 0) {
        if (const std::size_t error = LineStart(body, kErrorLine); error != std::string_view::npos) {
            return {SignatureCheck::JudgeError, std::string(LineValue(body, error, kErrorLine))};
        }
        if (!answer.whole) {
            return {SignatureCheck::Incomplete, {}};
        }
        return {SignatureCheck::Unsigned, {}};
    }
    if (hmacLines > 1 || nonceLines != 1) {
        return {SignatureCheck::Malformed, hmacLines > 1 ? "ZANDEL_HMAC" : "ZANDEL_NONCE"};
    }
    const std::size_t hmacAt = LineStart(body, kHmacLine);
    const std::string_view mac = LineValue(body, hmacAt, kHmacLine);
    if (mac.size() != kHmacHexDigits || mac.find_first_not_of("0123456789abcdef") != std::string_view::npos) {
        return {SignatureCheck::Malformed, "ZANDEL_HMAC"};
    }
    const std::size_t nonceAt = LineStart(body, kNonceLine);
    if (nonceAt > hmacAt) {
        return {SignatureCheck::Malformed, "ZANDEL_NONCE"};
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    const bool computed = ssl.error.empty() && ssl.HMAC(ssl.EVP_sha256(), key.data(), static_cast<int>(key.size()),
                                                        reinterpret_cast<const unsigned char*>(body.data()), hmacAt,
                                                        digest, &digestLength) != nullptr;
    const std::string expected = computed ? HexOf(digest, digestLength) : std::string();
    const bool matches =
        computed && expected.size() == mac.size() && ssl.CRYPTO_memcmp(expected.data(), mac.data(), mac.size()) == 0;
    // Whatever follows the signed part must be the judge's own closing lines: a script added after them would
    // not be covered by the signature.
    const std::string_view after = body.substr(std::min(body.size(), hmacAt + kHmacLine.size() + mac.size() + 1));
    if (!matches || after != kSignedTail) {
        return {SignatureCheck::Rewritten, {}};
    }
    if (LineValue(body, nonceAt, kNonceLine) != nonce) {
        return {SignatureCheck::Stale, {}};
    }
    return {SignatureCheck::Verified, {}};
}

} // namespace zandel
