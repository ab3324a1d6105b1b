// Chooses and orders the rows a table shows: its filter text and its sort
// field names applied to the rows in memory.
//
// For each text field it keeps the rows in the field's collation order and
// each row's rank in it, built once (in the background right after the table
// opens, or at once by the thread that needs it first) and built again only
// after a value of that field changed. With them a
// comparison that bounds a field (=, <, >=, a LIKE prefix ...) becomes a
// binary search, a result is ordered by ranks, and a prefix search sorted by
// the same field is a plain copy. Only a LIKE with a leading wildcard or <>
// looks at every record.
#pragma once

#include "data/Field.h"
#include "data/Filter.h"
#include "data/RowSet.h"

#include <QString>

#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class RowSelection
{
public:
    RowSelection(const RowSet& rows, const std::vector<FieldDef>& fields);
    ~RowSelection();
    RowSelection(const RowSelection&) = delete;
    RowSelection& operator=(const RowSelection&) = delete;

    // Throws DataError, saying what is wrong and where, for a malformed
    // filter text or an unknown sort field.
    void check(const QString& filter, const QString& sortFields) const;

    // The rows the filter admits, in the order of the sort fields (the
    // stored order when there are none). Deleted rows are never selected.
    std::vector<std::uint32_t> select(const QString& filter, const QString& sortFields);

    // Starts building the orders of all text fields on another thread.
    void prepareInBackground();
    // Waits until that work is done. Call before changing the rows.
    void waitForBackgroundWork();

    // A stored value changed, or a row was added: orders built from the old
    // values are dropped.
    void valueChanged(int row, int field);
    void rowAdded(int row);

    // The collation key of one stored value (empty for no value).
    std::string keyOf(int row, int field) const;

private:
    struct Order
    {
        std::vector<std::uint32_t> sorted; // rows in the field's order, ties in stored order
        std::vector<std::uint32_t> rank;   // per row: equal values share a rank
    };

    struct Prepared; // a comparison with its key worked out
    struct Candidates
    {
        std::vector<std::uint32_t> rows;
        int orderedBy = -1; // the field whose order rows follow, -1 for stored order
    };

    struct Build;

    const Order& order(int field);
    Order buildOrder(int field) const;
    void runBuild(Build& build, int field) const;
    std::vector<std::uint32_t> walk(const Order& o, bool descending, const std::vector<bool>* chosen) const;
    Candidates evaluate(const std::vector<Comparison>& alternative);
    bool matches(std::uint32_t row, const Prepared& p) const;
    std::vector<std::uint32_t> sortRows(Candidates candidates, const std::vector<SortKey>& keys);

    const RowSet& m_rows;
    const std::vector<FieldDef>& m_fields;
    std::vector<std::unique_ptr<Order>> m_orders; // per field, once built
    std::vector<std::unique_ptr<Build>> m_builds; // per field, while being built
    std::vector<std::thread> m_workers;
};
