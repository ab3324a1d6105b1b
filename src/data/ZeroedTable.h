#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include <sys/mman.h>

// A table of trivial values, all bits zero at first, mapped from the system.
// Its pages are zeroed as they are first touched: making one of millions of
// slots costs nothing up front, and the work is spread over its use.
//
// Asked for, one of 2 MiB or more is put in huge pages where the system
// gives them: a lookup at random into a table of millions of slots then
// seldom waits for the processor to find the page (reading a big file took a
// fifth less time). Only for threads that may wait: the system may first
// make room for a huge page, and the first touch of one took 120 ms.
enum class Pages { Plain, Huge };

template <typename T> class ZeroedTable {
public:
    static_assert(std::is_trivially_copyable_v<T>);
    explicit ZeroedTable(std::size_t size, Pages pages = Pages::Plain)
        : m_size(size)
    {
        const std::size_t bytes = std::max<std::size_t>(size * sizeof(T), 1);
        const bool huge = pages == Pages::Huge && bytes >= kHugePage;
        m_bytes = huge ? (bytes + kHugePage - 1) & ~(kHugePage - 1) : bytes;
        void* area = mmap(
            nullptr, m_bytes + (huge ? kHugePage : 0), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area == MAP_FAILED)
            throw std::bad_alloc();
        char* start = static_cast<char*>(area);
        if (huge) {
            // Only whole huge pages from a boundary on can be huge: the
            // slack before and after goes back.
            const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(area);
            const std::size_t head = ((at + kHugePage - 1) & ~(kHugePage - 1)) - at;
            if (head > 0)
                munmap(area, head);
            munmap(start + head + m_bytes, kHugePage - head);
            start += head;
            madvise(start, m_bytes, MADV_HUGEPAGE); // a hint: plain pages do as well
        }
        m_data = reinterpret_cast<T*>(start);
    }
    ZeroedTable() = default;
    ~ZeroedTable()
    {
        if (m_data)
            munmap(m_data, m_bytes);
    }
    ZeroedTable(const ZeroedTable&) = delete;
    ZeroedTable& operator=(const ZeroedTable&) = delete;
    ZeroedTable(ZeroedTable&& other) noexcept { swap(other); }
    ZeroedTable& operator=(ZeroedTable&& other) noexcept
    {
        ZeroedTable(std::move(other)).swap(*this);
        return *this;
    }

    void swap(ZeroedTable& other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_bytes, other.m_bytes);
    }
    std::size_t size() const { return m_size; }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }
    const T* begin() const { return m_data; }
    const T* end() const { return m_data + m_size; }

private:
    static constexpr std::size_t kHugePage = std::size_t(2) << 20;

    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_bytes = 0;
};
