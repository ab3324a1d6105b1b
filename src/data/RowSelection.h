// Chooses and orders the rows a table shows: its filter text and its sort
// field names applied to the rows in memory.
#pragma once

#include "data/Field.h"
#include "data/RowSet.h"

#include <QString>

#include <cstdint>
#include <vector>

class RowSelection
{
public:
    RowSelection(const RowSet& rows, const std::vector<FieldDef>& fields);

    // Throws DataError, saying what is wrong and where, for a malformed
    // filter text or unknown sort field.
    void check(const QString& filter, const QString& sortFields) const;

    // The rows the filter admits, in the order of the sort fields (the
    // stored order when there are none). Deleted rows are never selected.
    std::vector<std::uint32_t> select(const QString& filter, const QString& sortFields);

    // A stored value changed, so anything derived from it is stale.
    void valueChanged(int row, int field);
    void rowAdded(int row);

private:
    const RowSet& m_rows;
    const std::vector<FieldDef>& m_fields;
};
