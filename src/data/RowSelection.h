// Chooses and orders the rows a table shows: its filter text and its sort
// field names applied to the rows in memory.
//
// A comparison that bounds a text field (=, <, >=, a LIKE prefix ...) is a
// binary search in the field's sorted order; of all the bounded fields the
// one with the shortest stretch gives the candidates, and the other
// comparisons are checked on those rows alone. Only a LIKE with a leading
// wildcard or <> looks at every record. The result is put in order by the
// sort fields' orders (RowSorter).
#pragma once

#include "data/Field.h"
#include "data/Filter.h"
#include "data/KeyRange.h"
#include "data/RowSorter.h"
#include "data/RowView.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class OrderCache;
class RowSet;

class RowSelection {
public:
    RowSelection(const RowSet& rows, const std::vector<FieldDef>& fields, OrderCache& orders);

    // The rows the filter admits, in the order of the sort fields (the
    // stored order when there are none). Deleted rows are never selected.
    // The orders of the selection's fields are asked of the order cache: a
    // caller that must not wait makes sure they are ready first.
    std::vector<std::uint32_t> select(const Selection& selection);
    // The same as a view: every row in stored order is only a count, and
    // every row in one field's order is that order itself, shared.
    RowView view(const Selection& selection);
    // The same from the texts; throws DataError, saying what is wrong and
    // where, for a malformed filter text or an unknown sort field.
    std::vector<std::uint32_t> select(const QString& filter, const QString& sortFields);

    // The same answer found without any sorted order, by looking at every
    // row: for while the orders are still being built. Only for a filter
    // without OR sorted by at most one text field; nothing for any other
    // selection, when more than limit rows are chosen (sorting them here
    // would take longer than waiting for the order), or once stop is
    // raised. Reads the rows only, so it may run on any thread while no row
    // changes.
    // Given within, the answer of a selection that narrows this one
    // (narrows()), only those rows are looked at, and their order kept.
    std::optional<std::vector<std::uint32_t>> scan(const Selection& selection, std::size_t limit,
        const std::atomic<bool>& stop, const std::vector<std::uint32_t>* within = nullptr) const;
    // Whether scan() answers a selection of this kind at all. Not one that
    // looks for a text anywhere in a value (LIKE with wildcards at both
    // ends): that reads a huge value whole before a stop is looked at, and
    // whoever stops a scan waits for it.
    bool canScan(const Selection& selection) const;
    // Whether narrow chooses some of the rows wide chooses, in the same
    // order: both bound one text field, narrow within wide's bounds, and
    // sort alike (a search typed on: "Ап" after "А"). Equal bounds both ways.
    static bool narrows(const Selection& wide, const Selection& narrow);

    // The collation key of one stored value (empty for no value), or its
    // first limit bytes: a huge value is never read whole to be compared.
    std::string keyOf(int row, int field, std::size_t limit = std::string::npos) const;

private:
    // A comparison with its value's key worked out.
    struct Condition {
        Comparison comparison;
        std::string key; // of the value, for text fields
        qint64 number = 0; // of the value, for the key field
        std::optional<KeyRange> range; // the keys it admits, when it bounds them
    };

    // The stretch of one field's order that the conditions on it allow.
    struct Stretch {
        int field = -1;
        std::size_t begin = 0, end = 0;
        std::size_t size() const { return end - begin; }
    };

    static std::vector<Condition> prepare(const std::vector<Comparison>& alternative);
    Stretch shortestStretch(const std::vector<Condition>& conditions);
    Candidates evaluate(const std::vector<Comparison>& alternative);
    Candidates everyRow() const;
    bool sortByKeys(std::vector<std::uint32_t>& rows, const SortKey& key, const std::atomic<bool>& stop) const;
    bool matches(std::uint32_t row, const Condition& condition) const;
    bool matchesKeyField(std::uint32_t row, const Condition& condition) const;

    const RowSet& m_rows;
    const std::vector<FieldDef>& m_fields;
    OrderCache& m_orders;
    RowSorter m_sorter;
};
