// The collation keys a comparison of a text field admits: the keys from a
// low end to a high end, each end included or not, or open.
#pragma once

#include "data/Filter.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct KeyRange {
    std::optional<std::string> low, high;
    bool lowInclusive = true;
    bool highInclusive = false;

    // The range of a comparison with a value whose key is given, or nothing
    // when the comparison bounds no range (<>, a LIKE with a leading
    // wildcard).
    static std::optional<KeyRange> of(Comparison::Op op, Comparison::Pattern pattern, const std::string& key);

    bool admits(const std::string& key) const;
    // Whether the keys that begin with head lie in the range: true when
    // every one of them does, false when none does, nothing when it depends
    // on what follows.
    std::optional<bool> admitsBeginning(std::string_view head) const;

    // How much of a key decides whether the range admits it: a key cut to
    // this many bytes (see Collation::appendKeyHead) compares with the ends
    // as the whole key does.
    std::size_t keyBytesNeeded() const { return std::max(low ? low->size() : 0, high ? high->size() : 0) + 4; }

    // A range whose low end lies above the empty key holds no NULL.
    bool excludesNull() const { return low && !low->empty(); }

    // The stretch [begin, end) of rows, sorted by their keys, whose keys lie
    // in the range; keyOf gives a row's key.
    std::pair<std::size_t, std::size_t> within(const std::vector<std::uint32_t>& sorted, std::size_t begin,
        std::size_t end, const std::function<std::string(std::uint32_t)>& keyOf) const;
};
