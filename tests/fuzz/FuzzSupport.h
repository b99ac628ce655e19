#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zandel::fuzz {

// A broken rule is a crash, so that libFuzzer keeps the input that shows it.
inline void Require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "rule broken: %s\n", what);
        std::abort();
    }
}

// Takes the fuzzer's bytes in pieces: a leading byte of options, then NUL-separated texts.
class Input final {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_text(reinterpret_cast<const char*>(data), size) {}
    std::uint8_t Byte() {
        if (m_at >= m_text.size()) {
            return 0;
        }
        return static_cast<std::uint8_t>(m_text[m_at++]);
    }
    std::string Text() {
        const std::size_t end = m_text.find('\0', m_at);
        std::string text = m_text.substr(m_at, end == std::string::npos ? std::string::npos : end - m_at);
        m_at = end == std::string::npos ? m_text.size() : end + 1;
        return text;
    }
    std::string Rest() {
        std::string text = m_text.substr(m_at);
        m_at = m_text.size();
        return text;
    }

private:
    std::string m_text;
    std::size_t m_at = 0;
};

} // namespace zandel::fuzz
