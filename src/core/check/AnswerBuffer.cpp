#include "core/check/AnswerBuffer.h"

#include <algorithm>
#include <cstring>

namespace zandel {

std::string_view AnswerBuffer::Text() const {
    return m_bytes.empty() ? std::string_view() : std::string_view(m_bytes.data(), std::min(m_size, m_limit - 1));
}

bool AnswerBuffer::Append(std::string_view bytes) {
    if (m_size >= m_limit) {
        return false;
    }
    const std::uint64_t end = static_cast<std::uint64_t>(m_size) + bytes.size();
    Reserve(static_cast<std::size_t>(std::min<std::uint64_t>(end + 1, m_limit)));
    if (end >= m_limit) {
        std::memcpy(m_bytes.data() + m_size, bytes.data(), m_limit - 1 - m_size);
        m_bytes[m_limit - 1] = '\0';
        m_size = m_limit;
        return false;
    }
    std::memcpy(m_bytes.data() + m_size, bytes.data(), bytes.size());
    m_size = static_cast<std::uint32_t>(end);
    m_bytes[m_size] = '\0';
    return true;
}

void AnswerBuffer::Reserve(std::size_t bytes) {
    if (m_bytes.size() >= bytes) {
        return;
    }
    // Doubling keeps a long answer read in pieces to a few copies; most answers fit the first size.
    constexpr std::size_t kFirstSize = 1024;
    const std::size_t size = std::max(std::min<std::size_t>(std::max(m_bytes.size() * 2, kFirstSize), m_limit), bytes);
    // Exactly this much, so that nothing lies between the room and its end.
    m_bytes.reserve(size);
    m_bytes.resize(size);
}

void AnswerBuffer::Clear() {
    if (!m_bytes.empty()) {
        m_bytes[0] = '\0';
    }
    m_size = 0;
}

void AnswerBuffer::Release() {
    std::vector<char>().swap(m_bytes);
    m_size = 0;
}

} // namespace zandel
