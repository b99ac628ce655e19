#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace zandel {

// The most bytes a check keeps of its answer, the closing zero counted.
inline constexpr std::uint32_t kAnswerBufferSize = 10240;

// A job's answer as the probe takes it: the bytes of each piece up to its first zero byte, one after the other and
// kept zero-terminated, at most Limit() bytes with the terminator. Its room grows as the bytes come, to the byte
// (a write past it is the sanitizers' to catch): of thousands of jobs at once, most of which never hear back, only
// those that answer hold any.
class AnswerBuffer final {
public:
    explicit AnswerBuffer(std::uint32_t limit = kAnswerBufferSize) : m_limit(limit) {}

    std::uint32_t Limit() const { return m_limit; }
    std::string_view Text() const;
    // The bytes taken: the text's length, or Limit() once a piece found no room (the text holds Limit() - 1).
    std::uint32_t Size() const { return m_size; }
    // The room held now, never more than Limit().
    std::size_t Room() const { return m_bytes.size(); }

    // Takes `bytes` after the text; false, with what fitted, once the buffer is full.
    bool Append(std::string_view bytes);
    // Empties the text and keeps the room, for the next try of the same job.
    void Clear();
    // Empties it and lets the room go.
    void Release();

private:
    void Reserve(std::size_t bytes);

    std::vector<char> m_bytes;
    std::uint32_t m_limit;
    std::uint32_t m_size = 0;
};

} // namespace zandel
