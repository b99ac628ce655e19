#pragma once

#include <cstddef>
#include <new>
#include <utility>

#include <sys/mman.h>

namespace zandel {

// A fixed number of objects built side by side in memory the kernel fills in one call (MAP_POPULATE). A thousand
// objects of a few hundred bytes, touched one page at a time, cost a page fault per page, and a fault is dear in
// a virtual machine; one populated mapping costs one system call. Falls back to the ordinary heap.
template <typename T> class PopulatedArray final {
public:
    template <typename... Args> PopulatedArray(std::size_t count, const Args&... args) : m_bytes(count * sizeof(T)) {
        if (count == 0) {
            return;
        }
        void* memory =
            ::mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        m_mapped = memory != MAP_FAILED;
        if (!m_mapped) {
            memory = ::operator new (m_bytes, std::align_val_t{alignof(T)});
        }
        m_items = static_cast<T*>(memory);
        for (; m_count < count; ++m_count) {
            new (&m_items[m_count]) T(args...);
        }
    }
    ~PopulatedArray() {
        while (m_count > 0) {
            m_items[--m_count].~T();
        }
        if (m_items == nullptr) {
            return;
        }
        if (m_mapped) {
            ::munmap(m_items, m_bytes);
        } else {
            ::operator delete (m_items, std::align_val_t{alignof(T)});
        }
    }
    PopulatedArray(const PopulatedArray&) = delete;
    PopulatedArray& operator=(const PopulatedArray&) = delete;

    std::size_t size() const { return m_count; }
    T& operator[](std::size_t index) { return m_items[index]; }

private:
    std::size_t m_bytes;
    T* m_items = nullptr;
    std::size_t m_count = 0;
    bool m_mapped = false;
};

} // namespace zandel
