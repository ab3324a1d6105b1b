// Numbers of one to four bytes each, as many bytes as the largest of them
// needs: a column of a hundred kinds of activity has its ranks, or the
// numbers of its values, at a byte a row instead of four.
//
// A number is read as four bytes from its place and cut to its width, so an
// array of them has three bytes of room after its last number.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace packed {

// Bytes past an array's last number that reading it may look at.
constexpr std::size_t Slack = 3;

// The fewest bytes that hold every number up to top.
constexpr int widthFor(std::uint32_t top)
{
    return top < (1u << 8) ? 1 : top < (1u << 16) ? 2 : top < (1u << 24) ? 3 : 4;
}

constexpr std::uint32_t maskOf(int width)
{
    return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}

inline std::uint32_t get(const std::uint8_t* bytes, std::size_t i, int width)
{
    const std::uint8_t* at = bytes + i * std::size_t(width);
    std::uint32_t value;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, at, sizeof value);
    } else {
        value = std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16
            | std::uint32_t(at[3]) << 24;
    }
    return value & maskOf(width);
}

// Writes only the number's own bytes.
inline void set(std::uint8_t* bytes, std::size_t i, int width, std::uint32_t value)
{
    std::uint8_t* at = bytes + i * std::size_t(width);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(at, &value, std::size_t(width));
    } else {
        for (int b = 0; b < width; ++b)
            at[b] = std::uint8_t(value >> (8 * b));
    }
}

// Rewrites the first count numbers of an array from one width to another in
// place; the array must have room for count numbers of the wider one.
inline void rewidth(std::uint8_t* bytes, std::size_t count, int from, int to)
{
    // Narrowing goes up from the first number and widening down from the
    // last: either way a number is read before anything is written over it.
    if (to < from) {
        for (std::size_t i = 0; i < count; ++i)
            set(bytes, i, to, get(bytes, i, from));
    } else if (to > from) {
        for (std::size_t i = count; i-- > 0;)
            set(bytes, i, to, get(bytes, i, from));
    }
}

} // namespace packed

// A fixed list of such numbers.
class PackedNumbers {
public:
    PackedNumbers() = default;
    // Packs the numbers, none of which is over top.
    PackedNumbers(const std::vector<std::uint32_t>& numbers, std::uint32_t top)
        : m_size(numbers.size())
        , m_width(packed::widthFor(top))
        , m_bytes(std::make_unique<std::uint8_t[]>(numbers.size() * std::size_t(m_width) + packed::Slack))
    {
        for (std::size_t i = 0; i < m_size; ++i)
            packed::set(m_bytes.get(), i, m_width, numbers[i]);
    }
    PackedNumbers(PackedNumbers&&) noexcept = default;
    PackedNumbers& operator=(PackedNumbers&&) noexcept = default;

    std::uint32_t operator[](std::size_t i) const { return packed::get(m_bytes.get(), i, m_width); }
    std::size_t size() const { return m_size; }
    int width() const { return m_width; }

    bool operator==(const PackedNumbers& other) const
    {
        if (m_size != other.m_size)
            return false;
        for (std::size_t i = 0; i < m_size; ++i) {
            if ((*this)[i] != other[i])
                return false;
        }
        return true;
    }

private:
    std::size_t m_size = 0;
    int m_width = 1;
    std::unique_ptr<std::uint8_t[]> m_bytes;
};
