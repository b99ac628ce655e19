#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zandel {

// An answer as the judge's server sent it: the status line, the header block and the body, a chunked body
// joined back into one. `whole` is false when the answer was cut short (a full buffer, a close mid-body).
struct HttpAnswer {
    std::string statusLine;
    std::string headers;
    std::string body;
    bool whole = false;
};
// The same parts where they lie in the answer: every page of every proxy is split, and copying its body would cost
// about as much as grading it. Valid while the answer (and, for a chunked body, the text it was joined into) is.
struct HttpAnswerView {
    std::string_view statusLine;
    std::string_view headers;
    std::string_view body;
    bool whole = false;

    HttpAnswerView() = default;
    // As a std::string is read as a std::string_view.
    HttpAnswerView(const HttpAnswer& answer)
        : statusLine(answer.statusLine), headers(answer.headers), body(answer.body), whole(answer.whole) {}
};
// False when there is no head ending in a blank line. A chunked body is joined into `joined`, which `out.body` then
// views; any other body is viewed in `answer`.
bool SplitHttpAnswer(std::string_view answer, HttpAnswerView& out, std::string& joined);
// The parts copied, for an answer kept after its text has gone.
bool SplitHttpAnswer(std::string_view answer, HttpAnswer& out);
// The value of the first header of that name (letter case ignored) in a header block, blanks before it taken away;
// empty when there is none.
std::string_view HeaderValue(std::string_view headers, std::string_view name);

// The server variables a judge page prints, one per line as NAME=value (plain text or HTML, markup and
// character references taken away), in page order. Lines of any other form are skipped.
// Every page of every proxy is read here, so the variables share one copy of the page's text (a variable is two
// spans of it) instead of two strings each; the copy keeps them valid after the answer is gone. A page graded while
// its answer lies at hand is read in place (`InPlace`): only the lines that had markup are copied, rewritten.
class JudgeVariables {
public:
    struct Variable {
        std::string_view name;
        std::string_view value;
        bool operator==(const Variable&) const = default;
    };

    JudgeVariables() = default;
    explicit JudgeVariables(std::string_view body);
    // The variables of a page that outlives them, read where it lies.
    static JudgeVariables InPlace(std::string_view page);

    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = Variable;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Variable;
        Variable operator*() const { return m_owner->At(m_index); }
        Iterator& operator++() {
            ++m_index;
            return *this;
        }
        bool operator==(const Iterator& other) const { return m_index == other.m_index; }

    private:
        friend class JudgeVariables;
        Iterator(const JudgeVariables* owner, std::size_t index) : m_owner(owner), m_index(index) {}
        const JudgeVariables* m_owner;
        std::size_t m_index;
    };
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, m_spans.size()}; }
    std::size_t size() const { return m_spans.size(); }
    Variable At(std::size_t index) const;
    // The value of the first variable of that name, or none (FindVariable).
    std::optional<std::string_view> Find(std::string_view name) const;

private:
    // A span's `at` counts through the page, then on through `m_text`.
    struct Span {
        std::uint32_t at = 0;
        std::uint32_t size = 0;
    };
    JudgeVariables(std::string_view body, bool copy);
    std::string_view TextOf(Span span) const;

    std::string_view m_page; // read in place: the page; else empty, the page being the start of `m_text`
    std::string m_text;      // (the page, then) its lines rewritten without markup
    std::vector<std::pair<Span, Span>> m_spans;
};
inline JudgeVariables ParseJudgeVariables(std::string_view body) {
    return JudgeVariables(body);
}
// The value of the first variable of that name, or none.
std::optional<std::string_view> FindVariable(const JudgeVariables& variables, std::string_view name);

// The signed judge (res/zandel-judge.cgi): a request carries a fresh nonce in its query, and the page ends
// with a "ZANDEL_HEADER=<name: value>" line for each response header the script sent, "ZANDEL_NONCE=<nonce>",
// "ZANDEL_HMAC=<HMAC-SHA256 of everything before that line>" and a fixed tail.
inline constexpr const char* kNonceParameter = "zandel-nonce";
// 32 lower-case hex digits from the system's random source; empty when there is none.
std::string MakeJudgeNonce();
// The access URL with the nonce added to its query.
std::string UrlWithNonce(const std::string& url, const std::string& nonce);
// A key the judge and Zandel can both hold: 8 to 256 printable ASCII characters without blanks.
bool IsValidJudgeKey(std::string_view key);

enum class SignatureCheck {
    Verified,   // the judge's own page for this request
    Unsigned,   // no signature at all: not the signed judge, or the page is not the judge's
    JudgeError, // the judge says why it could not sign (its key file)
    Malformed,  // signature or nonce lines repeated or not of their form
    Rewritten,  // the signature does not match the page: something changed it on the way
    Stale,      // a genuine page, but for another request: served from a cache
    Incomplete, // the answer was cut short before the signature
};
struct SignatureVerdict {
    SignatureCheck check = SignatureCheck::Unsigned;
    std::string detail; // the judge's own error text, or what was malformed
};
SignatureVerdict VerifyJudgeSignature(const HttpAnswerView& answer, const std::string& key, const std::string& nonce);

} // namespace zandel
