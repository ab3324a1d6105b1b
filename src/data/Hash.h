// The hash the tables that find equal values use: eight bytes at a time, as
// the threads that read and sort the rows hash nearly every value.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace hashing {

inline constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;

// A hash begun for a value of this many bytes.
inline std::uint64_t begin(std::size_t size)
{
    return (size + 1) * kMultiplier;
}

// The hash with these bytes taken in.
inline std::uint64_t take(std::uint64_t hash, std::string_view bytes)
{
    std::size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + at, 8);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 31;
    }
    std::uint64_t tail = 0;
    if (at < bytes.size()) // an empty value may have no bytes to point at
        std::memcpy(&tail, bytes.data() + at, bytes.size() - at);
    hash = (hash ^ tail) * kMultiplier;
    return hash ^ (hash >> 29);
}

// The hash once every byte is in, each bit of it depending on all of them.
inline std::uint64_t end(std::uint64_t hash)
{
    hash *= 0xBF58476D1CE4E5B9ull;
    return hash ^ (hash >> 32);
}

} // namespace hashing
