// A table's filter text, parsed.
//
// The syntax: a comparison is a field name, an operator and a value. Field
// names compare without regard to case and may stand in [brackets]; the
// operators are =, <>, <, >, <=, >= and LIKE; a text value stands in single
// quotes, with '' for a quote inside; the integer field takes a number; NULL
// stands for no value (= NULL, <> NULL). LIKE takes * or % as a wildcard at
// the end of the pattern, or at both ends. Comparisons join with AND and OR
// in any letter case and spacing, and parentheses group them, except that a
// group joined by OR may not be joined with AND. So every filter is a list of
// alternatives, each a list of comparisons that must all hold.
#pragma once

#include "data/Field.h"

#include <QString>

#include <vector>

struct Comparison {
    enum class Op { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual, Like };
    enum class Pattern { Whole, Prefix, Contains }; // what a LIKE pattern asks for

    int field = -1; // index into the table's fields
    Op op = Op::Equal;
    TextValue value; // no value: NULL
    Pattern pattern = Pattern::Whole;
};

struct Filter {
    // Alternatives joined by OR, each of comparisons joined by AND. No
    // alternatives at all: every record passes.
    std::vector<std::vector<Comparison>> alternatives;

    bool admitsAll() const { return alternatives.empty(); }

    // Parses a filter text for a table with these fields; throws DataError
    // saying what is wrong and at which character.
    static Filter parse(const QString& text, const std::vector<FieldDef>& fields);
};

// One sort field of a table's sort field names: "name [ASC|DESC], ...".
struct SortKey {
    int field = -1;
    bool descending = false;
};

std::vector<SortKey> parseSortFields(const QString& names, const std::vector<FieldDef>& fields);

// A filter text and sort field names, parsed once and passed on as they are.
struct Selection {
    Filter filter;
    std::vector<SortKey> keys;

    // Throws DataError for a malformed filter or an unknown sort field.
    static Selection parse(const QString& filter, const QString& sortFields, const std::vector<FieldDef>& fields);

    // Every record, in stored order.
    bool chooseAll() const { return filter.admitsAll() && keys.empty(); }
    // The fields the filter compares and the sort orders by.
    std::vector<int> fields() const;
};
