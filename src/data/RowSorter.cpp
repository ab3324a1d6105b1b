#include "data/RowSorter.h"

#include "data/OrderCache.h"
#include "data/RowSet.h"
#include "data/SortedOrder.h"

#include <QtGlobal>

#include <algorithm>

RowSorter::RowSorter(const RowSet& rows, OrderCache& orders)
    : m_rows(rows)
    , m_orders(orders)
{
}

std::vector<std::uint32_t> RowSorter::sort(Candidates candidates, const std::vector<SortKey>& keys) const
{
    std::vector<std::uint32_t>& rows = candidates.rows;
    if (keys.empty()) {
        if (candidates.orderedBy >= 0)
            std::sort(rows.begin(), rows.end());
        return std::move(rows);
    }
    const SortKey& first = keys.front();
    if (keys.size() > 1 || first.field == 0)
        return byComparison(std::move(rows), keys);
    const SortedOrder& order = m_orders.order(first.field);
    if (candidates.orderedBy == first.field && !first.descending)
        return std::move(rows);
    if (candidates.orderedBy == first.field || rows.size() > std::size_t(m_rows.rowCount()) / 16u) {
        // Many rows: walk the field's order and keep the chosen ones.
        std::vector<bool> chosen(std::size_t(m_rows.rowCount()), false);
        for (std::uint32_t row : rows)
            chosen[row] = true;
        return walk(order, first.descending, &chosen);
    }
    if (first.descending)
        return byComparison(std::move(rows), keys);
    return byRank(std::move(rows), order);
}

std::vector<std::uint32_t> RowSorter::walk(
    const SortedOrder& order, bool descending, const std::vector<bool>* chosen) const
{
    // An order covers every row: rows are only added with every order dropped.
    Q_ASSERT(order.sorted.size() == std::size_t(m_rows.rowCount()) && order.rank.size() == order.sorted.size());
    Q_ASSERT(!chosen || chosen->size() == order.sorted.size());
    if (!chosen && !descending && m_rows.deletedCount() == 0)
        return order.sorted;
    std::vector<std::uint32_t> rows;
    rows.reserve(chosen ? 0 : order.sorted.size());
    auto take = [&](std::uint32_t row) {
        if (chosen ? (*chosen)[row] : !m_rows.isDeleted(int(row)))
            rows.push_back(row);
    };
    if (!descending) {
        for (std::uint32_t row : order.sorted)
            take(row);
        return rows;
    }
    // Descending by value, each run of equal values in stored order.
    for (std::size_t end = order.sorted.size(); end > 0;) {
        std::size_t begin = end - 1;
        while (begin > 0 && order.rank[order.sorted[begin - 1]] == order.rank[order.sorted[end - 1]])
            --begin;
        for (std::size_t i = begin; i < end; ++i)
            take(order.sorted[i]);
        end = begin;
    }
    return rows;
}

// Few rows: by their ranks, ties in stored order, eleven bits at a time.
std::vector<std::uint32_t> RowSorter::byRank(std::vector<std::uint32_t> rows, const SortedOrder& order) const
{
    if (!std::is_sorted(rows.begin(), rows.end()))
        std::sort(rows.begin(), rows.end());
    std::vector<std::uint32_t> buffer(rows.size());
    const std::uint32_t top = order.topRank();
    for (int shift = 0; shift < 32 && (top >> shift) != 0; shift += 11) {
        std::vector<std::uint32_t> count(2049, 0);
        for (std::uint32_t row : rows)
            ++count[((order.rank[row] >> shift) & 2047) + 1];
        for (std::size_t d = 1; d < count.size(); ++d)
            count[d] += count[d - 1];
        for (std::uint32_t row : rows)
            buffer[count[(order.rank[row] >> shift) & 2047]++] = row;
        rows.swap(buffer);
    }
    Q_ASSERT(std::is_sorted(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
        return order.rank[a] < order.rank[b] || (order.rank[a] == order.rank[b] && a < b);
    }));
    return rows;
}

std::vector<std::uint32_t> RowSorter::byComparison(
    std::vector<std::uint32_t> rows, const std::vector<SortKey>& keys) const
{
    std::vector<const SortedOrder*> orders;
    for (const SortKey& key : keys)
        orders.push_back(key.field > 0 ? &m_orders.order(key.field) : nullptr);
    std::sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::int64_t va = orders[i] ? std::int64_t(orders[i]->rank[a]) : m_rows.key(int(a));
            const std::int64_t vb = orders[i] ? std::int64_t(orders[i]->rank[b]) : m_rows.key(int(b));
            if (va != vb)
                return keys[i].descending ? va > vb : va < vb;
        }
        return a < b;
    });
    return rows;
}
