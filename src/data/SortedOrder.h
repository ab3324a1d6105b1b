// One field's rows in the field's collation order, and each row's rank in
// that order (rows with equal values share a rank). Built from the field's
// distinct values, so a column of a million rows with a few thousand
// different values costs a few thousand collation keys.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

class RowSet;

struct SortedOrder {
    std::vector<std::uint32_t> sorted; // rows in the field's order, ties in stored order
    std::vector<std::uint32_t> rank; // per row: equal values share a rank

    // The rank of the highest value (0 for an empty column).
    std::uint32_t topRank() const { return sorted.empty() ? 0 : rank[sorted.back()]; }

    // Thrown by build() when the stop flag was raised.
    struct Stopped { };

    // Builds the order of one text column of the rows. Reads the rows only;
    // raising stop makes it give up soon with Stopped.
    static SortedOrder build(const RowSet& rows, int column, const std::atomic<bool>& stop);
};
