// One field's rows in the field's collation order, and each row's rank in
// that order (rows with equal values share a rank). Built from the field's
// distinct values, so a column of a million rows with a few thousand
// different values costs a few thousand collation keys.
#pragma once

#include "data/PackedNumbers.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class RowSet;

struct SortedOrder {
    std::vector<std::uint32_t> sorted; // rows in the field's order, ties in stored order
    PackedNumbers rank; // per row: equal values share a rank

    // The rank of the highest value (0 for an empty column).
    std::uint32_t topRank() const { return sorted.empty() ? 0 : rank[sorted.back()]; }

    // Thrown by build() when the stop flag was raised.
    struct Stopped { };

    // Builds the order of one text column of the rows. Reads the rows only;
    // raising stop makes it give up soon with Stopped.
    static SortedOrder build(const RowSet& rows, int column, const std::atomic<bool>& stop);
};

// Builds one text column's order while its rows come in: add() takes the
// rows as they are published (their values, and the heads of the collation
// keys of the values not met before), finish() puts them in order once all
// are in. It reads only the rows and only its column. The work on one huge
// value is bounded or looks at the stop flag as it goes, so a stopped build
// gives up within milliseconds.
class OrderBuilder {
public:
    // A builder over the rows from firstRow on (the rows before it may be
    // another's, whose builder takes this one's values in: absorb()).
    OrderBuilder(const RowSet& rows, int column, int firstRow = 0);
    ~OrderBuilder();
    OrderBuilder(const OrderBuilder&) = delete;
    OrderBuilder& operator=(const OrderBuilder&) = delete;

    // A value's key is made of its first this many bytes (a thousand
    // characters or so): values that agree that far are compared in full
    // when they are put in order, so the order is as if the keys were whole.
    static constexpr std::size_t KeyHeadBytes = 4096;

    int rowsTaken() const { return m_firstRow + int(m_valueOf.size()); }
    // Takes in the rows from rowsTaken() up to (not including) upTo; throws
    // SortedOrder::Stopped when stop is raised.
    void add(int upTo, const std::atomic<bool>& stop);
    // Takes in these rows instead (on a builder that has taken none): the
    // order finish() gives is then of their places in the list, ties in
    // the list's order.
    void addRows(const std::vector<std::uint32_t>& rows, const std::atomic<bool>& stop);
    // Takes over the values and rows of the builder whose first row
    // follows this one's last row taken in: two builders over the two
    // halves of a column, on two threads, make its order in about half the
    // time. The values are not looked for among these (equal values are
    // ranked alike by their keys), so only finish() may follow.
    void absorb(OrderBuilder& later);
    // The order of the rows taken in (from row 0); the builder is spent
    // afterwards. With twoThreads, a thread it starts puts half the values
    // in order.
    SortedOrder finish(const std::atomic<bool>& stop, bool twoThreads = false);

    struct ValueKeys;

private:
    std::uint64_t hashAhead(int row) const;
    template <typename RowAt> void takeRows(std::size_t count, RowAt rowAt, const std::atomic<bool>& stop);
    void take(int row, std::uint64_t hash, const std::atomic<bool>& stop);
    void grow();
    void rehashByBytes();

    const RowSet& m_rows;
    const int m_column;
    const int m_firstRow = 0;
    std::vector<std::uint64_t> m_buckets; // by hash: (value id + 1, hash's low half), 0 free
    std::vector<std::uint32_t> m_valueRow; // per value, the first row holding it; [0] stands for NULL
    std::vector<std::uint64_t> m_valueCell; // per value while told by cells: its cellId, so a probe stays here
    std::vector<std::uint32_t> m_valueOf; // per row taken in
    std::unique_ptr<ValueKeys> m_keys;
    std::string m_key; // the key of the value being added, before packing
    bool m_byCell = true; // values told by their cells (see add())
};
