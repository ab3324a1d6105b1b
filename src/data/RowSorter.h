// Puts the rows a filter chose in the order of the table's sort fields,
// using the fields' sorted orders: a walk along an order when many rows are
// chosen, a counting sort by rank when few are, a comparison sort by ranks
// for several sort fields.
#pragma once

#include "data/Filter.h"

#include <cstdint>
#include <vector>

class OrderCache;
class RowSet;
struct SortedOrder;

// Rows chosen by a filter, and the field whose order they already follow
// (-1: stored order).
struct Candidates {
    std::vector<std::uint32_t> rows;
    int orderedBy = -1;
};

class RowSorter {
public:
    RowSorter(const RowSet& rows, OrderCache& orders);

    std::vector<std::uint32_t> sort(Candidates candidates, const std::vector<SortKey>& keys) const;

    // The rows of an order, all (deleted ones left out) or only those
    // chosen, ascending or descending; equal values keep their stored order
    // either way.
    std::vector<std::uint32_t> walk(const SortedOrder& order, bool descending, const std::vector<bool>* chosen) const;

private:
    std::vector<std::uint32_t> byRank(std::vector<std::uint32_t> rows, const SortedOrder& order) const;
    std::vector<std::uint32_t> byComparison(std::vector<std::uint32_t> rows, const std::vector<SortKey>& keys) const;

    const RowSet& m_rows;
    OrderCache& m_orders;
};
